#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "download/PageTitle.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace {

using namespace std::chrono_literals;

// A small web site on a loopback port of its own.
class TitleSite : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.Get("/page", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_body, "text/html");
        });
        m_server.ServeStatus("/missing", 404, "<title>404 Not Found</title>\n");
        m_server.ServeStatus("/broken", 500, "<title>Server Error</title>\n");
        m_server.ServeRedirect("/moved", "/page");
        m_server.ServeStallAfterHeaders("/stall", 100000, "<html>\n<title>Partial");
        ASSERT_TRUE(m_server.Start());
    }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    std::string Read(const std::string& path, const std::string& body) {
        m_body = body;
        std::atomic<bool> cancel{false};
        return ReadTitleLines(Url(path), cancel);
    }

    testsupport::TestHttpServer m_server;
    std::string m_body;
};

std::string Lines(int count, const std::string& line) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += line + "\n";
    }
    return out;
}

TEST_F(TitleSite, CollectsTheTitleLinesAsWritten) {
    const struct {
        const char* what;
        std::string page;
        std::string lines;
        std::string fileName;
    } cases[] = {
        {"one line, upper-case tags", "<html>\n<HEAD><TITLE>My Clip</TITLE>\n</HEAD>x",
         "<HEAD><TITLE>My Clip</TITLE>", "My Clip.flv"},
        {"split lines meet without a blank, CRs dropped",
         "<html>\r\n\r\n  <title>My\r\nClip</title>\r\n<body>", "  <title>MyClip</title>",
         "MyClip.flv"},
        {"end tag before the start line collects only the start line",
         "</title>\n<title>Long\nTitle</title>\n", "<title>Long", ""},
        {"last line without line feed", "<title>Tail</title>", "<title>Tail</title>", "Tail.flv"},
        {"no title", "<html><body>nothing</body></html>\n", "", ""},
        {"non-empty line 501 still counts", Lines(500, "x") + "<title>Late</title>\n",
         "<title>Late</title>", "Late.flv"},
        {"non-empty line 502 is past the end", Lines(501, "x") + "<title>Late</title>\n", "", ""},
        {"empty lines count but do not stop", Lines(600, "") + "<title>Far</title>\n",
         "<title>Far</title>", "Far.flv"},
        {"invalid UTF-8 comes back replaced", "<title>a\xff</title>\n",
         "<title>a\xEF\xBF\xBD</title>", "a\xEF\xBF\xBD.flv"},
    };
    for (const auto& c : cases) {
        const std::string lines = Read("/page", c.page);
        EXPECT_EQ(lines, c.lines) << c.what;
        if (!lines.empty()) {
            EXPECT_EQ(TitleToFileName(lines), c.fileName) << c.what;
        }
    }
}

TEST_F(TitleSite, FollowsRedirects) {
    EXPECT_EQ(Read("/moved", "<title>Here</title>\n"), "<title>Here</title>");
}

TEST_F(TitleSite, ErrorPagesAndUnreadableAddressesGiveNoTitle) {
    std::atomic<bool> cancel{false};
    EXPECT_EQ(ReadTitleLines(Url("/missing"), cancel), "");
    EXPECT_EQ(ReadTitleLines(Url("/broken"), cancel), "");
    EXPECT_EQ(ReadTitleLines("file:///etc/hostname", cancel), "");
    EXPECT_EQ(ReadTitleLines("ftp://127.0.0.1:" + std::to_string(m_server.Port()) + "/", cancel),
              "");
    EXPECT_EQ(ReadTitleLines("not an address", cancel), "");
    EXPECT_EQ(ReadTitleLines("", cancel), "");
}

TEST_F(TitleSite, PageWithoutLineBreaksStaysBounded) {
    const std::string page = "<title>" + std::string(10 * 1024 * 1024, 'a') + "</title>";
    const std::string lines = Read("/page", page);
    const TitleReadLimits defaults;
    EXPECT_GT(lines.size(), 0u);
    EXPECT_LE(lines.size(), defaults.maxLineBytes);
    EXPECT_EQ(lines.rfind("<title>aaa", 0), 0u);
    // The title never closed inside the bound, so it names nothing.
    EXPECT_EQ(TitleToFileName(lines), "");
}

TEST_F(TitleSite, StalledServerEndsAtTheTimeBoundWithWhatArrived) {
    TitleReadLimits limits;
    limits.totalTimeoutMs = 1000;
    std::atomic<bool> cancel{false};
    EXPECT_EQ(ReadTitleLines(Url("/stall"), cancel, limits), "<title>Partial");
}

TEST_F(TitleSite, CancelEndsAStalledRead) {
    std::atomic<bool> cancel{false};
    const auto started = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(100ms);
        cancel.store(true);
    });
    const std::string lines = ReadTitleLines(Url("/stall"), cancel);
    canceller.join();
    EXPECT_EQ(lines, "");
    // Far below the 15 s the read would otherwise wait.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

}  // namespace
