// The fetcher against real servers on the loopback interface, writing real files.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/MediaFetcher.h"
#include "tests/download/FetchRecorder.h"
#include "tests/support/RawTcpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

using testsupport::FileExists;
using testsupport::MakeTestBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TestHttpServer;
using testsupport::WriteFile;

namespace {

class MediaFetcherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.Path().empty()); }
    void StartServer() { ASSERT_TRUE(m_server.Start()); }

    TempDir m_folder;
    TestHttpServer m_server;
};

TEST_F(MediaFetcherTest, WritesExactlyTheServedBytes) {
    const std::string data = MakeTestBytes(300 * 1024 + 17);
    m_server.ServeBytes("/fixed.flv", data);
    m_server.ServeChunked("/chunked.flv", data, 5000);
    m_server.ServeBytes("/empty.flv", "");
    m_server.ServeRedirect("/moved.flv", "/hop.flv", 301);
    m_server.ServeRedirect("/hop.flv", "/fixed.flv", 307);
    StartServer();
    // An old-style answer whose body simply runs until the server closes.
    testsupport::RawTcpServer closing(testsupport::RawTcpServer::Reply(
        "HTTP/1.0 200 OK\r\nContent-Type: video/x-flv\r\n\r\n" + data));
    ASSERT_TRUE(closing.Start());
    // A redirect announcing a length of its own, to a body without one: the redirect's
    // length is not the media's.
    testsupport::RawTcpServer announcing(testsupport::RawTcpServer::Reply(
        "HTTP/1.1 302 Found\r\nLocation: " + m_server.Url("/chunked.flv") +
        "\r\nContent-Length: 5\r\nConnection: close\r\n\r\nmoved"));
    ASSERT_TRUE(announcing.Start());

    const struct {
        std::string url;
        const std::string& body;
        bool lengthKnown;
    } cases[] = {
        {m_server.Url("/fixed.flv"), data, true},
        // No Content-Length: no FETCH_LENGTH, still complete.
        {m_server.Url("/chunked.flv"), data, false},
        {closing.Url("/old.flv"), data, false},
        {m_server.Url("/empty.flv"), "", false},
        {m_server.Url("/moved.flv"), data, true},  // redirects are followed
        {announcing.Url("/moved.flv"), data, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        FetchRecorder recorder;
        MediaFetcher fetcher;
        recorder.AcknowledgeDataOf(&fetcher);
        ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), c.url, "out.flv"), FETCH_DONE);
        EXPECT_TRUE(fetcher.IsThreadFinished());
        EXPECT_EQ(fetcher.FileName(), "out.flv");
        EXPECT_EQ(ReadFile(m_folder.File("out.flv")), c.body);
        EXPECT_FALSE(FileExists(m_folder.File("out.flv.part")));
        ASSERT_EQ(unlink(m_folder.File("out.flv").c_str()), 0);
        EXPECT_EQ(fetcher.Received(), c.body.size());
        EXPECT_EQ(fetcher.ReceivedUnlocked(), c.body.size());
        EXPECT_EQ(fetcher.Length(), c.lengthKnown ? c.body.size() : 0u);
        EXPECT_EQ(recorder.Count(FETCH_LENGTH), c.lengthKnown ? 1 : 0);
        // The progress text ends at the full count, whatever was left out on the way.
        const auto seen = recorder.ReceivedAtData();
        if (c.body.empty()) {
            EXPECT_TRUE(seen.empty());
        } else {
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.back(), c.body.size());
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        }
        EXPECT_FALSE(fetcher.IsStopped());
        ExpectReportProtocol(recorder.Reports(), 3, fetcher.Serial());
    }
}

// Always the whole file, fresh from the server, under the program's name.
TEST_F(MediaFetcherTest, AsksForTheWholeFileAsTamsel) {
    std::mutex lock;
    httplib::Headers seen;
    std::string method;
    m_server.Get("/v.flv", [&](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard<std::mutex> guard(lock);
        seen = request.headers;
        method = request.method;
        response.set_content("payload", "video/x-flv");
    });
    StartServer();
    FetchRecorder recorder;
    MediaFetcher fetcher;
    ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/v.flv"), "v.flv"),
              FETCH_DONE);
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(method, "GET");
    auto header = [&](const char* name) {
        auto it = seen.find(name);
        return it == seen.end() ? std::string("(none)") : it->second;
    };
    EXPECT_EQ(header("User-Agent"), "Tamsel");
    EXPECT_EQ(header("Range"), "(none)");
    EXPECT_EQ(header("Authorization"), "(none)");
}

TEST_F(MediaFetcherTest, PostsNoNewDataReportWhileOneIsUnhandled) {
    const std::string data = MakeTestBytes(200 * 1024);
    m_server.ServeBytes("/v.flv", data);
    StartServer();

    FetchRecorder recorder;  // never acknowledges
    MediaFetcher fetcher;
    ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/v.flv"), "v.flv"),
              FETCH_DONE);
    EXPECT_EQ(recorder.Count(FETCH_DATA), 1);
    EXPECT_EQ(fetcher.Received(), data.size());
    ExpectReportProtocol(recorder.Reports(), 3, fetcher.Serial());
}

// Whatever holds the name (a file, a link to a file elsewhere, a FIFO) stays as it was;
// the download completes under the next free name.
TEST_F(MediaFetcherTest, NeverTouchesWhatHoldsItsName) {
    const std::string data = MakeTestBytes(4000, 2);
    m_server.ServeBytes("/v.flv", data);
    StartServer();
    TempDir elsewhere;
    ASSERT_TRUE(WriteFile(elsewhere.File("victim"), "precious"));
    ASSERT_TRUE(WriteFile(m_folder.File("file.flv"), "old"));
    ASSERT_EQ(symlink(elsewhere.File("victim").c_str(), m_folder.File("link.flv").c_str()), 0);
    ASSERT_EQ(symlink(elsewhere.File("victim").c_str(), m_folder.File("part.flv.part").c_str()), 0);
    ASSERT_EQ(mkfifo(m_folder.File("fifo.flv").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(m_folder.File("fifopart.flv.part").c_str(), 0644), 0);
    for (const std::string name : {"file", "link", "part", "fifo", "fifopart"}) {
        SCOPED_TRACE(name);
        FetchRecorder recorder;
        MediaFetcher fetcher;
        ASSERT_EQ(
            RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/v.flv"), name + ".flv"),
            FETCH_DONE);
        EXPECT_EQ(fetcher.FileName(), name + "[2].flv");
        EXPECT_EQ(ReadFile(m_folder.File(name + "[2].flv")), data);
    }
    EXPECT_EQ(ReadFile(m_folder.File("file.flv")), "old");
    EXPECT_EQ(ReadFile(elsewhere.File("victim")), "precious");
}

// Ten downloads of one name at once: ten whole files, none overwritten.
TEST_F(MediaFetcherTest, SameNameDownloadsAtOnceGiveDistinctWholeFiles) {
    const std::string data = MakeTestBytes(300 * 1024, 3);
    m_server.ServeChunked("/v.flv", data, 8192);
    StartServer();
    constexpr int kCount = 10;
    std::vector<std::unique_ptr<FetchRecorder>> recorders;
    std::vector<std::unique_ptr<MediaFetcher>> fetchers;
    for (int i = 0; i < kCount; ++i) {
        recorders.push_back(std::make_unique<FetchRecorder>());
        fetchers.push_back(std::make_unique<MediaFetcher>());
        fetchers[i]->SetView(recorders[i].get());
        fetchers[i]->SetTask(m_folder.Path(), m_server.Url("/v.flv"), "Same.flv", i, 0);
        ASSERT_TRUE(fetchers[i]->Start());
    }
    std::set<std::string> names;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(recorders[i]->WaitForTerminal(), FETCH_DONE);
        fetchers[i]->Join();
        names.insert(fetchers[i]->FileName());
        EXPECT_EQ(ReadFile(m_folder.File(fetchers[i]->FileName())), data);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kCount));
}

TEST_F(MediaFetcherTest, BuildsOnePathFromFolderAndName) {
    m_server.ServeBytes("/v.flv", "payload");
    StartServer();
    const std::string folders[] = {m_folder.Path(), m_folder.Path() + "/", " " + m_folder.Path()};
    const std::string names[] = {"a.flv", "a.flv  "};
    for (const auto& folder : folders) {
        for (const auto& name : names) {
            FetchRecorder recorder;
            MediaFetcher fetcher;
            ASSERT_EQ(RunFetcher(fetcher, recorder, folder, m_server.Url("/v.flv"), name),
                      FETCH_DONE);
            EXPECT_EQ(fetcher.m_strPath, m_folder.File("a.flv.part"));
            EXPECT_EQ(fetcher.FileName(), "a.flv");
            EXPECT_EQ(ReadFile(m_folder.File("a.flv")), "payload");
            ASSERT_EQ(unlink(m_folder.File("a.flv").c_str()), 0);
        }
    }
}

TEST_F(MediaFetcherTest, FetchesAnAddressWithoutSchemeOverHttp) {
    m_server.ServeBytes("/v.flv", "payload");
    StartServer();
    const std::string bare = "127.0.0.1:" + std::to_string(m_server.Port()) + "/v.flv";
    FetchRecorder recorder;
    MediaFetcher fetcher;
    ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), bare, "v.flv"), FETCH_DONE);
    EXPECT_EQ(fetcher.m_strMediaUrl, "http://" + bare);
    EXPECT_EQ(ReadFile(m_folder.File("v.flv")), "payload");
}

TEST_F(MediaFetcherTest, SendsTheSameRequestAgainWithTheUsersCredentials) {
    const std::string data = MakeTestBytes(50000, 3);
    m_server.ServeWithBasicAuth("/secret.flv", "ann", "pa:ss", data);
    StartServer();

    FetchRecorder recorder;
    MediaFetcher fetcher;
    recorder.QueueAnswer({true, "ann", "wrong"});  // refused again: asked again
    recorder.QueueAnswer({true, "ann", "pa:ss"});
    ASSERT_EQ(
        RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/secret.flv"), "s.flv", 8),
        FETCH_DONE);
    EXPECT_EQ(ReadFile(m_folder.File("s.flv")), data);
    // The first ask, then curl learns the offered scheme once without credentials before
    // sending them: never Basic unasked.
    EXPECT_EQ(m_server.Hits("/secret.flv"), 4);
    const auto questions = recorder.Questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0]->ReportId(), 8);
    EXPECT_FALSE(questions[0]->IsProxy());
    EXPECT_EQ(questions[0]->Url(), m_server.Url("/secret.flv"));
    EXPECT_EQ(recorder.Count(FETCH_LENGTH), 1);
    ExpectReportProtocol(recorder.Reports(), 8, fetcher.Serial());
}

TEST_F(MediaFetcherTest, CancelledCredentialsFailTheTaskAndLeaveNoFile) {
    m_server.ServeWithBasicAuth("/secret.flv", "ann", "pw", "data");
    StartServer();
    FetchRecorder recorder;
    MediaFetcher fetcher;
    recorder.QueueAnswer({false, "", ""});
    ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/secret.flv"), "s.flv"),
              FETCH_BAD_STATUS);
    EXPECT_FALSE(FileExists(m_folder.File("s.flv")));
    EXPECT_EQ(recorder.Questions().size(), 1u);
    EXPECT_EQ(recorder.Count(FETCH_DATA), 0);
}

// Records the Authorization header of every request it sees.
struct AuthLog {
    void Note(const httplib::Request& request) {
        std::lock_guard<std::mutex> guard(lock);
        headers.push_back(request.get_header_value("Authorization"));
    }
    std::vector<std::string> Seen() const {
        std::lock_guard<std::mutex> guard(lock);
        return headers;
    }
    mutable std::mutex lock;
    std::vector<std::string> headers;
};

// The media address redirects to another server, which asks for Digest: the password
// must go to that server only, as Digest, and the prompt must name it.
TEST_F(MediaFetcherTest, CredentialsGoOnlyToTheHostThatAskedInTheSchemeItOffers) {
    const std::string data = MakeTestBytes(20000, 5);
    TestHttpServer asking;
    AuthLog first, second;
    asking.Get("/clip.flv", [&](const httplib::Request& request, httplib::Response& response) {
        second.Note(request);
        const std::string auth = request.get_header_value("Authorization");
        if (auth.rfind("Digest ", 0) == 0 && auth.find("username=\"ann\"") != std::string::npos &&
            auth.find("realm=\"Vault <b>x</b>\"") != std::string::npos) {
            response.set_content(data, "video/x-flv");
            return;
        }
        response.status = 401;
        response.set_header("WWW-Authenticate",
                            "Digest realm=\"Vault <b>x</b>\", nonce=\"6d0f1a\", qop=\"auth\", "
                            "algorithm=MD5");
        response.set_content("login", "text/plain");
    });
    ASSERT_TRUE(asking.Start());
    m_server.Get("/clip.flv", [&](const httplib::Request& request, httplib::Response& response) {
        first.Note(request);
        response.set_redirect(asking.Url("/clip.flv"), 302);
    });
    StartServer();

    FetchRecorder recorder;
    MediaFetcher fetcher;
    recorder.QueueAnswer({true, "ann", "s3cret-pw"});
    ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/clip.flv"), "c.flv"),
              FETCH_DONE);
    EXPECT_EQ(ReadFile(m_folder.File("c.flv")), data);

    for (const std::string& header : first.Seen()) {
        EXPECT_EQ(header, "") << "the first host saw credentials";
    }
    const std::vector<std::string> seen = second.Seen();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "") << "credentials sent before the server asked";
    EXPECT_EQ(seen.back().rfind("Digest ", 0), 0u) << seen.back();
    for (const std::string& header : seen) {
        EXPECT_EQ(header.rfind("Basic", 0), std::string::npos) << header;
        EXPECT_EQ(header.find("s3cret-pw"), std::string::npos) << header;
    }

    const auto questions = recorder.Questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0]->Url(), asking.Url("/clip.flv"));
    EXPECT_EQ(questions[0]->Host(), "127.0.0.1");
    EXPECT_EQ(questions[0]->Realm(), "Vault <b>x</b>");
    EXPECT_TRUE(questions[0]->IsPlainHttp());
    EXPECT_FALSE(questions[0]->IsProxy());
}

TEST_F(MediaFetcherTest, ThreeRefusedPasswordsFailTheTaskWithItsReason) {
    m_server.ServeWithBasicAuth("/secret.flv", "ann", "right", "data");
    StartServer();
    FetchRecorder recorder;
    MediaFetcher fetcher;
    for (int i = 0; i < 5; ++i) {
        recorder.QueueAnswer({true, "ann", "wrong" + std::to_string(i)});
    }
    ASSERT_EQ(RunFetcher(fetcher, recorder, m_folder.Path(), m_server.Url("/secret.flv"), "s.flv"),
              FETCH_BAD_STATUS);
    EXPECT_EQ(recorder.Questions().size(), 3u);
    EXPECT_EQ(fetcher.FailureText(), "The server refused the user name and password three times.");
    EXPECT_FALSE(FileExists(m_folder.File("s.flv")));
    EXPECT_FALSE(FileExists(m_folder.File("s.flv.part")));
}

// The server plays a proxy that wants credentials: requests for any address arrive
// at it in absolute form.
TEST_F(MediaFetcherTest, AnswersAProxysQuestionWithProxyCredentials) {
    const std::string data = MakeTestBytes(3000, 4);
    m_server.ServeWithBasicAuth(".*", "proxyuser", "proxypw", data, true);
    StartServer();

    const char* saved = getenv("http_proxy");
    const std::string savedProxy = saved != nullptr ? saved : "";
    setenv("http_proxy", m_server.Url("").c_str(), 1);
    FetchRecorder recorder;
    MediaFetcher fetcher;
    recorder.QueueAnswer({true, "proxyuser", "proxypw"});
    const int terminal = RunFetcher(fetcher, recorder, m_folder.Path(),
                                    "http://video.example.invalid/clip.flv", "p.flv");
    if (saved != nullptr) {
        setenv("http_proxy", savedProxy.c_str(), 1);
    } else {
        unsetenv("http_proxy");
    }
    ASSERT_EQ(terminal, FETCH_DONE);
    EXPECT_EQ(ReadFile(m_folder.File("p.flv")), data);
    const auto questions = recorder.Questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0]->IsProxy());
}

// The program runs up to three downloads at once; none may see another's bytes or reports.
TEST_F(MediaFetcherTest, ParallelFetchersKeepToTheirOwnTask) {
    constexpr int kFetchers = 3;
    std::string bodies[kFetchers];
    for (int i = 0; i < kFetchers; ++i) {
        bodies[i] = MakeTestBytes(150000 + i * 7777, 10 + i);
        m_server.ServeBytes("/v" + std::to_string(i) + ".flv", bodies[i]);
    }
    StartServer();
    FetchRecorder recorders[kFetchers];
    MediaFetcher fetchers[kFetchers];
    for (int i = 0; i < kFetchers; ++i) {
        recorders[i].AcknowledgeDataOf(&fetchers[i]);
        fetchers[i].SetView(&recorders[i]);
        fetchers[i].SetTask(m_folder.Path(), m_server.Url("/v" + std::to_string(i) + ".flv"),
                            "f" + std::to_string(i) + ".flv", 20 + i, 0);
    }
    for (auto& fetcher : fetchers) {
        ASSERT_TRUE(fetcher.Start());
    }
    for (int i = 0; i < kFetchers; ++i) {
        EXPECT_EQ(recorders[i].WaitForTerminal(), FETCH_DONE);
        fetchers[i].m_pThread.join();
        EXPECT_EQ(ReadFile(m_folder.File("f" + std::to_string(i) + ".flv")), bodies[i]);
        ExpectReportProtocol(recorders[i].Reports(), 20 + i, fetchers[i].Serial());
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(fetchers[i].Serial(), fetchers[j].Serial());
        }
    }
}

TEST_F(MediaFetcherTest, ASecondFetcherOfANameInUseTakesTheNextName) {
    m_server.ServeSlow("/slow.flv", 64 * 1024, 1024, std::chrono::milliseconds(20));
    m_server.ServeBytes("/v.flv", "other");
    StartServer();

    FetchRecorder firstRecorder;  // outlives the fetcher, which joins its worker
    MediaFetcher first;
    first.SetView(&firstRecorder);
    first.SetTask(m_folder.Path(), m_server.Url("/slow.flv"), "same.flv", 1, 0);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(firstRecorder.WaitForCount(FETCH_DATA, 1));

    FetchRecorder secondRecorder;
    MediaFetcher second;
    EXPECT_EQ(
        RunFetcher(second, secondRecorder, m_folder.Path(), m_server.Url("/v.flv"), "same.flv", 2),
        FETCH_DONE);
    EXPECT_EQ(second.FileName(), "same[2].flv");
    EXPECT_EQ(ReadFile(m_folder.File("same[2].flv")), "other");
    first.RequestStop();
    EXPECT_EQ(firstRecorder.WaitForTerminal(), FETCH_STOPPED);
    EXPECT_FALSE(FileExists(m_folder.File("same.flv")));
}

}  // namespace
