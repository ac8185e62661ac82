// Streams through the fetcher: playlists and segments generated here and served from
// loopback, checked byte for byte against what a player would read.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "download/MediaFetcher.h"
#include "download/StreamDownload.h"
#include "tests/download/FetchRecorder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

using testsupport::FileExists;
using testsupport::LogCapture;
using testsupport::MakeTestBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TestHttpServer;
using testsupport::WriteFile;

namespace {

std::string Encrypt(const std::string& plain, const std::string& key, const unsigned char* iv) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    std::string out(plain.size() + 16, '\0');
    int first = 0, last = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_cbc(), nullptr,
                       reinterpret_cast<const unsigned char*>(key.data()), iv);
    EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &first,
                      reinterpret_cast<const unsigned char*>(plain.data()),
                      static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()) + first, &last);
    EVP_CIPHER_CTX_free(context);
    out.resize(static_cast<std::size_t>(first + last));
    return out;
}

// The IV a segment without one of its own uses: its sequence number, big-endian.
std::array<unsigned char, 16> SequenceIv(std::uint64_t sequence) {
    std::array<unsigned char, 16> iv{};
    for (int i = 0; i < 8; ++i) {
        iv[15 - i] = static_cast<unsigned char>(sequence >> (8 * i));
    }
    return iv;
}

// MPEG-TS-looking bytes: packets of 188 starting with the sync byte.
std::string TsSegment(std::size_t packets, unsigned seed) {
    std::string data = MakeTestBytes(packets * 188, seed);
    for (std::size_t i = 0; i < data.size(); i += 188) {
        data[i] = 0x47;
    }
    return data;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::string Mpd(const std::string& sets, const std::string& attributes = "type=\"static\"");

class StreamDownloadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.Path().empty()); }

    // A media playlist of `segments` served as /<dir>/sNN.ts, returning their bytes joined.
    std::string ServeTsPlaylist(const std::string& dir, int segments, unsigned seed,
                                const std::string& extraTags = "#EXT-X-ENDLIST\n") {
        std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
        std::string joined;
        for (int i = 0; i < segments; ++i) {
            const std::string name = "s" + std::to_string(i) + ".ts";
            const std::string data = TsSegment(20 + static_cast<std::size_t>(i) * 7, seed + i);
            m_server.ServeBytes("/" + dir + "/" + name, data, "video/mp2t");
            playlist += "#EXTINF:2.0,\n" + name + "\n";
            joined += data;
        }
        m_server.ServeBytes("/" + dir + "/index.m3u8", playlist + extraTags,
                            "application/vnd.apple.mpegurl");
        return joined;
    }

    int Run(const std::string& path, const std::string& fileName = "clip.flv") {
        m_recorder = std::make_unique<FetchRecorder>();
        m_fetcher = std::make_unique<MediaFetcher>();
        m_recorder->AcknowledgeDataOf(m_fetcher.get());
        const int code =
            RunFetcher(*m_fetcher, *m_recorder, m_folder.Path(), m_server.Url(path), fileName);
        ExpectReportProtocol(m_recorder->Reports(), 3, m_fetcher->Serial());
        return code;
    }

    TempDir m_folder;
    TestHttpServer m_server;
    std::unique_ptr<FetchRecorder> m_recorder;
    std::unique_ptr<MediaFetcher> m_fetcher;
};

TEST_F(StreamDownloadTest, MasterPlaylistGivesTheBestVariantInOrder) {
    const std::string low = ServeTsPlaylist("low", 3, 10);
    const std::string wide = ServeTsPlaylist("wide", 12, 20);
    const std::string narrow = ServeTsPlaylist("narrow", 3, 30);
    const std::string sound = ServeTsPlaylist("sound", 3, 40);
    m_server.ServeBytes("/master.m3u8",
                        "#EXTM3U\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=500000,RESOLUTION=640x360\nlow/index.m3u8\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=2000000,RESOLUTION=1280x720\n"
                        "narrow/index.m3u8\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=2000000,RESOLUTION=1920x1080\n"
                        "/wide/index.m3u8\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=9000000,CODECS=\"mp4a.40.2\"\n"
                        "sound/index.m3u8\n");
    ASSERT_TRUE(m_server.Start());

    ASSERT_EQ(Run("/master.m3u8"), FETCH_DONE);
    // The task's name keeps its stem; the stream gives the extension.
    EXPECT_EQ(FolderEntries(m_folder.Path()), std::vector<std::string>{"clip.ts"});
    EXPECT_EQ(ReadFile(m_folder.File("clip.ts")), wide);
    EXPECT_EQ(m_fetcher->Received(), wide.size());
    // Sizes were not stated: no length announced, the view takes the count at the end.
    EXPECT_EQ(m_recorder->Count(FETCH_LENGTH), 0);
    EXPECT_EQ(m_fetcher->Length(), 0u);
    EXPECT_EQ(m_recorder->ReceivedAtData().back(), wide.size());
    EXPECT_EQ(m_server.Hits("/narrow/index.m3u8"), 0);
    EXPECT_EQ(m_server.Hits("/sound/index.m3u8"), 0);
    EXPECT_EQ(m_server.Hits("/low/s0.ts"), 0);
}

TEST_F(StreamDownloadTest, SegmentsFinishingOutOfOrderAreWrittenInOrder) {
    // The first segment answers only once the fourth has been asked for, so the
    // writing must wait for it while the others arrive.
    const std::string first = TsSegment(50, 1);
    std::string joined = first;
    std::string playlist = "#EXTM3U\n#EXTINF:2,\nfirst.ts\n";
    for (int i = 1; i < 10; ++i) {
        const std::string data = TsSegment(10 + static_cast<std::size_t>(i), 100 + i);
        m_server.ServeBytes("/s" + std::to_string(i) + ".ts", data);
        playlist += "#EXTINF:2,\ns" + std::to_string(i) + ".ts\n";
        joined += data;
    }
    m_server.ServeBytes("/index.m3u8", playlist + "#EXT-X-ENDLIST\n");
    std::atomic<bool> sawFourth{false};
    m_server.Get("/first.ts", [&](const httplib::Request&, httplib::Response& response) {
        for (int i = 0; i < 200 && m_server.Hits("/s3.ts") == 0; ++i) {
            m_server.SleepUnlessStopping(std::chrono::milliseconds(25));
        }
        sawFourth.store(m_server.Hits("/s3.ts") > 0);
        response.set_content(first, "video/mp2t");
    });
    ASSERT_TRUE(m_server.Start());

    ASSERT_EQ(Run("/index.m3u8", "out"), FETCH_DONE);
    EXPECT_TRUE(sawFourth.load()) << "segments were not fetched several at a time";
    EXPECT_EQ(ReadFile(m_folder.File("out.ts")), joined);
}

TEST_F(StreamDownloadTest, ByteRangesInitSectionsAndDiscontinuities) {
    // One file holds the init section and the segments, out of their playing order.
    const std::string init = MakeTestBytes(300, 7);
    const std::string a = MakeTestBytes(1000, 8);
    const std::string b = MakeTestBytes(777, 9);
    const std::string init2 = MakeTestBytes(200, 10);
    const std::string c = MakeTestBytes(4000, 11);
    m_server.ServeBytes("/v/all.mp4", init + b + a);
    m_server.ServeBytes("/v/init2.mp4", init2);
    m_server.ServeBytes("/v/c.m4s", c);
    m_server.ServeBytes("/v/index.m3u8",
                        "#EXTM3U\n#EXT-X-VERSION:7\n"
                        "#EXT-X-MAP:URI=\"all.mp4\",BYTERANGE=\"300@0\"\n"
                        "#EXTINF:2,\n#EXT-X-BYTERANGE:1000@1077\nall.mp4\n"
                        "#EXTINF:2,\n#EXT-X-BYTERANGE:777@300\nall.mp4\n"
                        "#EXT-X-DISCONTINUITY\n"
                        "#EXT-X-MAP:URI=\"init2.mp4\",BYTERANGE=\"200@0\"\n"
                        "#EXTINF:2,\n#EXT-X-BYTERANGE:4000@0\nc.m4s\n"
                        "#EXT-X-ENDLIST\n");
    ASSERT_TRUE(m_server.Start());

    ASSERT_EQ(Run("/v/index.m3u8", "film.mp4"), FETCH_DONE);
    const std::string expected = init + a + b + init2 + c;
    EXPECT_EQ(FolderEntries(m_folder.Path()), std::vector<std::string>{"film.mp4"});
    EXPECT_EQ(ReadFile(m_folder.File("film.mp4")), expected);
    // Every size is stated, so the length is announced once, before the data.
    EXPECT_EQ(m_recorder->Count(FETCH_LENGTH), 1);
    EXPECT_EQ(m_fetcher->Length(), expected.size());
    EXPECT_EQ(m_fetcher->Received(), expected.size());
}

TEST_F(StreamDownloadTest, DecryptsAes128WithExplicitAndImplicitIvs) {
    const std::string key1 = MakeTestBytes(16, 50);
    const std::string key2 = MakeTestBytes(16, 51);
    const unsigned char explicitIv[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0, 1};
    m_server.ServeBytes("/k1", key1);
    m_server.ServeBytes("/keys/k2", key2);
    std::string playlist =
        "#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:41\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"/k1\",IV=0xABCD0001\n";
    std::string plain;
    for (int i = 0; i < 6; ++i) {
        const std::uint64_t sequence = 41 + static_cast<std::uint64_t>(i);
        // Sizes not a multiple of the block, so every segment carries its padding.
        const std::string data = TsSegment(3 + static_cast<std::size_t>(i), 60 + i);
        std::string served;
        if (i == 3) {
            playlist += "#EXT-X-KEY:METHOD=AES-128,URI=\"keys/k2\"\n";
        }
        if (i < 3) {
            served = Encrypt(data, key1, explicitIv);
        } else if (i < 5) {
            served = Encrypt(data, key2, SequenceIv(sequence).data());
        } else {
            playlist += "#EXT-X-KEY:METHOD=NONE\n";
            served = data;
        }
        m_server.ServeBytes("/e" + std::to_string(i) + ".ts", served);
        playlist += "#EXTINF:2,\ne" + std::to_string(i) + ".ts\n";
        plain += data;
    }
    m_server.ServeBytes("/secret.m3u8", playlist + "#EXT-X-ENDLIST\n");
    ASSERT_TRUE(m_server.Start());

    ASSERT_EQ(Run("/secret.m3u8", "secret.ts"), FETCH_DONE);
    EXPECT_EQ(ReadFile(m_folder.File("secret.ts")), plain);
    EXPECT_EQ(m_server.Hits("/k1"), 1);  // once per address, not per segment
    EXPECT_EQ(m_server.Hits("/keys/k2"), 1);
}

TEST_F(StreamDownloadTest, RefusalsLeaveNothingAndSayWhy) {
    ServeTsPlaylist("live", 3, 1, "");
    const std::string segment = "#EXTINF:2,\ns.ts\n#EXT-X-ENDLIST\n";
    m_server.ServeBytes("/s.ts", TsSegment(2, 1));
    m_server.ServeBytes("/fairplay.m3u8",
                        "#EXTM3U\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://x\",KEYFORMAT="
                        "\"com.apple.streamingkeydelivery\"\n" +
                            segment);
    m_server.ServeBytes("/widevine.m3u8",
                        "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"/k\",KEYFORMAT=\"urn:uuid:"
                        "edef8ba9-79d6-4ace-a3c8-27dcd51d21ed\"\n" +
                            segment);
    m_server.ServeBytes("/page.m3u8", "<html><body>Not found</body></html>", "text/html");
    m_server.ServeBytes(
        "/split.m3u8",
        "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\",URI=\"a.m3u8\"\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=2x2,AUDIO=\"a\"\nlive/index.m3u8\n");
    m_server.ServeBytes("/shortkey.m3u8",
                        "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"/short\"\n" + segment);
    m_server.ServeBytes("/short", "12345");
    m_server.ServeStatus("/gone.m3u8", 404);
    ASSERT_TRUE(m_server.Start());

    const struct {
        const char* path;
        int code;
        const char* text;    // the task's reason
        const char* reason;  // in the log line
    } cases[] = {
        {"/live/index.m3u8", FETCH_TRANSFER_ERROR, kLiveStreamRefusal, kLiveStreamRefusal},
        {"/fairplay.m3u8", FETCH_TRANSFER_ERROR, kDrmStreamRefusal, kDrmStreamRefusal},
        {"/widevine.m3u8", FETCH_TRANSFER_ERROR, kDrmStreamRefusal, kDrmStreamRefusal},
        {"/page.m3u8", FETCH_TRANSFER_ERROR, "The stream's playlist cannot be read.",
         "not an HLS playlist"},
        {"/split.m3u8", FETCH_TRANSFER_ERROR, kSplitStreamRefusal, kSplitStreamRefusal},
        {"/shortkey.m3u8", FETCH_TRANSFER_ERROR, "The stream's key could not be fetched.",
         "not 16 bytes"},
        {"/gone.m3u8", FETCH_BAD_STATUS, "The stream's playlist could not be downloaded.",
         "HTTP status 404"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture log("tamsel.download");
        EXPECT_EQ(Run(c.path), c.code);
        EXPECT_EQ(m_fetcher->FailureText(), c.text);
        EXPECT_TRUE(FolderEntries(m_folder.Path()).empty());
        const auto warnings = log.Warnings();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(c.reason), std::string::npos) << warnings[0];
    }
    EXPECT_EQ(m_server.Hits("/live/s0.ts"), 0);
    EXPECT_EQ(m_server.Hits("/s.ts"), 0);
}

TEST_F(StreamDownloadTest, MissingSegmentIsRetriedThenFailsTheTaskLeavingNothing) {
    std::string playlist = "#EXTM3U\n";
    for (int i = 0; i < 8; ++i) {
        if (i != 5) {
            m_server.ServeBytes("/s" + std::to_string(i) + ".ts", TsSegment(400, i));
        }
        playlist += "#EXTINF:2,\ns" + std::to_string(i) + ".ts\n";
    }
    m_server.ServeStatus("/s5.ts", 404, "no");
    m_server.ServeBytes("/index.m3u8", playlist + "#EXT-X-ENDLIST\n");
    ASSERT_TRUE(m_server.Start());

    LogCapture log("tamsel.download");
    EXPECT_EQ(Run("/index.m3u8"), FETCH_BAD_STATUS);
    EXPECT_EQ(m_server.Hits("/s5.ts"), StreamDownload::kAttempts);
    EXPECT_EQ(m_fetcher->FailureText(),
              "Segment 6 of the stream could not be downloaded: the server answered 404.");
    EXPECT_TRUE(FolderEntries(m_folder.Path()).empty());
    const auto warnings = log.Warnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("segment 6"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("HTTP status 404"), std::string::npos) << warnings[0];
}

TEST_F(StreamDownloadTest, StopInTheMiddleLeavesNothing) {
    std::string playlist = "#EXTM3U\n";
    for (int i = 0; i < 12; ++i) {
        if (i != 6) {
            m_server.ServeBytes("/s" + std::to_string(i) + ".ts", TsSegment(300, i));
        }
        playlist += "#EXTINF:2,\ns" + std::to_string(i) + ".ts\n";
    }
    // The seventh segment sends its headers and a little, then nothing.
    m_server.ServeStallAfterHeaders("/s6.ts", 188 * 300, TsSegment(1, 6));
    m_server.ServeBytes("/index.m3u8", playlist + "#EXT-X-ENDLIST\n");
    ASSERT_TRUE(m_server.Start());

    FetchRecorder recorder;
    MediaFetcher fetcher;
    recorder.AcknowledgeDataOf(&fetcher);
    fetcher.SetView(&recorder);
    fetcher.SetTask(m_folder.Path(), m_server.Url("/index.m3u8"), "clip.ts", 3, 0);
    ASSERT_TRUE(fetcher.Start());
    // Wait until the earlier segments are in the file and the stalled one is asked for.
    ASSERT_TRUE(recorder.WaitForCount(FETCH_DATA, 1));
    for (int i = 0; i < 400 && m_server.Hits("/s6.ts") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_EQ(m_server.Hits("/s6.ts"), 1);
    EXPECT_EQ(FolderEntries(m_folder.Path()), std::vector<std::string>{"clip.ts.part"});
    fetcher.RequestStop();
    EXPECT_EQ(recorder.WaitForTerminal(), FETCH_STOPPED);
    ExpectReportProtocol(recorder.Reports(), 3, fetcher.Serial());
    EXPECT_TRUE(FolderEntries(m_folder.Path()).empty());
}

TEST_F(StreamDownloadTest, PlaylistKnownByItsContentTypeIsReadOnce) {
    ServeTsPlaylist("v", 4, 70);
    const std::string oneSegment = "#EXTM3U\n#EXTINF:2,\n/v/s0.ts\n#EXT-X-ENDLIST\n";
    m_server.ServeBytes("/stream", oneSegment, "application/x-mpegURL");
    m_server.ServeBytes("/watch", oneSegment, "application/vnd.apple.mpegurl; charset=utf-8");
    m_server.ServeBytes("/manifest",
                        Mpd("<AdaptationSet mimeType=\"video/mp4\" codecs=\"avc1,mp4a\">"
                            "<Representation id=\"x\" bandwidth=\"1\">"
                            "<BaseURL>/v/s1.ts</BaseURL></Representation>"
                            "</AdaptationSet>"),
                        "application/dash+xml");
    ASSERT_TRUE(m_server.Start());

    const struct {
        const char* path;
        const char* name;
        const char* expected;
    } cases[] = {{"/stream", "a.flv", "a.ts"}, {"/watch?id=7", "b", "b.ts"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(Run(c.path, c.name), FETCH_DONE);
        EXPECT_EQ(m_server.Hits(std::string(c.path).substr(0, std::string(c.path).find('?'))), 1);
        EXPECT_EQ(ReadFile(m_folder.File(c.expected)), TsSegment(20, 70));
    }
    ASSERT_EQ(Run("/manifest", "d.flv"), FETCH_DONE);
    EXPECT_EQ(m_server.Hits("/manifest"), 1);
    EXPECT_EQ(FolderEntries(m_folder.Path()).size(), 3u);
}

TEST_F(StreamDownloadTest, TakenNamesGiveWayAndAreNeverReplaced) {
    const std::string joined = ServeTsPlaylist("v", 3, 40);
    ASSERT_TRUE(m_server.Start());
    ASSERT_TRUE(WriteFile(m_folder.File("b.ts"), "mine"));
    // Another task's part file holds the next name.
    ASSERT_TRUE(WriteFile(m_folder.File("b[2].ts.part"), "theirs"));

    ASSERT_EQ(Run("/v/index.m3u8", "b.flv"), FETCH_DONE);
    EXPECT_EQ(m_fetcher->FileName(), "b[3].ts");
    EXPECT_EQ(ReadFile(m_folder.File("b.ts")), "mine");
    EXPECT_EQ(ReadFile(m_folder.File("b[2].ts.part")), "theirs");
    EXPECT_EQ(ReadFile(m_folder.File("b[3].ts")), joined);
}

}  // namespace

namespace {

std::string Mpd(const std::string& sets, const std::string& attributes) {
    return "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" " + attributes +
           " mediaPresentationDuration=\"PT6S\"><Period>" + sets + "</Period></MPD>";
}

TEST_F(StreamDownloadTest, DashManifestsWithOneMuxedRepresentation) {
    const std::string init = MakeTestBytes(100, 1);
    std::string numbered = init, timed = init;
    m_server.ServeBytes("/d/hi/init.mp4", init);
    for (int i = 0; i < 3; ++i) {
        const std::string a = MakeTestBytes(500 + static_cast<std::size_t>(i), 10 + i);
        const std::string b = MakeTestBytes(300 + static_cast<std::size_t>(i), 20 + i);
        char name[32];
        std::snprintf(name, sizeof name, "/d/hi/seg%05d.m4s", 7 + i);
        m_server.ServeBytes(name, a);
        m_server.ServeBytes("/d/hi/t" + std::to_string(9000 + i * 2000) + ".m4s", b);
        numbered += a;
        timed += b;
    }
    const std::string whole = MakeTestBytes(3000, 30);
    m_server.ServeBytes("/d/whole.mp4", whole);
    const std::string low =
        "<Representation id=\"lo\" bandwidth=\"100\"><SegmentTemplate "
        "media=\"nothing$Number$\" duration=\"2\"/></Representation>";
    const std::string set =
        "<AdaptationSet mimeType=\"video/mp4\" codecs=\"avc1.64001f,mp4a.40.2\">";
    m_server.ServeBytes("/numbered.mpd",
                        Mpd(set + low +
                            "<Representation id=\"hi\" bandwidth=\"900\"><SegmentTemplate "
                            "startNumber=\"7\" timescale=\"1000\" duration=\"2000\" "
                            "initialization=\"d/$RepresentationID$/init.mp4\" "
                            "media=\"d/$RepresentationID$/seg$Number%05d$.m4s\"/>"
                            "</Representation></AdaptationSet>"));
    m_server.ServeBytes(
        "/timed.mpd", Mpd(set + "<BaseURL>d/hi/</BaseURL><Representation id=\"x\" bandwidth=\"1\">"
                                "<SegmentTemplate timescale=\"1000\" initialization=\"init.mp4\" "
                                "media=\"t$Time$.m4s\"><SegmentTimeline><S t=\"9000\" d=\"2000\" "
                                "r=\"2\"/></SegmentTimeline></SegmentTemplate>"
                                "</Representation></AdaptationSet>"));
    m_server.ServeBytes("/list.mpd",
                        Mpd(set + "<Representation id=\"x\" bandwidth=\"1\"><BaseURL>d/whole.mp4"
                                  "</BaseURL><SegmentList><Initialization range=\"0-99\"/>"
                                  "<SegmentURL mediaRange=\"2000-2999\"/><SegmentURL "
                                  "mediaRange=\"100-1999\"/></SegmentList></Representation>"
                                  "</AdaptationSet>"));
    m_server.ServeBytes("/single.mpd",
                        Mpd(set + "<Representation id=\"x\" bandwidth=\"1\"><BaseURL>/d/whole.mp4"
                                  "</BaseURL><SegmentBase indexRange=\"0-10\"/></Representation>"
                                  "</AdaptationSet>"));
    ASSERT_TRUE(m_server.Start());

    const struct {
        const char* path;
        std::string expected;
    } cases[] = {
        {"/numbered.mpd", numbered},
        {"/timed.mpd", timed},
        {"/list.mpd", whole.substr(0, 100) + whole.substr(2000) + whole.substr(100, 1900)},
        {"/single.mpd", whole},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(Run(c.path, "dash"), FETCH_DONE);
        EXPECT_EQ(ReadFile(m_folder.File("dash.mp4")), c.expected);
        EXPECT_EQ(m_fetcher->Received(), c.expected.size());
        std::filesystem::remove(m_folder.File("dash.mp4"));
    }
    EXPECT_EQ(m_server.Hits("/nothing1"), 0);
}

TEST_F(StreamDownloadTest, DashRefusals) {
    const std::string rep =
        "<Representation id=\"v\" bandwidth=\"1\"><BaseURL>/x.mp4</BaseURL>"
        "</Representation>";
    m_server.ServeBytes("/x.mp4", "data");
    m_server.ServeBytes(
        "/split.mpd",
        Mpd("<AdaptationSet contentType=\"video\" mimeType=\"video/mp4\">" + rep +
            "</AdaptationSet><AdaptationSet mimeType=\"audio/mp4\">" + rep + "</AdaptationSet>"));
    m_server.ServeBytes("/live.mpd",
                        Mpd("<AdaptationSet mimeType=\"video/mp4\">" + rep + "</AdaptationSet>",
                            "type=\"dynamic\""));
    m_server.ServeBytes("/drm.mpd", Mpd("<AdaptationSet mimeType=\"video/mp4\"><ContentProtection "
                                        "schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\"/>" +
                                        rep + "</AdaptationSet>"));
    m_server.ServeBytes("/entity.mpd",
                        "<?xml version=\"1.0\"?><!DOCTYPE MPD [<!ENTITY e SYSTEM "
                        "\"file:///etc/passwd\">]><MPD><Period><AdaptationSet "
                        "mimeType=\"video/mp4\"><Representation><BaseURL>&e;</BaseURL>"
                        "</Representation></AdaptationSet></Period></MPD>");
    ASSERT_TRUE(m_server.Start());

    const struct {
        const char* path;
        const char* reason;
    } cases[] = {
        {"/split.mpd", kSplitStreamRefusal},
        {"/live.mpd", kLiveStreamRefusal},
        {"/drm.mpd", kDrmStreamRefusal},
        // An external entity is never read, so no file is named.
        {"/entity.mpd", "names no media file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture log("tamsel.download");
        EXPECT_EQ(Run(c.path), FETCH_TRANSFER_ERROR);
        EXPECT_TRUE(FolderEntries(m_folder.Path()).empty());
        ASSERT_EQ(log.Warnings().size(), 1u);
        EXPECT_NE(log.Warnings()[0].find(c.reason), std::string::npos) << log.Warnings()[0];
    }
    EXPECT_EQ(m_server.Hits("/x.mp4"), 0);
}

}  // namespace
