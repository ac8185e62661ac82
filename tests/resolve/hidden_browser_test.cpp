// The hidden browser against real HTTP servers on the loopback interface.

#include <gtest/gtest.h>
#include <netdb.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "resolve/HiddenBrowser.h"
#include "resolve/NavigationCodes.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtTestEnv.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace {

using testsupport::TestHttpServer;

struct Event {
    bool error = false;
    std::string url;
    int status = 0;
};

class HiddenBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        browser = std::make_unique<CHiddenBrowser>();
        browser->SetTimeouts(2000, 4000);
        QObject::connect(browser.get(), &CHiddenBrowser::DocumentComplete, browser.get(),
                         [this](const std::string& url) {
                             events.push_back({false, url, 0});
                         });
        QObject::connect(browser.get(), &CHiddenBrowser::NavigateError, browser.get(),
                         [this](const std::string& url, int status) {
                             events.push_back({true, url, status});
                         });
    }

    static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        return testsupport::WaitForEvents(done, ms);
    }
    // Navigates and waits for the one event it gives.
    Event Load(const std::string& url) {
        events.clear();
        EXPECT_TRUE(browser->Navigate2(url));
        EXPECT_TRUE(WaitFor([this] { return !events.empty(); })) << url;
        return events.empty() ? Event{true, "", -1} : events.front();
    }
    // Lets queued events arrive, so a test can see that none came.
    static void Settle(int ms = 200) {
        WaitFor([] { return false; }, ms);
    }

    static std::string Page(const std::string& title, const std::string& body = "") {
        return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
    }

    TestHttpServer server;
    std::unique_ptr<CHiddenBrowser> browser;
    std::vector<Event> events;
};

TEST_F(HiddenBrowserTest, LoadsAPageAndFollowsRedirects) {
    server.ServeBytes("/page", Page("Hello", "<a href='/v.flv'>Download</a>"), "text/html");
    server.ServeRedirect("/hop1", "/hop2");
    server.ServeRedirect("/hop2", "/page", 301);
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(browser->get_Document(), nullptr);

    const Event direct = Load(server.Url("/page"));
    EXPECT_FALSE(direct.error);
    EXPECT_EQ(direct.url, server.Url("/page"));
    ASSERT_NE(browser->get_Document(), nullptr);
    EXPECT_EQ(browser->get_Document()->m_strTitle, "Hello");
    ASSERT_EQ(browser->get_Document()->m_links.size(), 1u);
    EXPECT_EQ(browser->get_Document()->m_links[0].m_strHref, server.Url("/v.flv"));
    EXPECT_FALSE(browser->get_Busy());

    const Event redirected = Load(server.Url("/hop1"));
    EXPECT_FALSE(redirected.error);
    EXPECT_EQ(redirected.url, server.Url("/page"));
    EXPECT_EQ(browser->get_Document()->m_strUrl, server.Url("/page"));
}

TEST_F(HiddenBrowserTest, KeepsCookiesAndSendsItsName) {
    server.Get("/set", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "session=abc123; Path=/");
        response.set_content(Page("set"), "text/html");
    });
    server.Get("/check", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(
            Page(request.get_header_value("Cookie") + "|" + request.get_header_value("User-Agent")),
            "text/html");
    });
    ASSERT_TRUE(server.Start());
    ASSERT_FALSE(Load(server.Url("/set")).error);
    ASSERT_FALSE(Load(server.Url("/check")).error);
    EXPECT_EQ(browser->get_Document()->m_strTitle, "session=abc123|Tamsel");
}

TEST_F(HiddenBrowserTest, ReportsFailuresWithTheirCodes) {
    server.ServeStatus("/missing", 404, "gone");
    server.ServeStatus("/broken", 503, "down");
    server.ServeRedirect("/loop", "/loop");
    server.ServeBytes("/big", std::string(5000, 'x'), "text/html");
    server.ServeNoAnswer("/silent");
    ASSERT_TRUE(server.Start());

    TestHttpServer closed;
    ASSERT_TRUE(closed.Start());
    const std::string refused = closed.Url("/");
    closed.Stop();

    browser->SetPageSizeLimit(1000);
    browser->SetTimeouts(2000, 300);
    const struct {
        std::string url;
        int status;
    } cases[] = {
        {server.Url("/missing"), 404},
        {server.Url("/broken"), 503},
        {server.Url("/loop"), NavStatus(INET_E_REDIRECT_FAILED)},
        {server.Url("/big"), NavStatus(INET_E_DOWNLOAD_FAILURE)},
        {server.Url("/silent"), NavStatus(INET_E_CONNECTION_TIMEOUT)},
        {refused, NavStatus(INET_E_CANNOT_CONNECT)},
        {"junk", NavStatus(INET_E_INVALID_URL)},
        {"http://", NavStatus(INET_E_INVALID_URL)},
        {"ftp://127.0.0.1/file", NavStatus(INET_E_INVALID_URL)},
        {"javascript:alert(1)", NavStatus(INET_E_INVALID_URL)},
    };
    for (const auto& c : cases) {
        testsupport::LogCapture log("tamsel.resolve");
        const Event event = Load(c.url);
        EXPECT_TRUE(event.error) << c.url;
        EXPECT_EQ(event.status, c.status) << c.url;
        EXPECT_EQ(event.url, c.url);
        // One warning names the address and why.
        const std::vector<std::string> warnings = log.Warnings();
        ASSERT_EQ(warnings.size(), 1u) << c.url;
        EXPECT_NE(warnings[0].find("\"" + c.url + "\" failed: \""), std::string::npos)
            << warnings[0];
    }
    EXPECT_EQ(browser->get_Document(), nullptr);  // failures leave the document alone
    EXPECT_FALSE(browser->Navigate2(""));
}

TEST_F(HiddenBrowserTest, ReportsAnUnknownHost) {
    // ".invalid" never resolves (RFC 2606), unless a resolver here answers everything.
    addrinfo* found = nullptr;
    if (getaddrinfo("tamsel-test.invalid", "80", nullptr, &found) == 0) {
        freeaddrinfo(found);
        GTEST_SKIP() << "this resolver answers for .invalid";
    }
    const Event event = Load("http://tamsel-test.invalid/");
    EXPECT_TRUE(event.error);
    EXPECT_EQ(event.status, NavStatus(INET_E_RESOURCE_NOT_FOUND));
}

TEST_F(HiddenBrowserTest, AboutBlankCompletesWithoutATransfer) {
    server.ServeBytes("/page", Page("p", "<form><input name=q></form>"), "text/html");
    ASSERT_TRUE(server.Start());
    ASSERT_FALSE(Load(server.Url("/page")).error);
    ASSERT_EQ(browser->get_Document()->FormCount(), 1);

    events.clear();
    ASSERT_TRUE(browser->Navigate2("about:blank"));
    EXPECT_TRUE(events.empty());  // asynchronous, also without a transfer
    ASSERT_TRUE(WaitFor([this] { return !events.empty(); }));
    EXPECT_FALSE(events[0].error);
    EXPECT_EQ(events[0].url, "about:blank");
    EXPECT_EQ(browser->get_Document()->m_strUrl, "about:blank");
    EXPECT_EQ(browser->get_Document()->FormCount(), 0);
}

TEST_F(HiddenBrowserTest, ANewerNavigationCancelsTheOneLoading) {
    server.ServeNoAnswer("/stuck");
    server.ServeBytes("/slow-but-answers", Page("old"), "text/html");
    server.ServeBytes("/fast", Page("new"), "text/html");
    ASSERT_TRUE(server.Start());

    // The single worker would wait on /stuck for its whole timeout if it were not cancelled.
    browser->SetTimeouts(30000, 30000);
    ASSERT_TRUE(browser->Navigate2(server.Url("/stuck")));
    ASSERT_TRUE(WaitFor([this] { return server.Hits("/stuck") == 1; }));
    ASSERT_TRUE(browser->Navigate2(server.Url("/slow-but-answers")));
    ASSERT_TRUE(browser->Navigate2(server.Url("/fast")));
    ASSERT_TRUE(WaitFor([this] { return !events.empty(); }));
    Settle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].url, server.Url("/fast"));
    EXPECT_EQ(browser->get_Document()->m_strTitle, "new");

    // An error that has not been delivered yet is also dropped.
    events.clear();
    ASSERT_TRUE(browser->Navigate2("junk"));
    ASSERT_TRUE(browser->Navigate2("about:blank"));
    ASSERT_TRUE(WaitFor([this] { return !events.empty(); }));
    Settle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].url, "about:blank");
}

TEST_F(HiddenBrowserTest, DestroyedWhileLoadingSendsNothing) {
    server.ServeNoAnswer("/stuck");
    server.ServeBytes("/page", Page("p"), "text/html");
    ASSERT_TRUE(server.Start());
    browser->SetTimeouts(30000, 30000);
    ASSERT_TRUE(browser->Navigate2(server.Url("/stuck")));
    ASSERT_TRUE(WaitFor([this] { return server.Hits("/stuck") == 1; }));
    browser.reset();  // must not wait for the server

    // A page that finished loading but was not yet delivered is dropped with the browser.
    browser = std::make_unique<CHiddenBrowser>();
    bool delivered = false;
    QObject::connect(browser.get(), &CHiddenBrowser::DocumentComplete, browser.get(),
                     [&delivered](const std::string&) { delivered = true; });
    ASSERT_TRUE(browser->Navigate2(server.Url("/page")));
    // Wait without running the event loop, so the page is loaded but cannot be delivered.
    for (int i = 0; i < 500 && server.Hits("/page") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(server.Hits("/page"), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    browser.reset();
    Settle();
    EXPECT_FALSE(delivered);
}

TEST_F(HiddenBrowserTest, SubmitsFormsByGetAndPost) {
    const std::string forms =
        "<form action='/find?old=1' method='get'><input type='text' name='url'>"
        "<input type='submit' name='go' value='Go'></form>"
        "<form action='/post' method='POST'><input type='Text' name='url'>"
        "<input type='hidden' name='k' value='v'></form>";
    server.ServeBytes("/", Page("home", forms), "text/html");
    server.Get("/find", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(Page("get:" + request.get_param_value("url") + ":" +
                                  std::to_string(request.params.size())),
                             "text/html");
    });
    auto posted = std::make_shared<std::string>();
    server.Post("/post", [posted](const httplib::Request& request, httplib::Response& response) {
        *posted = request.get_header_value("Content-Type") + "|" + request.body;
        response.set_redirect("/done", 302);
    });
    server.Get("/done", [posted](const httplib::Request& request, httplib::Response& response) {
        response.set_content(
            Page(request.method + "|" + *posted + "|" + request.get_header_value("Referer")),
            "text/html");
    });
    ASSERT_TRUE(server.Start());
    ASSERT_FALSE(Load(server.Url("/")).error);
    EXPECT_FALSE(browser->SubmitForm(2));
    EXPECT_FALSE(browser->SubmitForm(-1));

    browser->get_Document()->FormAt(0)->item(0)->SetValue("http://v.example/a?b=c d");
    events.clear();
    ASSERT_TRUE(browser->SubmitForm(0));
    ASSERT_TRUE(WaitFor([this] { return !events.empty(); }));
    EXPECT_EQ(events[0].url, server.Url("/find?url=http%3A%2F%2Fv.example%2Fa%3Fb%3Dc+d"));
    EXPECT_EQ(browser->get_Document()->m_strTitle, "get:http://v.example/a?b=c d:1");

    ASSERT_FALSE(Load(server.Url("/")).error);
    browser->get_Document()->FormAt(1)->item(0)->SetValue("x&y");
    events.clear();
    ASSERT_TRUE(browser->SubmitForm(1));
    ASSERT_TRUE(WaitFor([this] { return !events.empty(); }));
    // Redirected after the POST, the browser asks for the next page with GET.
    EXPECT_EQ(browser->get_Document()->m_strTitle,
              "GET|application/x-www-form-urlencoded|url=x%26y&k=v|" + server.Url("/"));
    // The handle that posted asks plainly again afterwards.
    ASSERT_FALSE(Load(server.Url("/find?url=z")).error);
    EXPECT_EQ(browser->get_Document()->m_strTitle, "get:z:1");
}

}  // namespace
