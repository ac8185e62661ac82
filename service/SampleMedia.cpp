#include "service/SampleMedia.h"

namespace tamsel {

namespace {

// "FLV", version 1, audio and video present, header size 9, then PreviousTagSize0.
constexpr unsigned char kFlvHeader[13] = {'F',  'L',  'V',  0x01, 0x05, 0x00, 0x00,
                                          0x00, 0x09, 0x00, 0x00, 0x00, 0x00};

char FillerByte(std::uint64_t offset) {
    // Cheap position hash: any byte can be made without its predecessors, so
    // ranged requests get the same bytes as a whole download.
    std::uint64_t x = offset * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return static_cast<char>(x & 0xFF);
}

}  // namespace

void FillSampleMedia(std::uint64_t offset, char* out, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t at = offset + i;
        out[i] = at < sizeof kFlvHeader ? static_cast<char>(kFlvHeader[at]) : FillerByte(at);
    }
}

}  // namespace tamsel
