// Stop, failure and Start: a download continues from its part file when the server can
// prove the resource is the same, starts over when it cannot, and never splices.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "download/MediaFetcher.h"
#include "tests/download/FetchRecorder.h"
#include "tests/support/ResumableSource.h"
#include "tests/support/TestFiles.h"

using namespace tamsel;
using namespace std::chrono_literals;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ResumableSource;
using testsupport::TempDir;

namespace {

constexpr std::uint64_t kSize = 2 * 1024 * 1024;

class ResumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.Path().empty());
        ASSERT_TRUE(m_source.Start());
    }
    // Runs a first fetch that the source holds at half; ends it with a stop or, when
    // the source drops the connection there, with the failure.
    FetchResume FirstRunToHalf(bool drop, int expected) {
        m_source.HoldAt(kSize / 2, drop);
        FetchRecorder recorder;
        MediaFetcher fetcher;
        fetcher.SetView(&recorder);
        fetcher.SetTask(m_strFolder, m_source.Url("/clip"), "clip.flv", 4, 0);
        EXPECT_TRUE(fetcher.Start());
        if (!drop) {
            for (int i = 0; i < 1000 && fetcher.Received() < kSize / 2; ++i) {
                std::this_thread::sleep_for(10ms);
            }
            EXPECT_EQ(fetcher.Received(), kSize / 2);
            fetcher.RequestStop();
        }
        EXPECT_EQ(recorder.WaitForTerminal(), expected);
        fetcher.Join();
        m_strFailure = fetcher.FailureText();
        const FetchResume resume = fetcher.Resume();
        EXPECT_TRUE(resume.IsSet());
        EXPECT_EQ(ReadFile(resume.strPartPath), ResumableSource::Bytes(kSize, 1, 0, kSize / 2));
        m_source.Release();
        return resume;
    }
    int SecondRun(const FetchResume& resume, MediaFetcher& fetcher) {
        FetchRecorder recorder;
        fetcher.SetResume(resume);
        const int code =
            RunFetcher(fetcher, recorder, m_strFolder, m_source.Url("/clip"), "clip.flv", 4);
        ExpectReportProtocol(recorder.Reports(), 4, fetcher.Serial());
        return code;
    }

    TempDir m_folder;
    std::string m_strFolder = m_folder.Path();
    ResumableSource m_source{kSize, 1};
    std::string m_strFailure;
};

TEST_F(ResumeTest, StopAtHalfThenStartAsksOnlyForTheRest) {
    const FetchResume resume = FirstRunToHalf(false, FETCH_STOPPED);
    MediaFetcher fetcher;
    ASSERT_EQ(SecondRun(resume, fetcher), FETCH_DONE);
    // The answer's type names the container.
    EXPECT_EQ(fetcher.FileName(), "clip.mp4");
    EXPECT_EQ(ReadFile(m_folder.File("clip.mp4")), ResumableSource::Bytes(kSize, 1));
    EXPECT_FALSE(FileExists(resume.strPartPath));
    EXPECT_EQ(m_source.PartialAnswers(), 1);
    EXPECT_LT(m_source.BodyBytesSent(), kSize + kSize / 10);
    EXPECT_FALSE(fetcher.Resume().IsSet());
}

TEST_F(ResumeTest, DroppedConnectionFailsKeepsItsBytesAndResumes) {
    const FetchResume resume = FirstRunToHalf(true, FETCH_TRANSFER_ERROR);
    EXPECT_EQ(m_strFailure, "The connection was lost after 1.0 MB.");
    MediaFetcher fetcher;
    ASSERT_EQ(SecondRun(resume, fetcher), FETCH_DONE);
    EXPECT_EQ(ReadFile(m_folder.File("clip.mp4")), ResumableSource::Bytes(kSize, 1));
    EXPECT_EQ(m_source.PartialAnswers(), 1);
}

// A resource that changed, or a server that cannot prove it did not, starts over.
TEST_F(ResumeTest, WithoutProofOfTheSameResourceTheDownloadStartsOver) {
    const struct {
        const char* name;
        bool change;
        bool validator;
    } cases[] = {{"changed between Stop and Start", true, true},
                 {"no validator offered", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        m_strFolder = folder.Path();
        m_source.ChangeTo(1);
        m_source.OfferValidator(c.validator);
        const FetchResume resume = FirstRunToHalf(false, FETCH_STOPPED);
        if (c.change) {
            m_source.ChangeTo(2);
        }
        MediaFetcher fetcher;
        const int partialBefore = m_source.PartialAnswers();
        ASSERT_EQ(SecondRun(resume, fetcher), FETCH_DONE);
        EXPECT_EQ(m_source.PartialAnswers(), partialBefore);
        EXPECT_EQ(ReadFile(m_strFolder + "/" + fetcher.FileName()),
                  ResumableSource::Bytes(kSize, c.change ? 2 : 1));
        EXPECT_FALSE(FileExists(resume.strPartPath));
    }
}

}  // namespace
