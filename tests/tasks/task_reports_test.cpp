#include <filesystem>

#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"
#include "tests/tasks/TaskTableFixture.h"

using namespace std::chrono_literals;
using testsupport::MakeTestBytes;
using testsupport::TestHttpServer;

namespace {

class TaskReportsTest : public TaskTableTest {
protected:
    void SetUp() override {
        server.ServeBytes("/clip.flv", clip);
        server.ServeChunked("/chunked.flv", clip, 1000);
        server.ServeStatus("/missing.flv", 404);
        server.ServeSlow("/slow.flv", 400000, 2000, 20ms);
        ASSERT_TRUE(server.Start());
    }
    // A task whose media address was handed off: DownLoading, fetcher started.
    int Download(const std::string& page, const std::string& path, const std::string& name) {
        Add(page, name);
        const int row = table.GetItemCount() - 1;
        table.TaskModel().SetItemText(row, COL_FLV, server.Url(path));
        table.SetTaskState(row, TASK_DOWNLOADING);
        table.RaiseRunning();
        table.StartFetcher(server.Url(path), name, table.TaskModel().GetItemData(row));
        return row;
    }
    std::string FileIn(const std::string& name) const {
        return folder.path().toStdString() + "/" + name;
    }

    const std::string clip = MakeTestBytes(200000);
    TestHttpServer server;
};

}  // namespace

TEST_F(TaskReportsTest, FinishedDownloadShowsSizeAndReleasesItsSlot) {
    const int row = Download("http://page/a", "/clip.flv", "a.flv");
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FINISH; }));
    EXPECT_EQ(Cell(row, COL_SIZE), "195 KB");
    EXPECT_EQ(Cell(row, COL_PROGRESS), "100.00 %");
    EXPECT_EQ(table.FetcherInSlot(0), nullptr);
    EXPECT_EQ(table.Running(), 0);
    EXPECT_EQ(testsupport::ReadFile(FileIn("a.flv")), clip);
}

TEST_F(TaskReportsTest, UnknownLengthShowsTheAmountNotAPercentage) {
    const int row = Download("http://page/c", "/chunked.flv", "c.flv");
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FINISH; }));
    const std::string progress = Cell(row, COL_PROGRESS);
    EXPECT_EQ(progress.find('%'), std::string::npos) << progress;
    EXPECT_EQ(Cell(row, COL_SIZE), "195 KB");
    EXPECT_EQ(testsupport::ReadFile(FileIn("c.flv")), clip);
}

TEST_F(TaskReportsTest, FailureMarksTheRowAndKeepsTheFetcher) {
    const int row = Download("http://page/m", "/missing.flv", "m.flv");
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FAILED; }));
    EXPECT_EQ(Cell(row, COL_PROGRESS), "0%");
    EXPECT_NE(table.FetcherInSlot(0), nullptr);
    EXPECT_EQ(table.Running(), 0);
    EXPECT_FALSE(std::filesystem::exists(FileIn("m.flv")));
    EXPECT_FALSE(std::filesystem::exists(FileIn("m.flv.part")));
    // Start retries a failed download; once the server has the file, it finishes.
    server.ServeBytes("/later.flv", clip);
    table.TaskModel().SetItemText(row, COL_FLV, server.Url("/later.flv"));
    table.SelectRow(row, true);
    table.OnStart();
    EXPECT_EQ(table.GetTaskState(row), TASK_DOWNLOADING);
    EXPECT_EQ(table.TaskModel().GetItemReason(row), "");
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FINISH; }));
    EXPECT_EQ(testsupport::ReadFile(FileIn("m.flv")), clip);
}

// Every failure keeps its reason in the row's tooltip, in the user's words.
TEST_F(TaskReportsTest, EachFailureShowsItsReasonInTheTooltip) {
    server.ServeTruncated("/short.flv", 100000, std::string(30000, 'x'));
    const std::string refused = "http://127.0.0.1:1/v.flv";
    const struct {
        std::string url;
        std::string reason;
    } cases[] = {
        {server.Url("/missing.flv"), "The server answered 404 Not Found."},
        {server.Url("/short.flv"), "The connection was lost after 29 KB."},
        {refused, "The server could not be reached."},
        {"http://nothing.invalid/v.flv", "The server's name could not be found."},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        Add("http://page/f" + std::to_string(n), "f" + std::to_string(n) + ".flv");
        const int row = table.GetItemCount() - 1;
        const int taskId = table.TaskModel().GetItemData(row);
        table.TaskModel().SetItemText(row, COL_FLV, c.url);
        table.SetTaskState(row, TASK_DOWNLOADING);
        table.RaiseRunning();
        table.StartFetcher(c.url, "f" + std::to_string(n++) + ".flv", taskId);
        ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FAILED; }));
        for (int column = 0; column < kTaskColumnCount; ++column) {
            EXPECT_EQ(table.TaskModel()
                          .data(table.TaskModel().index(row, column), Qt::ToolTipRole)
                          .toString()
                          .toStdString(),
                      c.reason);
        }
        EXPECT_EQ(Cell(row, COL_STATE), "");  // no column of its own
    }
    // The resolver's failures and any later ones go the same way.
    table.FailTask(0, "The page has no video.");
    EXPECT_EQ(table.TaskModel().GetItemReason(0), "The page has no video.");
    EXPECT_EQ(table.GetTaskState(0), TASK_FAILED);
    table.SetTaskState(0, TASK_WAIT);
    EXPECT_EQ(table.TaskModel().GetItemReason(0), "");
}

// The slow server offers no validator: the kept bytes cannot be trusted, so the download
// starts over in its own part file.
TEST_F(TaskReportsTest, StoppedTaskWithoutValidatorRestartsFromByteZero) {
    const int row = Download("http://page/s", "/slow.flv", "s.flv");
    ASSERT_TRUE(WaitFor([&] { return Cell(row, COL_PROGRESS) != "0 %"; }));
    EXPECT_NE(table.GetSpeedText(), "0 KB");
    table.StopTask(row);
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_STOP; }));
    EXPECT_FALSE(std::filesystem::exists(FileIn("s.flv")));
    EXPECT_TRUE(std::filesystem::exists(FileIn("s.flv.part")));  // Stop keeps what came
    EXPECT_EQ(table.Running(), 0);
    EXPECT_EQ(table.GetSpeedText(), "0 KB");

    table.SelectRow(row, true);
    table.OnStart();
    EXPECT_EQ(table.GetTaskState(row), TASK_DOWNLOADING);
    EXPECT_EQ(Cell(row, COL_PROGRESS), "0 %");
    EXPECT_EQ(table.Running(), 1);
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FINISH; }, 15000));
    EXPECT_EQ(testsupport::ReadFile(FileIn("s.flv")), TestHttpServer::SlowBody(400000));
    EXPECT_FALSE(std::filesystem::exists(FileIn("s.flv.part")));
    EXPECT_EQ(table.Running(), 0);
}

TEST_F(TaskReportsTest, LateReportOfAReplacedFetcherLeavesTheNewRunAlone) {
    const int row = Download("http://page/r", "/slow.flv", "r.flv");
    ASSERT_TRUE(WaitFor([&] { return Cell(row, COL_PROGRESS) != "0 %"; }));
    // Stop and restart before the stop report is handled.
    table.StopTask(row);
    table.SelectRow(row, true);
    table.SetTaskState(row, TASK_STOP);
    table.OnStart();
    // The replaced run gave its place back; the new run holds one.
    EXPECT_EQ(table.Running(), 1);
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) != TASK_DOWNLOADING; }, 15000));
    EXPECT_EQ(table.GetTaskState(row), TASK_FINISH);
    EXPECT_EQ(table.Running(), 0);
    EXPECT_EQ(testsupport::ReadFile(FileIn("r.flv")).size(), 400000u);
}

TEST_F(TaskReportsTest, DeleteDuringDownloadRemovesRowAndPartialFile) {
    const int row = Download("http://page/d", "/slow.flv", "d.flv");
    ASSERT_TRUE(WaitFor([&] { return Cell(row, COL_PROGRESS) != "0 %"; }));
    table.SelectRow(row, true);
    table.OnDelete();
    EXPECT_EQ(table.GetItemCount(), 0);
    // The fetcher went with its row, and its part file with it.
    EXPECT_EQ(table.FetcherInSlot(0), nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(std::filesystem::exists(FileIn("d.flv")));
    EXPECT_FALSE(std::filesystem::exists(FileIn("d.flv.part")));
    EXPECT_EQ(table.Running(), 0);
}

TEST_F(TaskReportsTest, ReportsForUnknownTasksAreIgnored) {
    Add("http://page/u");
    table.OnFetchProgress(FETCH_DONE, -1, 1);
    table.OnFetchProgress(FETCH_DONE, 0, 1);    // empty slot
    table.OnFetchProgress(FETCH_DONE, 999, 1);  // beyond the table
    EXPECT_EQ(table.GetTaskState(0), TASK_WAIT);
    EXPECT_EQ(table.GetSpeedText(), "0 KB");
}
