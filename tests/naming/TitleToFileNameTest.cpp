#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "download/PageTitle.h"

using namespace tamsel;

namespace {

struct TitleCase {
    const char* what;
    std::string text;
    std::string expected;
};

void PrintTo(const TitleCase& c, std::ostream* out) {
    *out << c.what;
}

class TitleToFileNameCases : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleToFileNameCases, GivesCleanName) {
    EXPECT_EQ(TitleToFileName(GetParam().text), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleToFileNameCases,
    ::testing::Values(
        TitleCase{"upper-case tags keep the title's case", "<TITLE>My Clip</TITLE>", "My Clip.flv"},
        TitleCase{"forbidden characters go, the blank stays", "<title>A/B: X?</title>", "AB X.flv"},
        TitleCase{"all nine forbidden characters", "<title>a:b*c?d<e>f|g/h\"i\\j</title>",
                  "abcdefghij.flv"},
        TitleCase{"blanks and text around the tags", "  <title>  x y \t</title> tail", "x y.flv"},
        TitleCase{"never closed: no name, the time name stays", "<title>Never closed", ""},
        TitleCase{"no start tag counts from the beginning", "Plain</title>", "Plain.flv"},
        TitleCase{"only removed characters", "<title> :*?<>|/\"\\ </title>", ""},
        TitleCase{"empty text", "", ""},
        TitleCase{"entities decode before cleaning",
                  "<title>Tom &amp; Jerry &#39;s &#x41;&#66; &QUOT;x&quot;</title>",
                  "Tom & Jerry 's AB x.flv"},
        TitleCase{"decoded markup is still cleaned", "<title>&lt;b&gt;Bold&lt;/b&gt;</title>",
                  "bBoldb.flv"},
        TitleCase{"encoded slashes never make a path", "<title>&#47;etc&#x2F;passwd</title>",
                  "etcpasswd.flv"},
        TitleCase{"dots alone are not a folder, nor a hidden file", "<title>../..</title>", ""},
        TitleCase{"a leading dot would hide the file", "<title>.profile</title>", ""},
        TitleCase{"right-to-left override cannot disguise the extension",
                  "<title>&#x202E;4pm.exe</title>", "4pm.exe.flv"},
        TitleCase{"zero-width and bidi characters vanish",
                  "<title>a\u200Bb\u2066c\u2069\uFEFFd</title>", "abcd.flv"},
        TitleCase{"control characters and DEL",
                  "<title>A\x01"
                  "B\x7f\tC\x1b</title>",
                  "ABC.flv"},
        TitleCase{"encoded control characters and null", "<title>A&#1;B&#0;C&#127;</title>",
                  "ABC.flv"},
        TitleCase{"unknown entities stay as written", "<title>R&D &bogus; &#xZZ;</title>",
                  "R&D &bogus; &#xZZ;.flv"},
        TitleCase{"non-breaking space trims like a blank", "<title>&nbsp;Clip&nbsp;</title>",
                  "Clip.flv"},
        TitleCase{"invalid UTF-8 is replaced",
                  "<title>a\xff"
                  "b</title>",
                  "a\xEF\xBF\xBD"
                  "b.flv"},
        TitleCase{"surrogate reference decodes to nothing", "<title>a&#xD800;b</title>", "ab.flv"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

bool IsValidUtf8(const std::string& s) {
    return ToValidUtf8(s) == s;
}

TEST(TitleToFileName, LongTitlesAreCutAtCharacterBoundaryKeepingExtension) {
    struct Script {
        const char* name;
        std::string unit;
    };
    const Script scripts[] = {{"Latin", "a"},
                              {"Cyrillic", "\xD0\xB6"},
                              {"CJK", "\xE6\xBC\xA2"},
                              {"emoji", "\xF0\x9F\x98\x80"},
                              {"mixed", "a\xD0\xB6\xE6\xBC\xA2\xF0\x9F\x98\x80"}};
    for (const Script& script : scripts) {
        std::string title;
        while (title.size() < 300) {
            title += script.unit;
        }
        const std::string name = TitleToFileName("<title>" + title + "</title>");
        EXPECT_LE(name.size(), 255u) << script.name;
        EXPECT_GE(name.size(), 255u - 3) << script.name;  // cut no more than one character
        ASSERT_GE(name.size(), 4u);
        EXPECT_EQ(name.substr(name.size() - 4), ".flv") << script.name;
        EXPECT_TRUE(IsValidUtf8(name)) << script.name;
        EXPECT_EQ(title.compare(0, name.size() - 4, name, 0, name.size() - 4), 0) << script.name;
    }
}

TEST(ToValidUtf8, ReplacesEveryInvalidSequence) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong "/"
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
        {"\xE6\xBC", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short at the end
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToValidUtf8(c.in), c.out);
    }
}

}  // namespace
