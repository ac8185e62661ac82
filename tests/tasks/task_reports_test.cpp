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
    // Failed without a stop flag: Start leaves it alone.
    table.SelectRow(row, true);
    table.OnStart();
    EXPECT_EQ(table.GetTaskState(row), TASK_FAILED);
}

TEST_F(TaskReportsTest, StoppedTaskRestartsFromByteZero) {
    const int row = Download("http://page/s", "/slow.flv", "s.flv");
    ASSERT_TRUE(WaitFor([&] { return Cell(row, COL_PROGRESS) != "0 %"; }));
    EXPECT_NE(table.GetSpeedText(), "0 KB");
    table.StopTask(row);
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_STOP; }));
    EXPECT_FALSE(std::filesystem::exists(FileIn("s.flv")));
    EXPECT_EQ(table.Running(), 0);
    EXPECT_EQ(table.GetSpeedText(), "0 KB");

    table.SelectRow(row, true);
    table.OnStart();
    EXPECT_EQ(table.GetTaskState(row), TASK_DOWNLOADING);
    EXPECT_EQ(Cell(row, COL_PROGRESS), "0 %");
    EXPECT_EQ(table.Running(), 1);
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(row) == TASK_FINISH; }, 15000));
    EXPECT_EQ(testsupport::ReadFile(FileIn("s.flv")), TestHttpServer::SlowBody(400000));
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
    // The worker's stop report finds no row; the slot's fetcher ends on its own.
    ASSERT_TRUE(WaitFor([&] {
        const MediaFetcher* fetcher = table.FetcherInSlot(0);
        return fetcher && fetcher->IsThreadFinished();
    }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(std::filesystem::exists(FileIn("d.flv")));
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
