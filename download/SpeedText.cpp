#include "download/SpeedText.h"

#include <cstdio>

namespace tamsel {

namespace {

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string FormatSize(std::uint64_t size) {
    if (size < 1024) {
        return "1 K";
    }
    static const char* const kUnits[] = {"", "KB", "MB", "GB", "TB", "PB", "EB"};
    std::uint64_t n = size / 1024;
    std::uint64_t unit = 1;
    int i = 0;
    while (n >= 1) {
        n /= 1024;
        unit *= 1024;
        ++i;
    }
    std::uint64_t whole = size / unit;
    const std::uint64_t rest = size % unit;
    if (static_cast<double>(rest) / static_cast<double>(unit) > 0.5) {
        ++whole;
    }
    return std::to_string(whole) + " " + kUnits[i];
}

std::string FormatAmount(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1024;
    int i = 0;
    while (value >= 1024 && i < 5) {
        value /= 1024;
        ++i;
    }
    return Printf(i == 0 ? "%.0f KB" : "%.1f", value) +
           (i == 0 ? "" : std::string(" ") + kUnits[i]);
}

std::string FormatSpeed(std::uint64_t bytes, std::uint64_t milliseconds) {
    if (milliseconds == 0) {
        return "0 KB";
    }
    const double perMillisecond = static_cast<double>(bytes) / static_cast<double>(milliseconds);
    if (perMillisecond / 1024 > 1) {
        return Printf("%4.2f MB", perMillisecond / 1024);
    }
    return Printf("%4.2f KB", perMillisecond);
}

std::string FormatPercent(std::uint64_t received, std::uint64_t length) {
    if (length == 0) {
        return FormatSize(received);
    }
    return Printf("%4.2f %%", static_cast<double>(received) / static_cast<double>(length) * 100);
}

}  // namespace tamsel
