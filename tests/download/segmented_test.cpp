// Files fetched over several connections: every answer proves it is the asked piece of
// the same resource, or the rest goes over one connection; the result is always the
// right bytes in one file, with no part file left beside it.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "download/MediaFetcher.h"
#include "download/ServerSlots.h"
#include "tests/download/FetchRecorder.h"
#include "tests/support/ResumableSource.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;
using namespace std::chrono_literals;
using testsupport::ReadFile;
using testsupport::ResumableSource;
using testsupport::TempDir;

namespace {

constexpr std::uint64_t kSize = 8 * 1024 * 1024;

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class SegmentedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.Path().empty());
        ASSERT_TRUE(m_source.Start());
    }
    int Fetch(MediaFetcher& fetcher, const std::string& url) {
        FetchRecorder recorder;
        recorder.AcknowledgeDataOf(&fetcher);
        const int code = RunFetcher(fetcher, recorder, m_folder.Path(), url, "clip.flv", 4);
        ExpectReportProtocol(recorder.Reports(), 4, fetcher.Serial());
        return code;
    }
    // The folder holds exactly the finished file, with these bytes.
    void ExpectOnlyFile(const MediaFetcher& fetcher, const std::string& bytes) {
        EXPECT_EQ(FolderNames(m_folder.Path()), std::vector<std::string>{fetcher.FileName()});
        EXPECT_TRUE(ReadFile(m_folder.File(fetcher.FileName())) == bytes);
        EXPECT_FALSE(fetcher.Resume().IsSet());
    }

    // Runs a download of /clip until half of it is in and stops it; hands back what a
    // Start needs and how much was kept.
    void StopAtHalf(FetchResume& resume, std::uint64_t& kept) {
        FetchRecorder recorder;
        MediaFetcher fetcher;
        fetcher.SetView(&recorder);
        fetcher.SetTask(m_folder.Path(), m_source.Url("/clip"), "clip.flv", 4, 0);
        ASSERT_TRUE(fetcher.Start());
        for (int i = 0; i < 1000 && fetcher.Received() < kSize / 2; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        fetcher.RequestStop();
        ASSERT_EQ(recorder.WaitForTerminal(), FETCH_STOPPED);
        fetcher.Join();
        ExpectReportProtocol(recorder.Reports(), 4, fetcher.Serial());
        resume = fetcher.Resume();
        kept = fetcher.Received();
    }

    TempDir m_folder;
    ResumableSource m_source{kSize, 1};
};

TEST_F(SegmentedTest, RangesHonouredFetchesPiecesInParallelIntoOneFile) {
    MediaFetcher fetcher;
    ASSERT_EQ(Fetch(fetcher, m_source.Url("/clip")), FETCH_DONE);
    ExpectOnlyFile(fetcher, ResumableSource::Bytes(kSize, 1));
    EXPECT_EQ(fetcher.FileName(), "clip.mp4");
    EXPECT_EQ(fetcher.Received(), kSize);
    EXPECT_EQ(fetcher.Length(), kSize);
    EXPECT_GE(m_source.PartialAnswers(), 8);
    const std::string server = "http://127.0.0.1:" + std::to_string(m_source.Port());
    EXPECT_EQ(CServerSlots::Instance().Peak(server), 8);
}

// Servers that do not serve pieces as they say: the download still ends whole and right.
TEST_F(SegmentedTest, MisbehavingServersEndWithTheRightBytes) {
    const struct {
        const char* name;
        void (*arrange)(ResumableSource&);
        unsigned version;  // of the bytes that must end up in the file
    } cases[] = {
        {"200 to ranged requests", [](ResumableSource& s) { s.IgnoreRanges(true); }, 1},
        {"resource changed after the first answer",
         [](ResumableSource& s) { s.ChangeAtRequest(2, 2); }, 2},
        {"changed, and the server sends pieces of the new one anyway",
         [](ResumableSource& s) {
             s.HonourIfRange(false);
             s.ChangeAtRequest(3, 3);
         },
         3},
        {"a piece cut short", [](ResumableSource& s) { s.HoldAt(kSize * 5 / 8 + 12345, true); }, 1},
        {"503 to five extra connections", [](ResumableSource& s) { s.RefuseRequests(4, 8, 503); },
         1},
        {"429 to seven extra connections", [](ResumableSource& s) { s.RefuseRequests(3, 9, 429); },
         1},
        {"503 to every ranged request", [](ResumableSource& s) { s.RefuseRanged(503); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        ResumableSource source(kSize, 1);
        c.arrange(source);
        ASSERT_TRUE(source.Start());
        MediaFetcher fetcher;
        FetchRecorder recorder;
        ASSERT_EQ(RunFetcher(fetcher, recorder, folder.Path(), source.Url("/clip"), "clip.flv", 4),
                  FETCH_DONE)
            << fetcher.FailureText();
        ExpectReportProtocol(recorder.Reports(), 4, fetcher.Serial());
        EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"clip.mp4"});
        EXPECT_TRUE(ReadFile(folder.File("clip.mp4")) == ResumableSource::Bytes(kSize, c.version));
        EXPECT_EQ(fetcher.Received(), kSize);
    }
}

TEST_F(SegmentedTest, StopInTheMiddleThenStartFetchesOnlyTheMissingPieces) {
    // A piece is held before the middle, so the stop finds holes in the part file.
    m_source.HoldAt(kSize * 3 / 8 + 4096);
    FetchResume resume;
    std::uint64_t kept = 0;
    ASSERT_NO_FATAL_FAILURE(StopAtHalf(resume, kept));
    m_source.Release();
    ASSERT_TRUE(resume.IsSet());
    ASSERT_GE(kept, kSize / 2);
    ASSERT_LT(kept, kSize);
    EXPECT_FALSE(resume.doneRanges.empty()) << "the held piece leaves a hole";
    // What the record says is done is in the part file, byte for byte.
    const std::string part = ReadFile(resume.strPartPath);
    const std::vector<ByteRange> done =
        resume.doneRanges.empty() ? std::vector<ByteRange>{{0, part.size()}} : resume.doneRanges;
    EXPECT_EQ(CoveredBytes(done), kept);
    for (const ByteRange& r : done) {
        ASSERT_LE(r.end, part.size());
        EXPECT_TRUE(part.substr(r.first, r.Size()) ==
                    ResumableSource::Bytes(kSize, 1, r.first, r.Size()));
    }

    const std::uint64_t sentBefore = m_source.BodyBytesSent();
    MediaFetcher fetcher;
    fetcher.SetResume(resume);
    ASSERT_EQ(Fetch(fetcher, m_source.Url("/clip")), FETCH_DONE);
    ExpectOnlyFile(fetcher, ResumableSource::Bytes(kSize, 1));
    EXPECT_EQ(fetcher.StartOffset(), kept);
    EXPECT_EQ(fetcher.Received(), kSize);
    // Starting over would send the whole file again.
    EXPECT_LT(m_source.BodyBytesSent() - sentBefore, kSize);
}

TEST_F(SegmentedTest, ResumeRefusedByTheServerFailsWithItsAnswerAndKeepsThePart) {
    m_source.HoldAt(kSize * 3 / 8 + 4096);
    FetchResume resume;
    std::uint64_t kept = 0;
    ASSERT_NO_FATAL_FAILURE(StopAtHalf(resume, kept));
    m_source.Release();
    m_source.RefuseRanged(503);
    MediaFetcher fetcher;
    fetcher.SetResume(resume);
    // A resume asks for a range only when the part file holds bytes from its start; the
    // stop may come before the first piece had any, and then the whole answer serves.
    const bool ranged = resume.doneRanges.empty() || resume.doneRanges.front().first == 0;
    if (!ranged) {
        ASSERT_EQ(Fetch(fetcher, m_source.Url("/clip")), FETCH_DONE);
        ExpectOnlyFile(fetcher, ResumableSource::Bytes(kSize, 1));
        return;
    }
    ASSERT_EQ(Fetch(fetcher, m_source.Url("/clip")), FETCH_BAD_STATUS);
    EXPECT_EQ(fetcher.FailureText(), "The server answered 503 Service Unavailable.");
    // The part file stays, as the task's, for a later Start; nothing else is there.
    const FetchResume left = fetcher.Resume();
    ASSERT_TRUE(left.IsSet());
    EXPECT_EQ(FolderNames(m_folder.Path()),
              std::vector<std::string>{std::filesystem::path(left.strPartPath).filename()});
    m_source.RefuseRanged(0);
    MediaFetcher last;
    last.SetResume(left);
    ASSERT_EQ(Fetch(last, m_source.Url("/clip")), FETCH_DONE);
    ExpectOnlyFile(last, ResumableSource::Bytes(kSize, 1));
}

TEST_F(SegmentedTest, OneConnectionWhereSplittingCannotHelp) {
    testsupport::TestHttpServer server;
    const std::string chunked = testsupport::MakeTestBytes(kSize, 5);
    server.Get("/chunked", [&chunked](const httplib::Request&, httplib::Response& response) {
        response.set_header("Accept-Ranges", "bytes");
        response.set_header("ETag", "\"c\"");
        response.set_chunked_content_provider(
            "video/mp4", [&chunked](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= chunked.size()) {
                    sink.done();
                    return true;
                }
                return sink.write(chunked.data() + offset,
                                  std::min<std::size_t>(65536, chunked.size() - offset));
            });
    });
    ASSERT_TRUE(server.Start());
    ResumableSource small(kSize / 4, 1);
    ASSERT_TRUE(small.Start());
    const struct {
        const char* name;
        std::string url;
        std::string bytes;
        const std::function<int()> requests;
        int maxConnections;
    } cases[] = {
        {"unknown length", server.Url("/chunked"), chunked,
         [&server] { return server.Hits("/chunked"); }, 8},
        {"file under 4 MiB", small.Url("/clip"), ResumableSource::Bytes(kSize / 4, 1),
         [&small] { return small.Requests(); }, 8},
        {"one connection asked for", m_source.Url("/clip"), ResumableSource::Bytes(kSize, 1),
         [this] { return m_source.Requests(); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        MediaFetcher fetcher;
        fetcher.SetMaxConnections(c.maxConnections);
        FetchRecorder recorder;
        ASSERT_EQ(RunFetcher(fetcher, recorder, folder.Path(), c.url, "clip.flv", 4), FETCH_DONE);
        EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{fetcher.FileName()});
        EXPECT_TRUE(ReadFile(folder.File(fetcher.FileName())) == c.bytes);
        EXPECT_EQ(c.requests(), 1);
    }
}

TEST_F(SegmentedTest, DownloadsFromOneServerShareItsConnectionCap) {
    // Paced so that both downloads are under way together.
    m_source.PaceEachConnection(8 * 1024 * 1024);
    MediaFetcher first, second;
    FetchRecorder firstRecorder, secondRecorder;
    TempDir otherFolder;
    first.SetView(&firstRecorder);
    second.SetView(&secondRecorder);
    first.SetTask(m_folder.Path(), m_source.Url("/clip"), "a.flv", 4, 0);
    second.SetTask(otherFolder.Path(), m_source.Url("/clip"), "b.flv", 5, 0);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(firstRecorder.WaitForTerminal(30s), FETCH_DONE);
    EXPECT_EQ(secondRecorder.WaitForTerminal(30s), FETCH_DONE);
    first.Join();
    second.Join();
    // Extra connections need one of the server's eight slots; each download may always
    // have one connection, so a download never waits for another to end.
    const std::string server = "http://127.0.0.1:" + std::to_string(m_source.Port());
    EXPECT_EQ(CServerSlots::Instance().Peak(server), 8);
    EXPECT_EQ(CServerSlots::Instance().InUse(server), 0);
    EXPECT_GT(m_source.PeakConnections(), 2);
    EXPECT_TRUE(ReadFile(m_folder.File("a.mp4")) == ResumableSource::Bytes(kSize, 1));
    EXPECT_TRUE(ReadFile(otherFolder.File("b.mp4")) == ResumableSource::Bytes(kSize, 1));
}

}  // namespace
