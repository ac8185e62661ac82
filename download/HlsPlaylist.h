#pragma once
// Reads HLS playlists (the line format of .m3u8 files): a master playlist's variants
// or a media playlist's segments, keys and initialisation sections, with every address
// made absolute against the playlist's own. Pure functions on text, bounded in what
// one hostile playlist can make them hold.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tamsel {

// A longer playlist is refused unread; a ten-hour video of two-second segments takes
// about 2 MiB.
inline constexpr std::size_t kMaxPlaylistBytes = 16 * 1024 * 1024;
// Segments, variants and keys beyond these are refused.
inline constexpr std::size_t kMaxPlaylistSegments = 200000;
inline constexpr std::size_t kMaxPlaylistVariants = 1000;

struct HlsVariant {
    std::string url;
    std::uint64_t bandwidth = 0;
    std::uint32_t width = 0;  // 0 when RESOLUTION is absent
    std::uint32_t height = 0;
    std::string codecs;
    bool audioOnly = false;      // codecs name sound only and no picture size is given
    bool separateAudio = false;  // its sound is an EXT-X-MEDIA rendition of its own
};

// A sub-range of a resource; length 0 means the whole resource.
struct HlsByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

enum class HlsKeyMethod { None, Aes128, SampleAes, Other };

struct HlsKey {
    HlsKeyMethod method = HlsKeyMethod::None;
    std::string url;
    bool hasIv = false;
    std::array<unsigned char, 16> iv{};
    std::string keyFormat;  // "" when absent, which means "identity"
    // Whole-segment AES-128 with a key we may fetch; anything else is DRM.
    bool IsClearKey() const;
};

// A Media Initialization Section (EXT-X-MAP).
struct HlsInit {
    std::string url;
    HlsByteRange range;
    int key = -1;  // index into keys, -1 when clear
};

struct HlsSegment {
    std::string url;
    HlsByteRange range;
    std::uint64_t sequence = 0;
    bool discontinuity = false;
    int key = -1;   // index into HlsPlaylist::keys; -1 when clear
    int init = -1;  // index into HlsPlaylist::inits; -1 when none
};

struct HlsPlaylist {
    bool master = false;
    std::vector<HlsVariant> variants;  // master only
    std::vector<HlsSegment> segments;  // media only
    std::vector<HlsKey> keys;
    std::vector<HlsInit> inits;
    bool endList = false;
    std::uint64_t mediaSequence = 0;
    std::string error;  // why the text is not a usable playlist; "" when it is
};

// Reads `text`, resolving addresses against `baseUrl` (the playlist's own address
// after redirects).
HlsPlaylist ParseHlsPlaylist(const std::string& text, const std::string& baseUrl);

// The variant to download: the highest BANDWIDTH, ties to the larger picture;
// audio-only variants only when there is nothing else. -1 when `variants` is empty.
int ChooseHlsVariant(const std::vector<HlsVariant>& variants);

}  // namespace tamsel
