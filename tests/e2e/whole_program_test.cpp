#include <QElapsedTimer>
#include <set>

#include "tests/e2e/RoadFixture.h"

using namespace std::chrono_literals;
using testsupport::MakeTestBytes;

namespace {

constexpr std::size_t kSlowSize = 1500000;  // about 1.5 s each at the pace below

class WholeProgramTest : public RoadFixture {
protected:
    // Pages /clip/N with title "Clip N" and a slow media file each.
    void AddSlowClips(int count) {
        for (int n = 1; n <= count; ++n) {
            const std::string id = std::to_string(n);
            AddVideoPage("/clip/" + id, "Clip " + id, "/media/" + id + ".flv");
            site.ServeSlow("/media/" + id + ".flv", kSlowSize, 20000, 20ms);
        }
    }
    int CountInState(int state) {
        int count = 0;
        for (int row = 0; row < view->GetItemCount(); ++row) {
            count += State(row) == state;
        }
        return count;
    }
    // Runs the resolver's timer operations faster than the frame's clock would.
    bool WaitDriving(const std::function<bool()>& done, int ms = 60000) {
        return WaitFor(
            [&] {
                view->Resolver().ResumeDeferred();
                view->Resolver().RetryAfterNavError();
                return done();
            },
            ms);
    }
};

}  // namespace

TEST_F(WholeProgramTest, FourTasksThreeAtOnceTheFourthWhenOneEnds) {
    AddSlowClips(4);
    OpenWindow();
    for (int n = 1; n <= 4; ++n) {
        EnterTask(site.Url("/clip/" + std::to_string(n)));
    }
    ASSERT_TRUE(WaitFor([&] { return CountInState(TASK_DOWNLOADING) == 3; }));
    EXPECT_EQ(State(3), TASK_WAIT);
    ASSERT_TRUE(WaitFor([&] { return State(3) == TASK_DOWNLOADING; }));
    EXPECT_GE(CountInState(TASK_FINISH), 1);
    ASSERT_TRUE(WaitFor([&] { return CountInState(TASK_FINISH) == 4; }));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(testsupport::ReadFile(FileIn("Clip " + std::to_string(n) + ".flv")),
                  testsupport::TestHttpServer::SlowBody(kSlowSize));
    }
}

TEST_F(WholeProgramTest, StopThenStartFetchesAnewAndDeleteCleansUp) {
    AddSlowClips(2);
    OpenWindow();
    EnterTask(site.Url("/clip/1"));
    EnterTask(site.Url("/clip/2"));
    ASSERT_TRUE(WaitFor([&] {
        return State(0) == TASK_DOWNLOADING && State(1) == TASK_DOWNLOADING &&
               Cell(0, COL_PROGRESS) != "0 %";
    }));

    view->SelectRow(0, true);
    frame->OnCommand(ID_TASK_STOP);
    ASSERT_TRUE(WaitFor([&] { return State(0) == TASK_STOP; }));
    EXPECT_FALSE(std::filesystem::exists(FileIn("Clip 1.flv")));
    frame->OnCommand(ID_TASK_START);
    EXPECT_EQ(State(0), TASK_DOWNLOADING);
    EXPECT_EQ(Cell(0, COL_PROGRESS), "0 %");

    view->TaskSelection().clearSelection();
    view->SelectRow(1, true);
    frame->OnCommand(ID_TASK_DELETE);
    ASSERT_EQ(view->GetItemCount(), 1);
    EXPECT_EQ(questions, (std::vector<std::string>{"Are you sure to stop task ?",
                                                   "Are you sure to delete task ?"}));

    ASSERT_TRUE(WaitFor([&] { return State(0) == TASK_FINISH; }));
    EXPECT_EQ(testsupport::ReadFile(FileIn("Clip 1.flv")),
              testsupport::TestHttpServer::SlowBody(kSlowSize));
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"Clip 1.flv"});
}

TEST_F(WholeProgramTest, ClosingWhileDownloadingStopsEverythingQuickly) {
    AddSlowClips(3);
    OpenWindow();
    for (int n = 1; n <= 3; ++n) {
        EnterTask(site.Url("/clip/" + std::to_string(n)));
    }
    ASSERT_TRUE(WaitFor([&] { return CountInState(TASK_DOWNLOADING) == 3; }));

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(frame->close());
    frame.reset();  // the window goes with the view; no worker outlives it
    const qint64 exitMs = clock.elapsed();
    EXPECT_LT(exitMs, 2000);
    EXPECT_EQ(questions, std::vector<std::string>{"There are tasks running. \n Exit program will "
                                                  "stop all tasks. \n Are you sure to exit ?"});
    EXPECT_TRUE(FilesInFolder().empty());
    std::cout << "[ exit time with three downloads: " << exitMs << " ms ]\n";
}

TEST_F(WholeProgramTest, BrokenSitesAndMediaFailTheirTasksOnly) {
    AddVideoPage("/good", "Good", "/media/good.flv");
    site.ServeBytes("/media/good.flv", MakeTestBytes(50000, 5));
    site.Get("/nomedia", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><title>Nothing</title><p>no video here</p></html>",
                             "text/html");
    });
    AddVideoPage("/gone", "Gone", "/media/gone.flv");
    site.ServeStatus("/media/gone.flv", 404);
    AddVideoPage("/short", "Short", "/media/short.flv");
    site.ServeTruncated("/media/short.flv", 100000, MakeTestBytes(30000, 6));
    AddVideoPage("/stall", "Stall", "/media/stall.flv");
    site.ServeStallAfterHeaders("/media/stall.flv", 100000, MakeTestBytes(1000, 6));
    OpenWindow();
    view->SetFetchTimeouts(5s, 1s);

    for (const char* path : {"/nomedia", "/gone", "/short", "/stall", "/good"}) {
        EnterTask(site.Url(path));
    }
    EnterTask("http://127.0.0.1:1/down");  // a video site that is down
    ASSERT_TRUE(WaitDriving(
        [&] { return CountInState(TASK_WAIT) == 0 && CountInState(TASK_DOWNLOADING) == 0; }));
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(State(row), row == 4 ? TASK_FINISH : TASK_FAILED) << Cell(row, COL_SOURCE);
    }
    // What arrived before a break stays for a Start; nothing else is left.
    EXPECT_EQ(FilesInFolder(),
              (std::vector<std::string>{"Good.flv", "Short.flv.part", "Stall.flv.part"}));
    // Each failure says why, where the pointer rests on its row.
    const char* const reasons[] = {
        "The page has no video.", "The server answered 404 Not Found.",
        "The connection was lost after 29 KB.",
        "The download was too slow (under 1 KB/s for 1 s) after 1000 bytes.", ""};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(view->TaskModel().GetItemReason(row), reasons[row]) << Cell(row, COL_SOURCE);
    }
    EXPECT_FALSE(view->TaskModel().GetItemReason(5).empty());
    // The address given up was the last: the resolver goes idle.
    EXPECT_TRUE(WaitDriving([&] { return !view->Resolver().IsResolving(); }, 10000));
}

TEST_F(WholeProgramTest, TwoHundredTasksEachGetTheirOwnNumberAndSlot) {
    site.Get(R"(/many/(\d+))",
             [this](const httplib::Request& request, httplib::Response& response) {
                 const std::string media = site.Url("/file/" + request.matches[1].str() + ".flv");
                 response.set_content(
                     "<html><body><a href=\"" + media + "\">clip</a></body></html>", "text/html");
             });
    site.Get(R"(/file/(\d+)\.flv)",
             [](const httplib::Request& request, httplib::Response& response) {
                 response.set_content("clip " + request.matches[1].str(), "video/x-flv");
             });
    OpenWindow();
    constexpr int kTasks = 200;
    for (int n = 0; n < kTasks; ++n) {
        view->Entry().m_strUrl = site.Url("/many/" + std::to_string(n));
        view->Entry().m_strRename = "n" + std::to_string(n) + ".flv";
        view->NewTaskConfirmed();
    }
    ASSERT_TRUE(WaitDriving([&] { return CountInState(TASK_FINISH) == kTasks; }, 180000))
        << CountInState(TASK_FINISH) << " finished";
    std::set<int> numbers;
    for (int row = 0; row < kTasks; ++row) {
        numbers.insert(view->TaskModel().GetItemData(row));
    }
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(kTasks));
    EXPECT_EQ(*numbers.rbegin(), kTasks - 1);
    EXPECT_GE(view->SlotCount(), kTasks);
    EXPECT_EQ(testsupport::ReadFile(FileIn("n199.flv")), "clip 199");
    EXPECT_EQ(FilesInFolder().size(), static_cast<std::size_t>(kTasks));
}
