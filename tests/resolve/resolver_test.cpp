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
#include <vector>

#include "resolve/HiddenBrowser.h"
#include "resolve/NavigationCodes.h"
#include "service/ServiceContract.h"
#include "tasks/TaskMessageSeam.h"
#include "tasks/TaskTable.h"
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
    bool Start() {
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

class QuietTable : public CTaskTable {
protected:
    int ShowMessage(const std::string&, unsigned) override { return IDOK; }
};

class ResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(service.Start());
        table.CreateBrowser();
        ASSERT_NE(table.m_pBrowser, nullptr);
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
        table.m_strUrl = page;
        table.m_strRename = name;
        table.m_strSaveFolder = folder.path().toStdString();
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
    bool Idle() { return table.m_bResolving == 0 && !table.m_pBrowser->get_Busy(); }
    std::string FileText(const std::string& name) {
        QFile file(QDir(folder.path()).filePath(QString::fromStdString(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    // Fails the navigations the browser reports until the resolver has one pending,
    // then runs the retry tick as the frame's timer would.
    void ErrorThenRetry() {
        ASSERT_TRUE(WaitFor([this] { return table.m_bNavError == 1; }));
        table.RetryAfterNavError();
    }

    QTemporaryDir folder;
    StandInService service;
    QuietTable table;
};

TEST_F(ResolverTest, ResolvesPagesInTurnAndDownloadsWhatTheyOffer) {
    service.SetLinks("http://video.example/1", service.DownloadLink("a.flv"));
    service.SetLinks("http://video.example/2", service.DownloadLink("b.flv"));
    New("http://video.example/1", "one.flv");
    New("http://video.example/2", "two.flv");  // the resolver is busy: no second navigation
    EXPECT_EQ(table.m_bResolving, 1);

    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_FINISH && State(1) == TASK_FINISH; }));
    EXPECT_EQ(Cell(0, COL_FLV), service.MediaUrl("a.flv"));
    EXPECT_EQ(Cell(1, COL_FLV), service.MediaUrl("b.flv"));
    EXPECT_EQ(FileText("one.flv"), kMedia);
    EXPECT_EQ(FileText("two.flv"), kMedia);
    // The second address went in from the result page, without a second home page.
    EXPECT_EQ(service.HomeRequests(), 1);
    EXPECT_EQ(service.Submitted(),
              (std::vector<std::string>{"http://video.example/1", "http://video.example/2"}));
    ASSERT_TRUE(WaitFor([this] { return Idle() && table.m_nRunning == 1; }));
    EXPECT_EQ(table.m_nQueuePos, 2);

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
    ASSERT_TRUE(WaitFor([this] { return table.m_bDeferred == 1; }));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(State(row), TASK_DOWNLOADING);
    }
    EXPECT_EQ(State(3), TASK_WAIT);
    EXPECT_EQ(table.m_nRunning, 4);
    EXPECT_EQ(table.m_bResolving, 1);

    table.ResumeDeferred();  // the timer tick changes nothing while three run
    Settle();
    EXPECT_EQ(State(3), TASK_WAIT);
    EXPECT_EQ(service.Submitted().size(), 3u);

    service.Hold("b.flv", false);
    ASSERT_TRUE(WaitFor([this] { return State(1) == TASK_FINISH; }));
    EXPECT_EQ(table.m_nRunning, 3);
    table.ResumeDeferred();
    ASSERT_TRUE(WaitFor([this] { return State(3) == TASK_DOWNLOADING; }));
    EXPECT_EQ(Cell(3, COL_FLV), service.MediaUrl("d.flv"));
    // Three run again, so the resolver waits once more, now with nothing queued.
    EXPECT_EQ(table.m_bDeferred, 1);

    for (const auto& name : names) {
        service.Hold(name, false);
    }
    ASSERT_TRUE(WaitFor([this] { return table.m_nRunning == 1; }));
    table.ResumeDeferred();
    EXPECT_EQ(table.m_bDeferred, 0);
    EXPECT_EQ(table.m_bResolving, 0);
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
    EXPECT_EQ(table.m_nRunning, 1);
    EXPECT_EQ(table.m_bDeferred, 0);
    EXPECT_EQ(table.m_nQueuePos, 5);
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
    EXPECT_EQ(table.m_foundLinks,
              (std::map<std::string, std::string>{{service.MediaUrl("a.flv"), page},
                                                  {service.MediaUrl("b.flv"), page}}));

    // Links the page markup cannot give: an area with text, and the text of a moved notice.
    CHtmlDocument* document = table.m_pBrowser->get_Document();
    ASSERT_NE(document, nullptr);
    document->m_links = {
        {service.MediaUrl("0area.flv"), "Download", true},
        {"http://localhost/The document has moved here.", "Download", false},
        {service.MediaUrl("c.flv"), "Download", false},
        {ServiceBaseAddress() + "x.flv", "Download", false},
    };
    table.CollectDownloadLinks("p");
    EXPECT_EQ(table.m_foundLinks,
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
        QuietTable fresh;
        fresh.m_strUrl = page;
        fresh.m_strRename = "mine.flv";
        fresh.m_strSaveFolder = folder.path().toStdString();
        ASSERT_EQ(fresh.AddTask(), 0);
        fresh.SetTaskState(0, c.state);
        fresh.TaskModel().SetItemText(0, COL_FLV, c.flv);
        fresh.m_foundLinks = c.links;
        fresh.HandOffLinks();
        EXPECT_EQ(fresh.GetTaskState(0), c.starts ? TASK_DOWNLOADING : c.state);
        EXPECT_EQ(fresh.TaskModel().GetItemText(0, COL_FLV), c.starts ? link : c.flv);
        EXPECT_EQ(fresh.FetcherInSlot(0) != nullptr, c.starts);
        EXPECT_EQ(fresh.TaskModel().GetItemText(0, COL_FILE_NAME), "mine.flv");
        fresh.ShutdownWorkers();
    }
}

TEST_F(ResolverTest, NamesTheFileAfterThePageTitleWhenOneArrived) {
    const std::string page = "http://video.example/t";
    table.m_strUrl = page;
    table.m_strRename = "mine.flv";
    table.m_strSaveFolder = folder.path().toStdString();
    ASSERT_EQ(table.AddTask(), 0);
    table.m_titleByUrl[page] = "My Clip.flv";  // no title thread runs for a named task
    QFile existing(QDir(folder.path()).filePath("My Clip.flv"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();

    table.m_foundLinks = {{service.MediaUrl("a.flv"), page}};
    table.HandOffLinks();
    EXPECT_EQ(Cell(0, COL_FILE_NAME), "My Clip[2].flv");
    ASSERT_TRUE(WaitFor([this] { return State(0) == TASK_FINISH; }));
    EXPECT_EQ(FileText("My Clip[2].flv"), kMedia);

    // No links: the page's task fails.
    table.m_strUrl = "http://video.example/u";
    ASSERT_EQ(table.AddTask(), 0);
    table.m_foundLinks.clear();
    table.m_strSubmittedUrl = "http://video.example/u";
    table.HandOffLinks();
    EXPECT_EQ(State(1), TASK_FAILED);
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
    EXPECT_EQ(table.m_nQueuePos, 1);
    EXPECT_EQ(table.m_nRunning, 1);
}

TEST_F(ResolverTest, RetriesAfterServiceErrorsAndGivesUpPastTen) {
    service.SetLinks("http://video.example/2", service.DownloadLink("b.flv"));
    service.FailHomePage(3, 503);
    New("http://video.example/1", "one.flv");
    New("http://video.example/2", "two.flv");

    // Errors count across addresses; start near the bound to keep the test short.
    ErrorThenRetry();
    EXPECT_EQ(table.m_nNavRetries, 1);
    EXPECT_EQ(table.m_bNavError, 0);
    table.m_nNavRetries = 10;
    ErrorThenRetry();  // 10 is not above the bound: one more reload
    EXPECT_EQ(table.m_nNavRetries, 11);
    EXPECT_EQ(State(0), TASK_WAIT);
    ErrorThenRetry();  // 11 is: the address at the cursor is given up
    EXPECT_EQ(State(0), TASK_FAILED);
    EXPECT_EQ(table.m_nQueuePos, 1);
    EXPECT_EQ(table.m_nNavRetries, 1);

    // The home page loads again and the next address goes through.
    ASSERT_TRUE(WaitFor([this] { return State(1) == TASK_FINISH; }));
    EXPECT_EQ(service.Submitted(), std::vector<std::string>{"http://video.example/2"});
}

TEST_F(ResolverTest, AGiveUpWithNothingQueuedKeepsTheCursorAndRests) {
    service.FailHomePage(3, 500);
    New("http://video.example/1", "one.flv");
    table.m_nNavRetries = 11;
    ErrorThenRetry();
    EXPECT_EQ(State(0), TASK_FAILED);
    EXPECT_EQ(table.m_nQueuePos, 1);
    table.m_nNavRetries = 11;
    ErrorThenRetry();  // nothing at the cursor: it stays
    EXPECT_EQ(table.m_nQueuePos, 1);

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
        table.m_bNavError = 0;
        table.OnNavigateError(c.url, c.status);
        EXPECT_EQ(table.m_bNavError, c.retried ? 1 : 0) << c.url << " " << c.status;
    }
    table.m_bNavError = 0;
    table.RetryAfterNavError();  // no error pending: nothing happens
    EXPECT_EQ(table.m_nNavRetries, 0);
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
        EXPECT_EQ(table.IsServiceUrl(c.url, 1), c.home) << c.url;
        EXPECT_EQ(table.IsServiceUrl(c.url, 0), c.result) << c.url;
    }
}

TEST_F(ResolverTest, ResultPagesWithNothingSubmittedAreIgnored) {
    ASSERT_TRUE(table.m_pBrowser->Navigate2(ServiceBaseAddress() + "?url=stray"));
    ASSERT_TRUE(WaitFor([this] { return !table.m_pBrowser->get_Busy(); }));
    EXPECT_TRUE(table.m_foundLinks.empty());
    EXPECT_EQ(table.m_nQueuePos, 0);
    EXPECT_EQ(table.m_nRunning, 1);
    EXPECT_EQ(table.m_bResolving, 0);

    // A failed start falls back to the home page.
    table.NavigateTo("");
    ASSERT_TRUE(WaitFor([this] { return service.HomeRequests() == 1; }));
    EXPECT_EQ(table.m_nNavFallbacks, 0);
}

}  // namespace
