#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "service/JsLiteral.h"
#include "service/MediaChoice.h"
#include "service/MediaFinder.h"
#include "service/ServiceContract.h"

using namespace tamsel;

namespace {

using Addresses = std::vector<std::string>;

const char kPage[] = "http://site.test/videos/page.html";

struct Case {
    const char* what;
    std::string html;
    Addresses expected;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.what;
}

// What is a candidate at all: video files and streams, never pictures, sound,
// player pages or placeholders.
class Candidates : public ::testing::TestWithParam<Case> {};

TEST_P(Candidates, KeepsOnlyVideo) {
    EXPECT_EQ(FindMediaAddresses(GetParam().html, kPage), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Candidates,
    ::testing::Values(
        Case{"og:video typed text/html or Flash is a player page; video/mp4 is a file",
             "<meta property=\"og:video\" content=\"https://v.test/embed?id=1\">"
             "<meta property=\"og:video:type\" content=\"text/html\">"
             "<meta property=\"og:video\" content=\"https://v.test/p.swf?id=1\">"
             "<meta property=\"og:video:type\" content=\"application/x-shockwave-flash\">"
             "<meta property=\"og:video\" content=\"https://v.test/get?id=1\">"
             "<meta property=\"og:video:type\" content=\"video/mp4\">",
             {"https://v.test/get?id=1"}},
        Case{"og:video without type or extension names a player page",
             "<meta property=\"og:video\" content=\"https://v.test/video/311\">",
             {}},
        Case{"pictures, sound, /embed/ pages and captions are not video",
             "<a href=\"/a.jpg\">i</a><a href=\"/b.mp3\">s</a>"
             "<meta property=\"og:video\" content=\"https://v.test/embed/7.mp4\">"
             "<video><source src=\"/p.png\" type=\"image/png\"><track src=\"/c.vtt\"></video>"
             "<a href=\"/ok.webm\">v</a>",
             {"http://site.test/ok.webm"}},
        Case{"placeholders, blob: and the page itself are not video",
             "<video src=\"//:0\" data-src=\"/lazy.mp4\"></video><video src=\"blob:x\"></video>"
             "<video src=\"#\"></video><video src=\"page.html#t\"></video>",
             {"http://site.test/lazy.mp4"}},
        Case{"streams are candidates too",
             "<video><source src=\"/hls/master.m3u8\"><source src=\"/d.mpd\"></video>",
             {"http://site.test/hls/master.m3u8", "http://site.test/d.mpd"}},
        Case{"a second source nested inside the first by the parser still counts",
             "<video><source src=\"a.webm\" type=\"video/webm\">"
             "<source src=\"b.mp4\" type=\"video/mp4\"></video>",
             {"http://site.test/videos/a.webm", "http://site.test/videos/b.mp4"}},
        Case{"a video element plays what it is given, whatever the extension",
             "<video src=\"/clip.gif\" autoplay muted loop></video>",
             {"http://site.test/clip.gif"}},
        Case{"JSON-LD: contentUrl of VideoObjects only, wherever they nest",
             "<script type=\"application/ld+json\">{\"@graph\": ["
             "{\"@type\": \"ImageObject\", \"contentUrl\": \"/logo.png\"},"
             "{\"@type\": \"AudioObject\", \"contentUrl\": \"/talk\"},"
             "{\"@type\": \"NewsArticle\", \"video\": {\"@type\": \"VideoObject\","
             " \"contentUrl\": \"/a/video\"}},"
             "{\"@type\": \"WebPage\", \"subjectOf\": [{\"@type\": [\"VideoObject\"],"
             " \"contentUrl\": [\"/b.mp4\", \"/c.mp4\"]}]}]}</script>",
             {"http://site.test/a/video", "http://site.test/b.mp4", "http://site.test/c.mp4"}},
        Case{"inline JSON player data: renditions, typed addresses, playAddr",
             "<script id=\"__NEXT_DATA__\" type=\"application/json\">{\"props\": {\"video\": {"
             "\"poster\": \"/p.jpg\", \"assets\": [{\"format\": \"MPEG4\", \"publicUrl\":"
             " \"https://cdn.test/r/1?mbr=1\", \"height\": 720}], \"playAddr\":"
             " \"https:\\u002F\\u002Fcdn.test\\u002Fplay\\u002F?a=1\\u0026b=2\"},"
             " \"music\": {\"playUrl\": \"https://cdn.test/song\"}}}</script>",
             // An object's keys come in key order, not as written.
             {"https://cdn.test/play/?a=1&b=2", "https://cdn.test/r/1?mbr=1"}},
        Case{"JW Player set-up written as a JavaScript literal",
             "<script>jwplayer('p').setup({ playlist: [{ image: '/i.jpg', sources: [ "
             "{file: '/v/720.mp4', label: '720p'}, {file: \"/v/hls.m3u8\"}, ], }], "
             "width: '100%', onReady: function () { go(); } });</script>",
             {"http://site.test/v/720.mp4", "http://site.test/v/hls.m3u8"}},
        Case{"data-* attributes: HTML-escaped JSON and escaped addresses",
             "<div data-video=\"{&quot;mp4&quot;:&quot;https:\\/\\/cdn.test\\/a.mp4&quot;,"
             "&quot;m3u8&quot;:&quot;https:\\/\\/cdn.test\\/a.m3u8&quot;}\"></div>"
             "<div data-clip=\"https:\\/\\/cdn.test\\/b.mp4\"></div>"
             "<div data-thumb=\"/t.jpg\"></div>",
             {"https://cdn.test/a.m3u8", "https://cdn.test/a.mp4", "https://cdn.test/b.mp4"}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

struct ChoiceCase {
    const char* what;
    std::string html;
    std::string download;  // "" when nothing may be downloaded
    bool stream = false;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) {
    *out << c.what;
}

class Choice : public ::testing::TestWithParam<ChoiceCase> {};

// What the result page offers as its one "Download": the page's own video.
TEST_P(Choice, OffersThePagesOwnVideo) {
    const ChoiceCase& c = GetParam();
    const std::vector<OfferedMedia> offered = ChooseMedia(CollectMediaCandidates(c.html, kPage));
    if (c.download.empty()) {
        EXPECT_TRUE(offered.empty()) << c.what;
        return;
    }
    ASSERT_FALSE(offered.empty()) << c.what;
    EXPECT_EQ(offered[0].address, c.download) << c.what;
    EXPECT_NE(offered[0].text.find("Download"), std::string::npos);
    EXPECT_EQ(offered[0].stream, c.stream) << c.what;
    EXPECT_EQ(offered[0].title.rfind(kStreamLinkTitle, 0) == 0, c.stream) << c.what;
    for (std::size_t i = 1; i < offered.size(); ++i) {
        EXPECT_EQ(offered[i].text.find("Download"), std::string::npos) << offered[i].text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Choice,
    ::testing::Values(
        ChoiceCase{"declared og:video beats a promo clip sorting first",
                   "<meta property=\"og:video\" content=\"https://cdn.test/z-main.mp4\">"
                   "<div class=\"app-promo\"><video controls src=\"https://cdn.test/a.mp4\">"
                   "</video></div>",
                   "https://cdn.test/z-main.mp4"},
        ChoiceCase{"ad and related blocks never give the Download",
                   "<div id=\"ad-slot\"><video src=\"/a.mp4\"></video></div>"
                   "<aside><video src=\"/b.mp4\"></video></aside>"
                   "<ul class=\"related-videos\"><li><video src=\"/c.mp4\"></video></ul>"
                   "<div class=\"player\"><video src=\"/z.mp4\"></video></div>",
                   "http://site.test/z.mp4"},
        ChoiceCase{"a page whose only video is an ad offers nothing",
                   "<div class=\"advertisement\"><video src=\"/a.mp4\"></video></div>", ""},
        ChoiceCase{
            "previews inside links to other posts lose to the player",
            "<a href=\"/other\"><video muted loop><source src=\"/a/preview.mp4\"></video></a>"
            "<video controls><source src=\"/z/480.mp4\"></video>",
            "http://site.test/z/480.mp4"},
        ChoiceCase{"a muted background loop loses to a video with a poster",
                   "<video src=\"/a-loop.mp4\" muted autoplay loop></video>"
                   "<video src=\"/z-talk.mp4\" poster=\"/p.jpg\"></video>",
                   "http://site.test/z-talk.mp4"},
        ChoiceCase{"earliest of equals wins",
                   "<video src=\"/z-first.mp4\"></video><video src=\"/a-second.mp4\"></video>",
                   "http://site.test/z-first.mp4"},
        ChoiceCase{"best rendition of the player: labels, sizes, file names",
                   "<video><source src=\"/v/a.mp4\" res=\"480\"><source src=\"/v/b.mp4\" "
                   "res=\"1080\"><source src=\"/v/c.mp4\" res=\"720\"></video>",
                   "http://site.test/v/b.mp4"},
        ChoiceCase{"the file of a config is preferred to its HLS and DASH streams",
                   "<script type=\"application/json\">{\"hls\": \"https://c.test/a.m3u8\","
                   " \"dash\": \"https://c.test/a.mpd\", \"mp4\": \"https://c.test/z.mp4\"}"
                   "</script>",
                   "https://c.test/z.mp4"},
        ChoiceCase{"a stream only when nothing progressive exists, marked as one",
                   "<video><source src=\"/live/master.m3u8\" "
                   "type=\"application/x-mpegURL\"></video>",
                   "http://site.test/live/master.m3u8", true},
        ChoiceCase{"a paywall promo in a page's settings is not the video",
                   "<script>window.s = {\"paywall_video_url\": {\"value\": "
                   "\"https://c.test/promo.mp4\"}};</script>",
                   ""}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(ChooseMedia, CapsTheLinksOfOneAnswer) {
    std::string html;
    for (int i = 0; i < 1000; ++i) {
        html += "<video src=\"/v" + std::to_string(i) + ".mp4\"></video>";
    }
    const auto candidates = CollectMediaCandidates(html, kPage);
    EXPECT_EQ(candidates.size(), kMaxCandidates);
    EXPECT_EQ(ChooseMedia(candidates).size(), kMaxOfferedLinks);
}

TEST(JsLiteralToJson, ReadsWhatPagesWrite) {
    const struct {
        const char* literal;
        const char* json;
    } cases[] = {
        {"{a: 1, 'b': 'x\"y', \"c\": [true, null,], d: -2.5e3}",
         "{\"a\":1,\"b\":\"x\\\"y\",\"c\":[true,null],\"d\":-2.5e3}"},
        {"{f: function () { return {x: 1}; }, g: go(1, 2), h: 'k'} trailing",
         "{\"f\":null,\"g\":null,\"h\":\"k\"}"},
        {"[/* note */ 'a', // line\n 'b']", "[\"a\",\"b\"]"},
        {"{s: 'a\\'b\\x26c'}", "{\"s\":\"a'b\\u0026c\"}"},
        {"{a: [1, 2}", ""},  // mismatched
        {"{a: 'open", ""},   // cut off
        {"{: 1}", ""},       // no key
        {"not a literal", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsLiteralToJson(c.literal, 0), c.json) << c.literal;
    }
    const std::string deep(100000, '[');
    EXPECT_EQ(JsLiteralToJson(deep, 0), "");
    const std::string ok = std::string(kMaxLiteralDepth, '[') + std::string(kMaxLiteralDepth, ']');
    EXPECT_EQ(JsLiteralToJson(ok, 0), ok);
}

}  // namespace
