#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "service/MediaFinder.h"

using namespace tamsel;

namespace {

using Addresses = std::vector<std::string>;

const char kPage[] = "http://site.test/videos/page.html";

struct FinderCase {
    const char* what;
    std::string html;
    Addresses expected;
};

void PrintTo(const FinderCase& c, std::ostream* out) {
    *out << c.what;
}

class FinderCases : public ::testing::TestWithParam<FinderCase> {};

TEST_P(FinderCases, FindsTheMedia) {
    EXPECT_EQ(FindMediaAddresses(GetParam().html, kPage), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    PageShapes, FinderCases,
    ::testing::Values(
        FinderCase{"video src, relative",
                   "<video src=\"clip.mp4\"></video>",
                   {"http://site.test/videos/clip.mp4"}},
        FinderCase{"source in video, root-relative, any extension",
                   "<video><source src=\"/media/stream?id=7\" type=\"video/webm\"></video>",
                   {"http://site.test/media/stream?id=7"}},
        FinderCase{"source in audio is not video", "<audio><source src=\"/a.mp3\"></audio>", {}},
        FinderCase{"Open Graph and Twitter player tags",
                   "<head><meta property=\"og:video\" content=\"https://cdn.test/1.mp4\">"
                   "<meta property=\"og:video:url\" content=\"https://cdn.test/2.mp4\">"
                   "<meta property=\"og:video:secure_url\" content=\"https://cdn.test/3.mp4\">"
                   "<meta name=\"twitter:player:stream\" content=\"https://cdn.test/4.mp4\">"
                   "<meta property=\"og:image\" content=\"https://cdn.test/p.jpg\"></head>",
                   {"https://cdn.test/1.mp4", "https://cdn.test/2.mp4", "https://cdn.test/3.mp4",
                    "https://cdn.test/4.mp4"}},
        FinderCase{"embed flashvars, url-encoded; the player itself is not media",
                   "<embed src=\"/player.swf\" "
                   "flashvars=\"autostart=true&amp;file=http%3A%2F%2Fcdn.test%2Fv.flv\">",
                   {"http://cdn.test/v.flv"}},
        FinderCase{"object params: flashvars and a movie pointing at media",
                   "<object data=\"/player.swf\"><param name=\"FlashVars\" "
                   "value=\"video_url=/x.flv&amp;flv=y.flv\"><param name=\"movie\" "
                   "value=\"/movie.f4v\"><param name=\"quality\" value=\"high\"></object>",
                   {"http://site.test/x.flv", "http://site.test/videos/y.flv",
                    "http://site.test/movie.f4v"}},
        FinderCase{"object data that is media",
                   "<object data=\"/clip.flv\"></object>",
                   {"http://site.test/clip.flv"}},
        FinderCase{"JSON-LD contentUrl with escapes, an array; embedUrl is a player",
                   "<script type=\"application/ld+json\">{\"@type\": \"VideoObject\", "
                   "\"contentUrl\" : [\"https:\\/\\/cdn.test\\/ld.mp4\", \"/clip\\u00e9.mp4\"], "
                   "\"embedUrl\": \"https://cdn.test/player\"}</script>"
                   "<script>var x = {\"contentUrl\": \"https://cdn.test/js.mp4\"};</script>",
                   {"https://cdn.test/ld.mp4", "http://site.test/clip%C3%A9.mp4",
                    "https://cdn.test/js.mp4"}},
        FinderCase{"links to media files only, query and fragment ignored",
                   "<a href=\"files/clip.FLV?token=1#t\">a</a><a href=\"page2.html\">b</a>"
                   "<a href=\"/x.mp4.html\">c</a><a href=\"/get?f=a.mp4\">d</a>"
                   "<a href=\"//cdn.test/z.3gp\">e</a>",
                   {"http://site.test/videos/files/clip.FLV?token=1#t", "http://cdn.test/z.3gp"}},
        FinderCase{"base href decides for relative addresses",
                   "<head><base href=\"http://other.test/base/\"></head><body>"
                   "<video src=\"v.mp4\"></video><a href=\"/w.webm\">w</a></body>",
                   {"http://other.test/base/v.mp4", "http://other.test/w.webm"}},
        FinderCase{"relative base href",
                   "<base href=\"../media/\"><video src=\"v.mov\">",
                   {"http://site.test/media/v.mov"}},
        FinderCase{"entities in attributes",
                   "<video src=\"/v.mp4?a=1&amp;b=2\"></video>",
                   {"http://site.test/v.mp4?a=1&b=2"}},
        FinderCase{"blanks around and inside addresses",
                   "<video src=\"  clip.mp4\n \"></video><a href=\"my clip.m4v\">x</a>",
                   {"http://site.test/videos/clip.mp4", "http://site.test/videos/my%20clip.m4v"}},
        FinderCase{"page order, no repeats",
                   "<head><meta property=\"og:video\" content=\"/b.mp4\"></head><body>"
                   "<video src=\"/a.mp4\"></video><a href=\"/b.mp4\">b</a>"
                   "<a href=\"http://site.test/a.mp4\">a</a></body>",
                   {"http://site.test/b.mp4", "http://site.test/a.mp4"}},
        FinderCase{"schemes other than http and https are dropped",
                   "<video src=\"javascript:alert(1)\"></video><a href=\"ftp://x.test/a.flv\">f</a>"
                   "<video src=\"data:video/mp4;base64,AAAA\"></video>"
                   "<a href=\"file:///etc/passwd.mp4\">p</a>",
                   {}},
        FinderCase{"malformed markup is recovered",
                   "<html><body><div><p><video src=m.mp4><a href=z.flv>z</div></video>",
                   {"http://site.test/videos/m.mp4", "http://site.test/videos/z.flv"}},
        FinderCase{"empty input", "", {}},
        FinderCase{"a page without media", "<html><head><title>t</title></head></html>", {}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(FindMediaAddresses, SurvivesHostileInput) {
    const std::string huge(3 * 1024 * 1024, 'a');
    const Addresses afterHuge =
        FindMediaAddresses("<a href=\"/" + huge + ".mp4\">x</a><video src=\"ok.mp4\">", kPage);
    EXPECT_FALSE(afterHuge.empty());
    EXPECT_EQ(afterHuge.back(), "http://site.test/videos/ok.mp4");

    std::string nested;
    for (int i = 0; i < 20000; ++i) {
        nested += "<div>";
    }
    EXPECT_NO_FATAL_FAILURE(FindMediaAddresses(nested + "<video src=\"deep.mp4\">", kPage));

    std::string junk;
    for (int i = 0; i < 100000; ++i) {
        junk.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    EXPECT_NO_FATAL_FAILURE(FindMediaAddresses(junk, kPage));
    EXPECT_TRUE(FindMediaAddresses("<video src=\"a.mp4\">", "not a base").empty());
}

}  // namespace
