// The resolver's road on a real task table: the hidden browser drives a scripted
// extraction service on the loopback interface, and the downloads it hands off run.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "resolve/HiddenBrowser.h"
#include "resolve/NavigationCodes.h"
#include "service/ServiceContract.h"
#include "tasks/TaskMessageSeam.h"
#include "tests/resolve/ResolvingTable.h"
#include "tests/support/QtTestEnv.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace {

using testsupport::TestHttpServer;

const std::string kMedia = testsupport::MakeTestBytes(3000, 5);

// A stand-in for the extraction service: a home page with the form, and for
// "/?url=<page>" a result page with the same form and the links scripted for <page>.
// Media links point at "localhost" so that they do not contain the base address.
class StandInService {
public:
    StandInService() {
        server.Get("/", [this](const httplib::Request& request, httplib::Response& response) {
            Answer(request, response);
        });
        server.Get("/media/(.*)",
                   [this](const httplib::Request& request, httplib::Response& response) {
                       const std::string name = request.matches[1];
                       response.set_content_provider(
                           kMedia.size(), "video/x-flv",
                           [this, name](size_t offset, size_t, httplib::DataSink& sink) {
                               while (IsHeld(name)) {
                                   if (!server.SleepUnlessStopping(std::chrono::milliseconds(10))) {
                                       return false;
                                   }
                               }
                               sink.write(kMedia.data() + offset, kMedia.size() - offset);
                               return true;
                           });
                   });
    }
    // A two-segment HLS stream behind an address that does not say so: only the result
    // page's mark tells.
    static std::string StreamSegment(int i) { return std::string(188 * 3, char('A' + i)); }
    void ServeStream() {
        server.ServeBytes("/watch/clip",
                          "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\ns0.ts\n"
                          "#EXTINF:2,\ns1.ts\n#EXT-X-ENDLIST\n",
                          "text/plain");
        server.ServeBytes("/watch/s0.ts", StreamSegment(0), "video/mp2t");
        server.ServeBytes("/watch/s1.ts", StreamSegment(1), "video/mp2t");
    }
    bool Start() {
        ServeStream();
        if (!server.Start()) {
            return false;
        }
        UseServiceOnPort(server.Port());
        return true;
    }

    std::string MediaUrl(const std::string& name) const {
        return "http://localhost:" + std::to_string(server.Port()) + "/media/" + name;
    }
    std::string DownloadLink(const std::string& name) const {
        return "<a href='" + MediaUrl(name) + "'>Download</a>";
    }
    void SetLinks(const std::string& page, const std::string& markup) {
        std::lock_guard lock(m_lock);
        m_links[page] = markup;
    }
    void Hold(const std::string& name, bool held) {
        std::lock_guard lock(m_lock);
        if (held) {
            m_held.insert(name);
        } else {
            m_held.erase(name);
        }
    }
    void HoldResultPages(bool held) {
        std::lock_guard lock(m_lock);
        m_bHoldResults = held;
    }
    void FailHomePage(int times, int status) {
        std::lock_guard lock(m_lock);
        m_nFailures = times;
        m_nFailStatus = status;
    }
    std::vector<std::string> Submitted() {
        std::lock_guard lock(m_lock);
        return m_submitted;
    }
    int ResultRequests() {
        std::lock_guard lock(m_lock);
        return m_nResultRequests;
    }
    int HomeRequests() {
        std::lock_guard lock(m_lock);
        return m_nHomeRequests;
    }

    TestHttpServer server;

private:
    static constexpr const char* kForm =
        "<form action='/' method='get'><input type='TEXT' name='url' size='60'>"
        "<input type='submit' value='Get links'></form>";

    bool IsHeld(const std::string& name) {
        std::lock_guard lock(m_lock);
        return m_held.count(name) > 0;
    }
    void Answer(const httplib::Request& request, httplib::Response& response) {
        std::string body = std::string("<html><body>") + kForm;
        if (!request.has_param("url")) {
            std::lock_guard lock(m_lock);
            ++m_nHomeRequests;
            if (m_nFailures > 0) {
                --m_nFailures;
                response.status = m_nFailStatus;
                return;
            }
            response.set_content(body + "</body></html>", "text/html");
            return;
        }
        const std::string page = request.get_param_value("url");
        {
            std::lock_guard lock(m_lock);
            m_submitted.push_back(page);
            ++m_nResultRequests;
        }
        for (;;) {
            {
                std::lock_guard lock(m_lock);
                if (!m_bHoldResults) {
                    const auto it = m_links.find(page);
                    body += it != m_links.end() ? it->second : std::string();
                    break;
                }
            }
            if (!server.SleepUnlessStopping(std::chrono::milliseconds(10))) {
                return;
            }
        }
        response.set_content(body + "<a href='/'>Download more</a></body></html>", "text/html");
    }

    std::mutex m_lock;
    std::map<std::string, std::string> m_links;
    std::set<std::string> m_held;
    std::vector<std::string> m_submitted;
    bool m_bHoldResults = false;
    int m_nFailures = 0;
    int m_nFailStatus = 500;
    int m_nResultRequests = 0;
    int m_nHomeRequests = 0;
};

// Collects the warnings of the tasks library while it lives.
class TaskWarnings {
public:
    TaskWarnings() { s_previous = qInstallMessageHandler(&Handle); }
    ~TaskWarnings() { qInstallMessageHandler(s_previous); }
    std::vector<std::string> Lines() {
        std::lock_guard lock(s_lock);
        return std::exchange(s_lines, {});
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtWarningMsg && context.category != nullptr &&
            std::string(context.category) == "tamsel.tasks") {
            std::lock_guard lock(s_lock);
            s_lines.push_back(text.toStdString());
        } else if (s_previous != nullptr) {
            s_previous(type, context, text);
        }
    }
    static inline std::mutex s_lock;
    static inline std::vector<std::string> s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

class ResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(service.Start());
        resolver.CreateBrowser();
        ASSERT_NE(resolver.Browser(), nullptr);
    }
    void TearDown() override {
        for (const char* name : {"a.flv", "b.flv", "c.flv", "d.flv"}) {
            service.Hold(name, false);
        }
        service.HoldResultPages(false);
        table.ShutdownWorkers();
    }

    // The New command for a page address, under the user's own file name.
    void New(const std::string& page, const std::string& name) {
        table.Entry() = {folder.path().toStdString(), page, name};
        table.NewTaskConfirmed();
    }
    static bool WaitFor(const std::function<bool()>& done, int ms = 8000) {
        return testsupport::WaitForEvents(done, ms);
    }
    static void Settle(int ms = 200) {
        WaitFor([] { return false; }, ms);
    }
    int State(int row) { return table.GetTaskState(row); }
    std::string Cell(int row, int column) { return table.TaskModel().GetItemText(row, column); }
    bool Idle() { return !resolver.IsResolving() && !resolver.Browser()->get_Busy(); }
    std::string FileText(const std::string& name) {
        QFile file(QDir(folder.path()).filePath(QString::fromStdString(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    // Waits until the resolver has a failed navigation pending, then runs the retry
    // tick as the frame's timer would; `times` over.
    void ErrorThenRetry(int times = 1) {
        for (int i = 0; i < times; ++i) {
            ASSERT_TRUE(WaitFor([this] { return resolver.HasNavError(); }));
            resolver.RetryAfterNavError();
        }
    }

    QTemporaryDir folder;
    StandInService service;
    ResolvingTable table;
    CLinkResolver& resolver = table.resolver;
};

TEST_F(ResolverTest, ResolvesPagesInTurnAndDownloadsWhatTheyOffer) {
    service.SetLinks("http://video.example/1", service.DownloadLink("a.flv"));
    service.SetLinks("http://video.example/2", service.DownloadLink("b.flv"));
    New("http://video.example/1", "one.flv");
    New("http://video.example/2", "two.flv");  // the resolver is busy: no second navigation
    EXPECT_TRUE(resolver.IsResolving());

    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_FINISH && State(1) == TASK_FINISH; }));
    EXPECT_EQ(Cell(0, COL_FLV), service.MediaUrl("a.flv"));
    EXPECT_EQ(Cell(1, COL_FLV), service.MediaUrl("b.flv"));
    EXPECT_EQ(FileText("one.flv"), kMedia);
    EXPECT_EQ(FileText("two.flv"), kMedia);
    // The second address went in from the result page, without a second home page.
    EXPECT_EQ(service.HomeRequests(), 1);
    EXPECT_EQ(service.Submitted(),
              (std::vector<std::string>{"http://video.example/1", "http://video.example/2"}));
    ASSERT_TRUE(WaitFor([this] { return Idle() && table.Running() == 0; }));
    EXPECT_EQ(table.QueuePos(), 2);

    // Idle again, so the next New starts from the home page.
    service.SetLinks("http://video.example/3", service.DownloadLink("c.flv"));
    New("http://video.example/3", "three.flv");
    ASSERT_TRUE(WaitFor([this] { return State(2) == TASK_FINISH; }));
    EXPECT_EQ(service.HomeRequests(), 2);
}

TEST_F(ResolverTest, RunsThreeDownloadsAndDefersTheFourthUntilOneEnds) {
    const std::vector<std::string> names = {"a.flv", "b.flv", "c.flv", "d.flv"};
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string page = "http://video.example/" + std::to_string(i);
        service.SetLinks(page, service.DownloadLink(names[i]));
        service.Hold(names[i], true);
        New(page, "clip" + std::to_string(i) + ".flv");
    }
    ASSERT_TRUE(WaitFor([this] { return resolver.IsDeferred(); }));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(State(row), TASK_DOWNLOADING);
    }
    EXPECT_EQ(State(3), TASK_WAIT);
    EXPECT_EQ(table.Running(), 3);
    EXPECT_TRUE(resolver.IsResolving());

    resolver.ResumeDeferred();  // the timer tick changes nothing while three run
    Settle();
    EXPECT_EQ(State(3), TASK_WAIT);
    EXPECT_EQ(service.Submitted().size(), 3u);

    service.Hold("b.flv", false);
    ASSERT_TRUE(WaitFor([this] { return State(1) == TASK_FINISH; }));
    EXPECT_EQ(table.Running(), 2);
    resolver.ResumeDeferred();
    ASSERT_TRUE(WaitFor([this] { return State(3) == TASK_DOWNLOADING; }));
    EXPECT_EQ(Cell(3, COL_FLV), service.MediaUrl("d.flv"));
    // Three run again, so the resolver waits once more, now with nothing queued.
    EXPECT_TRUE(resolver.IsDeferred());

    for (const auto& name : names) {
        service.Hold(name, false);
    }
    ASSERT_TRUE(WaitFor([this] { return table.Running() == 0; }));
    resolver.ResumeDeferred();
    EXPECT_FALSE(resolver.IsDeferred());
    EXPECT_FALSE(resolver.IsResolving());
}

TEST_F(ResolverTest, ResultPagesWithoutADownloadFailTheirTaskAndDoNotHoldTheResolver) {
    for (int i = 0; i < 5; ++i) {
        New("http://video.example/none" + std::to_string(i), "x.flv");
    }
    ASSERT_TRUE(WaitFor([this] { return Idle() && State(4) == TASK_FAILED; }));
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(State(row), TASK_FAILED);
        EXPECT_EQ(Cell(row, COL_FLV), "");
    }
    EXPECT_EQ(table.Running(), 0);
    EXPECT_FALSE(resolver.IsDeferred());
    EXPECT_EQ(table.QueuePos(), 5);
}

TEST_F(ResolverTest, AFailedResolutionLogsOneWarningWithTaskPageAndReason) {
    TaskWarnings warnings;
    // A result page without a download, for an address with a line break in it.
    New("http://video.example/none\nforged", "x.flv");
    ASSERT_TRUE(WaitFor([this] { return Idle() && State(0) == TASK_FAILED; }));
    std::vector<std::string> lines = warnings.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("task 0 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"http://video.example/none\\nforged\""), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("The page has no video."), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find('\n'), std::string::npos) << lines[0];

    // The service fails until the address is given up.
    service.FailHomePage(12, 503);
    New("http://video.example/down", "y.flv");
    ErrorThenRetry(12);
    EXPECT_EQ(State(1), TASK_FAILED);
    ASSERT_TRUE(WaitFor([this] { return Idle(); }));
    lines = warnings.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("task 1 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"http://video.example/down\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("given up after 11 retries"), std::string::npos) << lines[0];
}

TEST_F(ResolverTest, AStreamOfferedAsTheDownloadEndsAsOneWholeFile) {
    const std::string stream =
        "http://localhost:" + std::to_string(service.server.Port()) + "/watch/clip";
    service.SetLinks(
        "http://video.example/hls",
        "<a href='" + stream + "' title='" + kStreamLinkTitle + " (HLS)'>Download video</a>");
    New("http://video.example/hls", "x.flv");
    ASSERT_TRUE(WaitFor([this] { return Idle() && State(0) == TASK_FINISH; }));
    EXPECT_EQ(Cell(0, COL_FLV), stream);
    EXPECT_EQ(FileText("x.ts"),
              StandInService::StreamSegment(0) + StandInService::StreamSegment(1));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"x.ts"});
}

TEST_F(ResolverTest, TakesOnlyDownloadAnchorsOutsideTheServiceAndTheSmallestAddress) {
    const std::string page = "http://video.example/links";
    service.SetLinks(page, "<a href='" + service.MediaUrl("b.flv") +
                               "'>Download</a>"
                               "<a href='" +
                               service.MediaUrl("a.flv") +
                               "'> Free <b>Download</b> now</a>"
                               "<a href='" +
                               service.MediaUrl("a.flv") +
                               "'>Download again</a>"
                               "<a href='" +
                               service.MediaUrl("0lower.flv") +
                               "'>download</a>"
                               "<a href='" +
                               service.MediaUrl("0upper.flv") +
                               "'>DOWNLOAD</a>"
                               "<a href='/media/0service.flv'>Download</a>"
                               "<map><area href='" +
                               service.MediaUrl("0area.flv") + "' alt='Download'></map>");
    service.Hold("a.flv", true);
    New(page, "x.flv");
    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_DOWNLOADING; }));
    EXPECT_EQ(Cell(0, COL_FLV), service.MediaUrl("a.flv"));
    EXPECT_EQ(resolver.FoundLinks(),
              (std::map<std::string, std::string>{{service.MediaUrl("a.flv"), page},
                                                  {service.MediaUrl("b.flv"), page}}));

    // Links the page markup cannot give: an area with text, and the text of a moved notice.
    CHtmlDocument* document = resolver.Browser()->get_Document();
    ASSERT_NE(document, nullptr);
    document->m_links = {
        {service.MediaUrl("0area.flv"), "Download", true, ""},
        {"http://localhost/The document has moved here.", "Download", false, ""},
        {service.MediaUrl("c.flv"), "Download", false, ""},
        {ServiceBaseAddress() + "x.flv", "Download", false, ""},
    };
    resolver.CollectDownloadLinks("p");
    EXPECT_EQ(resolver.FoundLinks(),
              (std::map<std::string, std::string>{{service.MediaUrl("c.flv"), "p"}}));
}

TEST_F(ResolverTest, HandsOffOnlyToRowsThatWaitForALink) {
    const std::string page = "http://video.example/h";
    const std::string link = service.MediaUrl("a.flv");
    struct Case {
        const char* label;
        int state;
        std::string flv;
        std::map<std::string, std::string> links;
        bool starts;
    } cases[] = {
        {"waiting", TASK_WAIT, "", {{"", page}, {link, page}}, true},
        {"downloading without media", TASK_DOWNLOADING, "", {{link, page}}, true},
        {"only an empty address", TASK_WAIT, "", {{"", page}}, false},
        {"stopped", TASK_STOP, "", {{link, page}}, false},
        {"finished", TASK_FINISH, "", {{link, page}}, false},
        {"failed", TASK_FAILED, "", {{link, page}}, false},
        {"has media already", TASK_WAIT, "http://old/", {{link, page}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ResolvingTable fresh;
        // The links come from a loaded page, as on the road; the home page loads
        // before the task exists, so nothing is submitted.
        fresh.resolver.CreateBrowser();
        CHiddenBrowser* browser = fresh.resolver.Browser();
        ASSERT_TRUE(browser->Navigate2(ServiceBaseAddress()));
        ASSERT_TRUE(WaitFor([&] { return !browser->get_Busy(); }));
        ASSERT_NE(browser->get_Document(), nullptr);
        browser->get_Document()->m_links.clear();
        for (const auto& [href, linkPage] : c.links) {
            browser->get_Document()->m_links.push_back({href, "Download", false, ""});
        }
        fresh.Entry() = {folder.path().toStdString(), page, "mine.flv"};
        ASSERT_EQ(fresh.AddTask(), 0);
        fresh.SetTaskState(0, c.state);
        fresh.TaskModel().SetItemText(0, COL_FLV, c.flv);
        fresh.resolver.CollectDownloadLinks(page);
        ASSERT_EQ(fresh.resolver.FoundLinks(), c.links);
        fresh.resolver.HandOffLinks();
        EXPECT_EQ(fresh.GetTaskState(0), c.starts ? TASK_DOWNLOADING : c.state);
        EXPECT_EQ(fresh.TaskModel().GetItemText(0, COL_FLV), c.starts ? link : c.flv);
        EXPECT_EQ(fresh.FetcherInSlot(0) != nullptr, c.starts);
        EXPECT_EQ(fresh.TaskModel().GetItemText(0, COL_FILE_NAME), "mine.flv");
        fresh.ShutdownWorkers();
    }
}

TEST_F(ResolverTest, NamesTheFileAfterThePageTitleWhenOneArrived) {
    TestHttpServer pages;
    pages.ServeBytes("/t", "<html><head><title>My Clip</title></head></html>", "text/html");
    ASSERT_TRUE(pages.Start());
    const std::string page = pages.Url("/t");
    table.FetchPageTitle(page);  // no title thread runs for a named task
    ASSERT_EQ(table.TitleFor(page), "My Clip.flv");
    QFile existing(QDir(folder.path()).filePath("My Clip.flv"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();

    service.SetLinks(page, service.DownloadLink("a.flv"));
    service.Hold("a.flv", true);
    New(page, "mine.flv");
    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_DOWNLOADING; }));
    EXPECT_EQ(Cell(0, COL_FILE_NAME), "My Clip[2].flv");
    service.Hold("a.flv", false);
    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_FINISH; }));
    EXPECT_EQ(FileText("My Clip[2].flv"), kMedia);
}

TEST_F(ResolverTest, CreditsTheResultPageToTheSubmittedAddress) {
    service.SetLinks("http://video.example/gone", service.DownloadLink("a.flv"));
    service.SetLinks("http://video.example/next", service.DownloadLink("b.flv"));
    service.HoldResultPages(true);
    New("http://video.example/gone", "gone.flv");
    New("http://video.example/next", "next.flv");
    ASSERT_TRUE(WaitFor([this] { return service.ResultRequests() == 1; }));

    // The task whose result page is loading is deleted.
    table.SelectRow(0, true);
    table.OnDelete();
    ASSERT_EQ(table.GetItemCount(), 1);
    service.HoldResultPages(false);

    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_FINISH; }));
    EXPECT_EQ(Cell(0, COL_SOURCE), "http://video.example/next");
    EXPECT_EQ(Cell(0, COL_FLV), service.MediaUrl("b.flv"));
    EXPECT_EQ(service.server.Hits("/media/a.flv"), 0);
    ASSERT_TRUE(WaitFor([this] { return Idle(); }));
    EXPECT_EQ(table.QueuePos(), 1);
    EXPECT_EQ(table.Running(), 0);
}

TEST_F(ResolverTest, RetriesAfterServiceErrorsAndGivesUpPastTen) {
    service.SetLinks("http://video.example/2", service.DownloadLink("b.flv"));
    service.FailHomePage(12, 503);
    New("http://video.example/1", "one.flv");
    New("http://video.example/2", "two.flv");

    // Errors count across addresses.
    ErrorThenRetry();
    EXPECT_EQ(resolver.NavRetries(), 1);
    EXPECT_FALSE(resolver.HasNavError());
    ErrorThenRetry(9);
    EXPECT_EQ(resolver.NavRetries(), 10);
    ErrorThenRetry();  // 10 is not above the bound: one more reload
    EXPECT_EQ(resolver.NavRetries(), 11);
    EXPECT_EQ(State(0), TASK_WAIT);
    ErrorThenRetry();  // 11 is: the address at the cursor is given up
    EXPECT_EQ(State(0), TASK_FAILED);
    EXPECT_EQ(table.QueuePos(), 1);
    EXPECT_EQ(resolver.NavRetries(), 1);

    // The home page loads again and the next address goes through.
    ASSERT_TRUE(WaitFor([this] { return State(1) == TASK_FINISH; }));
    EXPECT_EQ(service.Submitted(), std::vector<std::string>{"http://video.example/2"});
}

TEST_F(ResolverTest, AGiveUpWithNothingQueuedKeepsTheCursorAndRests) {
    service.FailHomePage(24, 500);
    New("http://video.example/1", "one.flv");
    ErrorThenRetry(11);
    EXPECT_EQ(State(0), TASK_WAIT);
    ErrorThenRetry();  // past the bound: given up
    EXPECT_EQ(State(0), TASK_FAILED);
    EXPECT_EQ(table.QueuePos(), 1);
    ErrorThenRetry(10);
    EXPECT_EQ(resolver.NavRetries(), 11);
    ErrorThenRetry();  // past the bound again, with nothing at the cursor: it stays
    EXPECT_EQ(table.QueuePos(), 1);
    EXPECT_EQ(resolver.NavRetries(), 1);

    // The home page finally loads with nothing to submit: the resolver rests.
    ErrorThenRetry();
    ASSERT_TRUE(WaitFor([this] { return Idle(); }));
    service.SetLinks("http://video.example/2", service.DownloadLink("b.flv"));
    New("http://video.example/2", "two.flv");
    ASSERT_TRUE(WaitFor([this] { return State(1) == TASK_FINISH; }));
}

TEST_F(ResolverTest, ReactsOnlyToListedFailuresOfServiceAddresses) {
    const std::string base = ServiceBaseAddress();
    std::string upper = base;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const struct {
        std::string url;
        int status;
        bool retried;
    } cases[] = {
        {base, 400, true},
        {base + "?url=x", 415, true},
        {base, 500, true},
        {base, 505, true},
        {base, NavStatus(INET_E_INVALID_URL), true},
        {base, NavStatus(INET_E_CANNOT_INSTANTIATE_OBJECT), true},
        {base, NavStatus(INET_E_REDIRECT_FAILED), true},
        {base, NavStatus(INET_E_CANNOT_LOCK_REQUEST), true},
        {upper, 404, true},
        {base, 399, false},
        {base, 416, false},
        {base, 499, false},
        {base, 506, false},
        {base, NavStatus(0x800C0001u), false},
        {base, NavStatus(0x800C0011u), false},
        {base, NavStatus(0x800C0013u), false},
        {base, NavStatus(0x800C0017u), false},
        {service.MediaUrl("a.flv"), 404, false},
        {"http://ads.example/frame", 500, false},
    };
    for (const auto& c : cases) {
        CLinkResolver fresh(table);  // without a browser: the reaction is only noted
        fresh.OnNavigateError(c.url, c.status);
        EXPECT_EQ(fresh.HasNavError(), c.retried) << c.url << " " << c.status;
    }
    resolver.RetryAfterNavError();  // no error pending: nothing happens
    EXPECT_EQ(resolver.NavRetries(), 0);
}

TEST_F(ResolverTest, RecognisesServicePagesExactly) {
    const std::string base = ServiceBaseAddress();
    const std::string marker = ServiceResultMarker();
    const struct {
        std::string url;
        int home;
        int result;
    } cases[] = {
        {base, 1, 0},
        {" \t" + base + "\r\n", 1, 0},
        {base + "?x=1", 0, 0},
        {base + "#top", 0, 0},
        {base + "/", 0, 0},
        {"HTTP://127.0.0.1:" + std::to_string(service.server.Port()) + "/", 0, 0},
        {"http://" + marker + "http%3A%2F%2Fv", 0, 1},
        {"http://x/" + marker, 0, 1},
        {"http://127.0.0.1:" + std::to_string(service.server.Port()) + "/?URL=v", 0, 0},
        {"about:blank", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolver.IsServiceUrl(c.url, 1), c.home) << c.url;
        EXPECT_EQ(resolver.IsServiceUrl(c.url, 0), c.result) << c.url;
    }
}

TEST_F(ResolverTest, ResultPagesWithNothingSubmittedAreIgnored) {
    ASSERT_TRUE(resolver.Browser()->Navigate2(ServiceBaseAddress() + "?url=stray"));
    ASSERT_TRUE(WaitFor([this] { return !resolver.Browser()->get_Busy(); }));
    EXPECT_TRUE(resolver.FoundLinks().empty());
    EXPECT_EQ(table.QueuePos(), 0);
    EXPECT_EQ(table.Running(), 0);
    EXPECT_FALSE(resolver.IsResolving());

    // A failed start falls back to the home page.
    resolver.NavigateTo("");
    ASSERT_TRUE(WaitFor([this] { return service.HomeRequests() == 1; }));
    EXPECT_EQ(resolver.NavFallbacks(), 0);
}

}  // namespace
