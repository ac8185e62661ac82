#pragma once
// The texts the user reads about a download: size, speed and progress.

#include <cstdint>
#include <string>

namespace tamsel {

// "1 K" below one KiB, else a whole number of KB, MB, GB (...) rounded half down,
// e.g. "2 KB" for 1537 bytes.
std::string FormatSize(std::uint64_t size);

// An amount for a sentence, one decimal from KB on: "512 bytes", "1.2 GB".
std::string FormatAmount(std::uint64_t bytes);

// Average rate of `bytes` over `milliseconds`: "%4.2f KB" (per second, as KiB counts
// bytes per millisecond) or "%4.2f MB" above one MB; "0 KB" when no time has passed.
std::string FormatSpeed(std::uint64_t bytes, std::uint64_t milliseconds);

// "%4.2f %%" of received over length. While the length is unknown (0) the amount
// received so far as FormatSize gives it, without a percent sign, so the list draws no
// false bar.
std::string FormatPercent(std::uint64_t received, std::uint64_t length);

}  // namespace tamsel
