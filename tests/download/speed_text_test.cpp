#include <gtest/gtest.h>

#include <cstdint>

#include "download/SpeedText.h"

using namespace tamsel;

namespace {

TEST(FormatSize, RoundsToWholeUnitsHalfDown) {
    const struct {
        std::uint64_t size;
        const char* text;
    } cases[] = {
        {0, "1 K"},
        {1, "1 K"},
        {1023, "1 K"},
        {1024, "1 KB"},
        {1536, "1 KB"},
        {1537, "2 KB"},
        {1048575, "1024 KB"},
        {1048576, "1 MB"},
        {1049089, "1 MB"},
        {1572864, "1 MB"},
        {1572865, "2 MB"},
        {5000000, "5 MB"},
        {2147483647, "2 GB"},
        {3000000000, "3 GB"},
        // Beyond what a 32-bit count could hold.
        {5ull << 30, "5 GB"},
        {1ull << 40, "1 TB"},
        {UINT64_MAX, "16 EB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSize(c.size), c.text) << c.size;
    }
}

TEST(FormatSpeed, ShowsBytesPerMillisecondAsKilobytesPerSecond) {
    const struct {
        std::uint64_t bytes;
        std::uint64_t milliseconds;
        const char* text;
    } cases[] = {
        {1000, 1000, "1.00 KB"},
        {100, 3000, "0.03 KB"},
        {1048576, 1000, "1.02 MB"},
        {5000000, 2000, "2.44 MB"},
        {1024, 1, "1024.00 KB"},  // exactly one MB per second is still
                                  // shown in KB
        {0, 1000, "0.00 KB"},
        {1000, 0, "0 KB"},
        {10ull << 30, 1000, "10485.76 MB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSpeed(c.bytes, c.milliseconds), c.text)
            << c.bytes << " in " << c.milliseconds;
    }
}

TEST(FormatPercent, GivesPercentOrTheAmountWhileTheLengthIsUnknown) {
    const struct {
        std::uint64_t received;
        std::uint64_t length;
        const char* text;
    } cases[] = {
        {12345, 67890, "18.18 %"},
        {0, 100, "0.00 %"},
        {100, 100, "100.00 %"},
        {150, 100, "150.00 %"},  // a server that sends more than it announced
        {1, 3, "33.33 %"},
        {6ull << 30, 8ull << 30, "75.00 %"},
        {3 * 1048576, 0, "3 MB"},
        {100, 0, "1 K"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatPercent(c.received, c.length), c.text) << c.received << "/" << c.length;
    }
}

}  // namespace
