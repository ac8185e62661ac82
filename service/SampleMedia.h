#pragma once
// The sample clip: deterministic bytes made on the fly, a valid FLV header first.

#include <cstddef>
#include <cstdint>

namespace tamsel {

inline constexpr std::uint64_t kSampleMediaLength = 32ull * 1024 * 1024;
inline constexpr std::uint64_t kSampleBytesPerSecond = 4ull * 1024 * 1024;

// Writes the clip's bytes [offset, offset + size) into `out`; the range must lie
// within kSampleMediaLength.
void FillSampleMedia(std::uint64_t offset, char* out, std::size_t size);

}  // namespace tamsel
