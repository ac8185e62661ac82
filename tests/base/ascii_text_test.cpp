#include <gtest/gtest.h>

#include "base/AsciiText.h"

using namespace tamsel;

namespace {

TEST(TrimBlanks, TrimsAsciiBlanksAtBothEndsOnly) {
    const struct {
        std::string in;
        std::string expected;
    } cases[] = {
        {" \t a b \r\n", "a b"},
        {" \v\f ", ""},
        {"x", "x"},
        {"", ""},
        {std::string("\0a\0", 3), std::string("\0a\0", 3)},  // NUL is no blank
        {"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0"},          // nor is a UTF-8 no-break space
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrimBlanks(c.in), c.expected) << c.in;
    }
    EXPECT_EQ(TrimBlanks("\f x \f", " "), "\f x \f");
}

}  // namespace
