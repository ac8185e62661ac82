// How a fetch ends when it cannot finish: the report, the file, the stop flag.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "download/MediaFetcher.h"
#include "tests/download/FetchRecorder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RawTcpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

using namespace std::chrono_literals;
using testsupport::FileExists;
using testsupport::FullListenQueue;
using testsupport::LogCapture;
using testsupport::MakeTestBytes;
using testsupport::RawTcpServer;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TestHttpServer;
using testsupport::WriteFile;

namespace {

class FetchFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.Path().empty());
        m_server.ServeStatus("/missing.flv", 404, "not here");
        m_server.ServeStatus("/broken.flv", 500);
        m_server.ServeStatus("/nocontent.flv", 204);
        m_server.ServeTruncated("/short.flv", 100000, MakeTestBytes(30000));
        m_server.ServeStallAfterHeaders("/stall.flv", 100000, MakeTestBytes(5000));
        m_server.ServeNoAnswer("/silent.flv");
        m_server.ServeRedirect("/loop.flv", "/loop.flv");
        m_server.ServeRedirect("/ftp.flv", "ftp://127.0.0.1/file.flv");
        m_server.ServeBytes("/big.flv", MakeTestBytes(512 * 1024));
        m_server.ServeSlow("/slow.flv", 1 << 20, 1024, 10ms);
        m_server.ServeWithBasicAuth("/secret.flv", "u", "p", "data");
        ASSERT_TRUE(m_server.Start());
    }

    TempDir m_folder;
    TestHttpServer m_server;
};

struct FailureCase {
    const char* name;
    std::function<std::string()> url;
    int expected;
    int stopAfterwards;
};

TEST_F(FetchFailureTest, EachFailureHasItsReportAndLeavesNoFile) {
    RawTcpServer garbage(RawTcpServer::Reply("SPAM SPAM SPAM\r\n\r\n"));
    RawTcpServer hangUp(RawTcpServer::Reply(""));
    ASSERT_TRUE(garbage.Start());
    ASSERT_TRUE(hangUp.Start());
    FullListenQueue unreachable;
    ASSERT_TRUE(unreachable.Ready());
    TestHttpServer untrusted(true);
    untrusted.ServeBytes("/v.flv", "data");
    ASSERT_TRUE(untrusted.Start());
    // A port that was just free: nothing listens there.
    int closedPort = 0;
    {
        RawTcpServer probe(RawTcpServer::Silent());
        ASSERT_TRUE(probe.Start());
        closedPort = probe.Port();
    }

    const auto path = [this](const char* p) { return [this, p] { return m_server.Url(p); }; };
    const FailureCase cases[] = {
        {"unparsable even as http", [] { return std::string("http://exa mple.com/v.flv"); },
         FETCH_BAD_URL, 1},
        {"unparsable without scheme", [] { return std::string("::::"); }, FETCH_BAD_URL, 1},
        {"status 404", path("/missing.flv"), FETCH_BAD_STATUS, 0},
        {"status 500", path("/broken.flv"), FETCH_BAD_STATUS, 0},
        {"status 204", path("/nocontent.flv"), FETCH_BAD_STATUS, 0},
        {"endless redirects", path("/loop.flv"), FETCH_BAD_STATUS, 0},
        {"redirect to ftp", path("/ftp.flv"), FETCH_BAD_STATUS, 0},
        {"connection refused",
         [closedPort] { return "http://127.0.0.1:" + std::to_string(closedPort) + "/v.flv"; },
         FETCH_CONNECT_ERROR, 0},
        {"connect timeout",
         [&unreachable] {
             return "http://127.0.0.1:" + std::to_string(unreachable.Port()) + "/v.flv";
         },
         FETCH_CONNECT_ERROR, 0},
        {"certificate nobody vouches for", [&untrusted] { return untrusted.Url("/v.flv"); },
         FETCH_CONNECT_ERROR, 0},
        {"closed without an answer", [&hangUp] { return hangUp.Url("/v.flv"); }, FETCH_SEND_ERROR,
         0},
        {"no status line", [&garbage] { return garbage.Url("/v.flv"); }, FETCH_STATUS_ERROR, 0},
        {"body shorter than announced", path("/short.flv"), FETCH_TRANSFER_ERROR, 0},
        {"no byte after the headers", path("/stall.flv"), FETCH_TRANSFER_ERROR, 0},
        {"no answer at all", path("/silent.flv"), FETCH_TRANSFER_ERROR, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A file of that name from before is never touched.
        ASSERT_TRUE(WriteFile(m_folder.File("out.flv"), "old"));
        MediaFetcher fetcher;
        fetcher.SetTimeouts(300ms, 700ms);
        FetchRecorder recorder;
        EXPECT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), c.url(), "out.flv"), c.expected);
        EXPECT_EQ(fetcher.IsStopped(), c.stopAfterwards);
        ExpectReportProtocol(recorder.Reports(), 3, fetcher.Serial());
        EXPECT_EQ(ReadFile(m_folder.File("out.flv")), "old");
        EXPECT_FALSE(FileExists(m_folder.File("out.flv.part")));
        // Bytes that arrived stay in the part file for a Start; an empty one goes.
        const FetchResume resume = fetcher.Resume();
        EXPECT_EQ(resume.IsSet(), FileExists(m_folder.File("out[2].flv.part")));
        if (resume.IsSet()) {
            EXPECT_FALSE(ReadFile(resume.strPartPath).empty());
            ASSERT_EQ(unlink(resume.strPartPath.c_str()), 0);
        }
        EXPECT_FALSE(fetcher.FailureText().empty());
    }
}

// A failed run writes one warning naming its task, its address and why; a run that
// completes writes none.
TEST_F(FetchFailureTest, EachFailureLogsOneWarningWithTaskAddressAndReason) {
    int closedPort = 0;
    {
        RawTcpServer probe(RawTcpServer::Silent());
        ASSERT_TRUE(probe.Start());
        closedPort = probe.Port();
    }
    const struct {
        const char* name;
        std::string folder;
        std::string url;
        const char* reason;  // null: no warning at all
    } cases[] = {
        {"status 404", m_folder.Path(), m_server.Url("/missing.flv"), "404"},
        {"connection refused", m_folder.Path(),
         "http://127.0.0.1:" + std::to_string(closedPort) + "/v.flv", "connect"},
        {"folder missing", m_folder.File("no/such"), m_server.Url("/big.flv"),
         "No such file or directory"},
        {"complete", m_folder.Path(), m_server.Url("/big.flv"), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log("tamsel.download");
        MediaFetcher fetcher;
        FetchRecorder recorder;
        ASSERT_NE(RunFetcher(fetcher, recorder, c.folder, c.url, "out.flv", 7), 0);
        const std::vector<std::string> warnings = log.Warnings();
        if (c.reason == nullptr) {
            EXPECT_TRUE(warnings.empty());
            continue;
        }
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("task 7 "), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find(c.url), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find(c.reason), std::string::npos) << warnings[0];
    }
}

TEST_F(FetchFailureTest, AFolderThatCannotHoldTheFileIsAFileError) {
    FetchRecorder recorder;
    MediaFetcher fetcher;
    EXPECT_EQ(RunFetcher(fetcher, recorder, m_folder.File("no/such/folder"),
                         m_server.Url("/big.flv"), "out.flv"),
              FETCH_FILE_ERROR);
    EXPECT_EQ(fetcher.IsStopped(), 0);
    EXPECT_EQ(m_server.Hits("/big.flv"), 0);
}

// A link planted at the part file's name (here to /dev/full) is never followed.
TEST_F(FetchFailureTest, APlantedLinkAtThePartFileIsNotFollowed) {
    ASSERT_EQ(symlink("/dev/full", m_folder.File("full.flv.part").c_str()), 0);
    FetchRecorder recorder;
    MediaFetcher fetcher;
    EXPECT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/big.flv"), "full.flv"),
              FETCH_DONE);
    EXPECT_EQ(fetcher.FileName(), "full[2].flv");
    EXPECT_FALSE(FileExists(m_folder.File("full.flv")));
    ExpectReportProtocol(recorder.Reports(), 3, fetcher.Serial());
}

TEST_F(FetchFailureTest, AStopRequestedBeforeTheRunEndsItBeforeAnyRequest) {
    FetchRecorder recorder;
    MediaFetcher fetcher;
    fetcher.SetView(&recorder);
    fetcher.SetTask(m_folder.Path(), m_server.Url("/big.flv"), "out.flv", 3, 1);
    fetcher.Download();
    EXPECT_EQ(recorder.WaitForTerminal(0ms), FETCH_STOPPED);
    EXPECT_EQ(m_server.Hits("/big.flv"), 0);
    EXPECT_FALSE(FileExists(m_folder.File("out.flv")));
    EXPECT_TRUE(fetcher.IsThreadFinished());
}

// Each row stops the fetcher once it waits at a different place.
TEST_F(FetchFailureTest, AStopIsHonouredWhereverTheFetcherWaits) {
    FullListenQueue unreachable;
    ASSERT_TRUE(unreachable.Ready());
    const struct {
        const char* name;
        std::string url;
        int reportToWaitFor;  // stop once this report came; 0: stop at once
    } cases[] = {
        {"while connecting", "http://127.0.0.1:" + std::to_string(unreachable.Port()) + "/v.flv",
         0},
        {"while the server keeps silent", m_server.Url("/silent.flv"), 0},
        {"between two blocks", m_server.Url("/slow.flv"), FETCH_DATA},
        {"while the body stalls", m_server.Url("/stall.flv"), FETCH_DATA},
        {"while waiting for credentials", m_server.Url("/secret.flv"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FetchRecorder recorder;
        MediaFetcher fetcher;  // default timeouts of 30 and 60 seconds
        recorder.AcknowledgeDataOf(&fetcher);
        fetcher.SetView(&recorder);
        fetcher.SetTask(m_folder.Path(), c.url, "out.flv", 3, 0);
        ASSERT_TRUE(fetcher.Start());
        if (c.reportToWaitFor != 0) {
            ASSERT_TRUE(recorder.WaitForCount(c.reportToWaitFor, 1));
        } else {
            std::this_thread::sleep_for(150ms);
        }
        fetcher.RequestStop();
        EXPECT_EQ(recorder.WaitForTerminal(5s), FETCH_STOPPED);
        fetcher.m_pThread.join();
        EXPECT_FALSE(FileExists(m_folder.File("out.flv")));
        EXPECT_EQ(fetcher.IsStopped(), 1);
        ExpectReportProtocol(recorder.Reports(), 3, fetcher.Serial());
    }
}

TEST_F(FetchFailureTest, DestroyingARunningFetcherStopsAndJoinsIt) {
    FetchRecorder recorder;
    {
        MediaFetcher fetcher;
        fetcher.SetView(&recorder);
        fetcher.SetTask(m_folder.Path(), m_server.Url("/slow.flv"), "out.flv", 3, 0);
        ASSERT_TRUE(fetcher.Start());
        ASSERT_TRUE(recorder.WaitForCount(FETCH_DATA, 1));
    }
    EXPECT_EQ(recorder.WaitForTerminal(0ms), FETCH_STOPPED);
    EXPECT_FALSE(FileExists(m_folder.File("out.flv")));
}

}  // namespace

namespace {

// Reads the request, then sends `head` and after it `drip` one piece at a time, one
// piece per `pause`, until the server stops: a server that keeps a task barely alive.
RawTcpServer::ConnectionHandler Dripping(std::string head, std::string drip,
                                         std::chrono::milliseconds pause) {
    return [head, drip, pause](int socket, const std::atomic<bool>& stopping) {
        char request[4096];
        if (recv(socket, request, sizeof request, 0) <= 0 ||
            send(socket, head.data(), head.size(), MSG_NOSIGNAL) < 0) {
            return;
        }
        while (!stopping.load()) {
            for (auto waited = 0ms; waited < pause && !stopping.load(); waited += 10ms) {
                std::this_thread::sleep_for(10ms);
            }
            if (send(socket, drip.data(), drip.size(), MSG_NOSIGNAL) < 0) {
                return;
            }
        }
    };
}

// Any byte resets a plain stall timer; these servers never stop sending, yet each
// fails its task with the reason in the log, under limits shortened for the test.
TEST(FetchFloorTest, DrippingServersFailTheTask) {
    const struct {
        const char* name;
        std::string head;
        std::string drip;
        std::chrono::milliseconds pause;
        const char* reason;
    } cases[] = {
        {"a header line now and then", "HTTP/1.1 200 OK\r\n", "X-Wait: 1\r\n", 100ms,
         "answer's head"},
        {"a body byte now and then",
         "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nContent-Type: video/x-flv\r\n\r\n", "x",
         100ms, "too slow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        RawTcpServer server(Dripping(c.head, c.drip, c.pause));
        ASSERT_TRUE(server.Start());
        MediaFetcher fetcher;
        fetcher.SetTimeouts(1000ms, 3000ms);
        fetcher.SetFloor({1500ms, 1024});
        FetchRecorder recorder;
        LogCapture log("tamsel.download");
        EXPECT_EQ(RunFetcher(fetcher, recorder, folder.Path(), server.Url("/v.flv"), "out.flv"),
                  FETCH_TRANSFER_ERROR);
        ASSERT_EQ(log.Warnings().size(), 1u);
        EXPECT_NE(log.Warnings()[0].find(c.reason), std::string::npos) << log.Warnings()[0];
        EXPECT_FALSE(FileExists(folder.File("out.flv")));
        server.Stop();
    }
}

}  // namespace
