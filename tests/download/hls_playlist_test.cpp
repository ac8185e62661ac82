// The HLS playlist reader: what it takes from master and media playlists, and what it
// refuses.

#include <gtest/gtest.h>

#include <string>

#include "download/HlsPlaylist.h"
#include "download/MediaFetcher.h"

using namespace tamsel;

namespace {

const std::string kBase = "https://cdn.example/video/main/index.m3u8?token=1";

TEST(HlsPlaylistTest, ReadsMasterVariants) {
    const HlsPlaylist p = ParseHlsPlaylist(
        "\xEF\xBB\xBF#EXTM3U\r\n"
        "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\",NAME=\"en\",URI=\"audio/en.m3u8\"\r\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=640x360,CODECS=\"avc1.4d401e,mp4a.40.2\"\n"
        "low/index.m3u8\n"
        "# a comment\n"
        "\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.2\"\n"
        "/audio.m3u8\n"
        "#EXT-X-STREAM-INF:CODECS=\"avc1.64001f\",BANDWIDTH=2000000,AUDIO=\"aud\"\n"
        "https://other.example/hi.m3u8\n",
        kBase);
    ASSERT_EQ(p.error, "");
    EXPECT_TRUE(p.master);
    ASSERT_EQ(p.variants.size(), 3u);
    EXPECT_EQ(p.variants[0].url, "https://cdn.example/video/main/low/index.m3u8");
    EXPECT_EQ(p.variants[0].bandwidth, 800000u);
    EXPECT_EQ(p.variants[0].width, 640u);
    EXPECT_EQ(p.variants[0].height, 360u);
    EXPECT_EQ(p.variants[0].codecs, "avc1.4d401e,mp4a.40.2");
    EXPECT_FALSE(p.variants[0].audioOnly);
    EXPECT_FALSE(p.variants[0].separateAudio);
    EXPECT_EQ(p.variants[1].url, "https://cdn.example/audio.m3u8");
    EXPECT_TRUE(p.variants[1].audioOnly);
    EXPECT_EQ(p.variants[2].url, "https://other.example/hi.m3u8");
    EXPECT_FALSE(p.variants[2].audioOnly);  // a video codec without a picture size
    EXPECT_TRUE(p.variants[2].separateAudio);
}

TEST(HlsPlaylistTest, ChoosesTheBestVariant) {
    const auto v = [](std::uint64_t bandwidth, std::uint32_t w, std::uint32_t h, bool audio) {
        HlsVariant variant;
        variant.bandwidth = bandwidth;
        variant.width = w;
        variant.height = h;
        variant.audioOnly = audio;
        return variant;
    };
    const struct {
        const char* name;
        std::vector<HlsVariant> variants;
        int chosen;
    } cases[] = {
        {"none", {}, -1},
        {"highest bandwidth",
         {v(100, 640, 360, false), v(300, 640, 360, false), v(200, 0, 0, false)},
         1},
        {"tie to the larger picture",
         {v(300, 1280, 720, false), v(300, 1920, 1080, false), v(300, 640, 360, false)},
         1},
        {"tie keeps the first of equals", {v(300, 1280, 720, false), v(300, 1280, 720, false)}, 0},
        {"audio only loses to any video", {v(900, 0, 0, true), v(100, 320, 180, false)}, 1},
        {"audio only when nothing else", {v(64, 0, 0, true), v(128, 0, 0, true)}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChooseHlsVariant(c.variants), c.chosen);
    }
}

TEST(HlsPlaylistTest, ReadsMediaSegmentsRangesKeysAndMaps) {
    const HlsPlaylist p = ParseHlsPlaylist(
        "#EXTM3U\n"
        "#EXT-X-TARGETDURATION:4\n"
        "#EXT-X-MEDIA-SEQUENCE:7\n"
        "#EXT-X-MAP:URI=\"init.mp4\",BYTERANGE=\"720@0\"\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"../keys/k1\",IV=0x0102\n"
        "#EXTINF:4.0,\n"
        "#EXT-X-BYTERANGE:1000@720\n"
        "all.m4s\n"
        "#EXTINF:4.0,\n"
        "#EXT-X-BYTERANGE:500\n"
        "all.m4s\n"
        "#EXT-X-KEY:METHOD=NONE\n"
        "#EXT-X-DISCONTINUITY\n"
        "#EXT-X-MAP:URI=\"init2.mp4\"\n"
        "#EXTINF:4.0,title, with comma\n"
        "seg3.m4s?x=1\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"k2\",KEYFORMAT=\"identity\"\n"
        "#EXTINF:4.0,\n"
        "seg4.m4s\n"
        "#EXT-X-ENDLIST\n",
        kBase);
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(p.master);
    EXPECT_TRUE(p.endList);
    EXPECT_EQ(p.mediaSequence, 7u);
    ASSERT_EQ(p.segments.size(), 4u);
    ASSERT_EQ(p.keys.size(), 2u);
    ASSERT_EQ(p.inits.size(), 2u);

    EXPECT_EQ(p.inits[0].url, "https://cdn.example/video/main/init.mp4");
    EXPECT_EQ(p.inits[0].range.offset, 0u);
    EXPECT_EQ(p.inits[0].range.length, 720u);
    EXPECT_EQ(p.inits[0].key, -1);  // the key comes after the map
    EXPECT_EQ(p.inits[1].range.length, 0u);

    EXPECT_EQ(p.keys[0].url, "https://cdn.example/video/keys/k1");
    EXPECT_TRUE(p.keys[0].hasIv);
    EXPECT_EQ(p.keys[0].iv[14], 0x01);
    EXPECT_EQ(p.keys[0].iv[15], 0x02);
    EXPECT_EQ(p.keys[0].iv[0], 0x00);
    EXPECT_TRUE(p.keys[0].IsClearKey());
    EXPECT_FALSE(p.keys[1].hasIv);
    EXPECT_TRUE(p.keys[1].IsClearKey());

    const struct {
        const char* url;
        std::uint64_t offset, length, sequence;
        bool discontinuity;
        int key, init;
    } expected[] = {
        {"https://cdn.example/video/main/all.m4s", 720, 1000, 7, false, 0, 0},
        // Without an offset the range follows the previous one of the same resource.
        {"https://cdn.example/video/main/all.m4s", 1720, 500, 8, false, 0, 0},
        {"https://cdn.example/video/main/seg3.m4s?x=1", 0, 0, 9, true, -1, 1},
        {"https://cdn.example/video/main/seg4.m4s", 0, 0, 10, false, 1, 1},
    };
    for (std::size_t i = 0; i < p.segments.size(); ++i) {
        SCOPED_TRACE(i);
        const HlsSegment& s = p.segments[i];
        EXPECT_EQ(s.url, expected[i].url);
        EXPECT_EQ(s.range.offset, expected[i].offset);
        EXPECT_EQ(s.range.length, expected[i].length);
        EXPECT_EQ(s.sequence, expected[i].sequence);
        EXPECT_EQ(s.discontinuity, expected[i].discontinuity);
        EXPECT_EQ(s.key, expected[i].key);
        EXPECT_EQ(s.init, expected[i].init);
    }
}

TEST(HlsPlaylistTest, TellsDrmFromClearKeysAndLiveFromEnded) {
    const struct {
        const char* key;
        bool clear;
    } keys[] = {
        {"METHOD=AES-128,URI=\"k\"", true},
        {"METHOD=AES-128,URI=\"k\",KEYFORMAT=\"identity\"", true},
        {"METHOD=AES-128,URI=\"k\",KEYFORMAT=\"com.apple.streamingkeydelivery\"", false},
        {"METHOD=SAMPLE-AES,URI=\"skd://key\"", false},
        {"METHOD=SAMPLE-AES-CTR,URI=\"data:text/plain;base64,AAAA\"", false},
        {"METHOD=ISO-23001-7,URI=\"k\"", false},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(k.key);
        const HlsPlaylist p = ParseHlsPlaylist(
            std::string("#EXTM3U\n#EXT-X-KEY:") + k.key + "\n#EXTINF:2,\ns.ts\n", kBase);
        ASSERT_EQ(p.error, "");
        ASSERT_EQ(p.keys.size(), 1u);
        EXPECT_EQ(p.keys[0].IsClearKey(), k.clear);
        EXPECT_FALSE(p.endList);
    }
}

TEST(HlsPlaylistTest, RefusesBrokenPlaylists) {
    const struct {
        const char* name;
        std::string text;
        const char* error;
    } cases[] = {
        {"empty", "", "not an HLS playlist"},
        {"a page", "<!DOCTYPE html><html></html>", "not an HLS playlist"},
        {"too large", "#EXTM3U\n" + std::string(kMaxPlaylistBytes, '#'), "too large"},
        {"variant without address", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n",
         "without an address"},
        {"variant without bandwidth", "#EXTM3U\n#EXT-X-STREAM-INF:RESOLUTION=1x1\na.m3u8\n",
         "BANDWIDTH"},
        {"broken resolution", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=big\na.m3u8\n",
         "RESOLUTION"},
        {"variants and segments",
         "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n#EXTINF:1,\ns.ts\n", "both"},
        {"segment without EXTINF", "#EXTM3U\ns.ts\n", "without EXTINF"},
        {"not http", "#EXTM3U\n#EXTINF:1,\njavascript:alert(1)\n", "not an http"},
        {"file address", "#EXTM3U\n#EXTINF:1,\nfile:///etc/passwd\n", "not an http"},
        {"zero byte range", "#EXTM3U\n#EXTINF:1,\n#EXT-X-BYTERANGE:0@5\ns.ts\n", "BYTERANGE"},
        {"byte range past 2^64",
         "#EXTM3U\n#EXTINF:1,\n#EXT-X-BYTERANGE:10@18446744073709551610\ns.ts\n", "BYTERANGE"},
        {"huge number", "#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:99999999999999999999999\n",
         "MEDIA-SEQUENCE"},
        {"broken IV", "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0xZZ\n", "IV"},
        {"IV too long",
         "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0x" + std::string(33, '1') + "\n", "IV"},
        {"key without URI", "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128\n", "URI"},
        {"map without URI", "#EXTM3U\n#EXT-X-MAP:BYTERANGE=\"1@0\"\n", "URI"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HlsPlaylist p = ParseHlsPlaylist(c.text, kBase);
        EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
    }
}

TEST(HlsPlaylistTest, StopsAtTheSegmentCap) {
    std::string text = "#EXTM3U\n";
    for (std::size_t i = 0; i <= kMaxPlaylistSegments; ++i) {
        text += "#EXTINF:1,\ns.ts\n";
    }
    const HlsPlaylist p = ParseHlsPlaylist(text, kBase);
    EXPECT_NE(p.error.find("too many segments"), std::string::npos);
    EXPECT_LE(p.segments.size(), kMaxPlaylistSegments);
}

TEST(HlsPlaylistTest, KnowsPlaylistAddressesAndTypes) {
    EXPECT_TRUE(MediaFetcher::IsStreamAddress("http://a.example/v/index.m3u8"));
    EXPECT_TRUE(MediaFetcher::IsStreamAddress("https://a.example/INDEX.M3U8?sig=1#t=2"));
    EXPECT_FALSE(MediaFetcher::IsStreamAddress("http://a.example/video.mp4?list=x.m3u8"));
    EXPECT_FALSE(MediaFetcher::IsStreamAddress("http://a.example/m3u8"));
    EXPECT_TRUE(MediaFetcher::IsStreamAddress("http://a.example/d/Manifest.MPD?x=1"));
    EXPECT_FALSE(MediaFetcher::IsStreamAddress("http://a.example/mpd"));
    EXPECT_TRUE(MediaFetcher::IsStreamContentType("application/vnd.apple.mpegurl"));
    EXPECT_TRUE(MediaFetcher::IsStreamContentType("Application/X-MpegURL; charset=utf-8"));
    EXPECT_TRUE(MediaFetcher::IsStreamContentType("application/dash+xml"));
    EXPECT_FALSE(MediaFetcher::IsStreamContentType("video/mp2t"));
    EXPECT_FALSE(MediaFetcher::IsStreamContentType(""));
}

}  // namespace
