#include <QFile>

#include "tests/tasks/TaskTableFixture.h"

namespace {
const char* const kExitQuestion =
    "There are tasks running. \n Exit program will stop all tasks. \n Are you sure to exit ?";
}

TEST_F(TaskTableTest, CommandsWithNothingToDoAskNothing) {
    table.OnStart();
    table.OnStop();
    table.OnDelete();
    table.OnDeleteFinished();
    table.OnSelectAll();
    table.OnOpenTarget();
    EXPECT_EQ(table.CanExit(), 1);
    Add("http://c/0");
    table.SelectRow(0, true);
    table.OnStart();  // a Wait row: nothing to restart
    table.OnStop();   // nothing downloading
    table.OnDeleteFinished();
    EXPECT_TRUE(table.messages.empty());
    EXPECT_EQ(table.GetTaskState(0), TASK_WAIT);
}

TEST_F(TaskTableTest, DeleteAsksOnceAndRemovesEverySelectedRow) {
    for (int i = 0; i < 5; ++i) {
        Add("http://del/" + std::to_string(i));
    }
    for (int row : {0, 2, 3}) {
        table.SelectRow(row, true);
    }
    table.answer = IDCANCEL;
    table.OnDelete();
    EXPECT_EQ(table.GetItemCount(), 5);
    table.answer = IDOK;
    table.OnDelete();
    EXPECT_EQ(table.messages, (std::vector<std::string>{"Are you sure to delete task ?",
                                                        "Are you sure to delete task ?"}));
    ASSERT_EQ(table.GetItemCount(), 2);
    EXPECT_EQ(table.FindRowByTaskId(1), 0);
    EXPECT_EQ(table.FindRowByTaskId(4), 1);
    EXPECT_EQ(table.UrlQueue(), (std::vector<std::string>{"http://del/1", "http://del/4"}));
    // A deleted address may come again.
    EXPECT_EQ(Add("http://del/0"), 0);
}

TEST_F(TaskTableTest, DeleteFinishedTakesFinishedRowsWhateverTheSelection) {
    for (int i = 0; i < 4; ++i) {
        Add("http://fin/" + std::to_string(i));
    }
    table.SetTaskState(0, TASK_FINISH);
    table.SetTaskState(2, TASK_FINISH);
    table.SetTaskState(3, TASK_FAILED);
    table.SelectRow(3, true);
    table.OnDeleteFinished();
    EXPECT_EQ(table.messages, std::vector<std::string>{"Are you sure to delete finished task ?"});
    ASSERT_EQ(table.GetItemCount(), 2);
    EXPECT_EQ(Cell(0, COL_SOURCE), "http://fin/1");
    EXPECT_EQ(Cell(1, COL_SOURCE), "http://fin/3");
}

TEST_F(TaskTableTest, StopAsksOnceAndLeavesRowsDownloadingUntilReported) {
    Add("http://stop/0");
    Add("http://stop/1");
    table.SetTaskState(0, TASK_DOWNLOADING);
    table.SetTaskState(1, TASK_WAIT);
    table.SelectRow(1, true);
    table.OnStop();  // only a Wait row selected
    EXPECT_TRUE(table.messages.empty());
    table.SelectRow(0, true);
    table.answer = IDCANCEL;
    table.OnStop();
    table.answer = IDOK;
    table.OnStop();
    EXPECT_EQ(table.messages.size(), 2u);
    EXPECT_EQ(table.messages.back(), "Are you sure to stop task ?");
    EXPECT_EQ(table.GetTaskState(0), TASK_DOWNLOADING);
}

TEST_F(TaskTableTest, SelectAllSelectsEveryRowAndFocusesTheLast) {
    for (int i = 0; i < 3; ++i) {
        Add("http://all/" + std::to_string(i));
    }
    table.OnSelectAll();
    EXPECT_EQ(table.GetSelectedCount(), 3);
    EXPECT_EQ(table.TaskSelection().currentIndex().row(), 2);
}

TEST_F(TaskTableTest, OpenTargetSelectsTheFileOrOpensTheFolder) {
    Add("http://open/0", "here.flv");
    Add("http://open/1", "missing.flv");
    QFile file(folder.filePath(QStringLiteral("here.flv")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const std::string dir = folder.path().toStdString() + "/";

    table.SelectRow(0, true);
    table.OnOpenTarget();
    table.SelectRow(0, false);
    table.SelectRow(1, true);
    table.OnOpenTarget();
    table.SelectRow(0, true);  // two rows: nothing
    table.OnOpenTarget();
    EXPECT_EQ(table.openedTargets,
              (std::vector<std::string>{"select:" + dir + "here.flv", "folder:" + dir}));
}

TEST_F(TaskTableTest, LastSelectedRowOutlivesItsDeletion) {
    Add("http://last/0");
    Add("http://last/1");
    table.SelectRow(1, true);
    EXPECT_EQ(table.LastSelectedRow(), 1);
    table.OnDelete();
    EXPECT_EQ(table.LastSelectedRow(), 1);
    table.SelectRow(0, true);
    EXPECT_EQ(table.LastSelectedRow(), 0);
}

TEST_F(TaskTableTest, ExitAsksTheThreeLineQuestionOnlyWhileDownloading) {
    Add("http://exit/0");
    EXPECT_EQ(table.CanExit(), 1);
    EXPECT_TRUE(table.messages.empty());
    table.SetTaskState(0, TASK_DOWNLOADING);
    table.answer = IDCANCEL;
    EXPECT_EQ(table.CanExit(), 0);
    table.answer = IDOK;
    EXPECT_EQ(table.CanExit(), 1);
    EXPECT_EQ(table.messages, (std::vector<std::string>{kExitQuestion, kExitQuestion}));
}

TEST_F(TaskTableTest, NewTaskWithQueuedAddressShowsTheNotice) {
    table.Entry().m_strSaveFolder = folder.path().toStdString();
    table.Entry().m_strRename = "a.flv";
    table.Entry().m_strUrl = "http://new/0";
    table.NewTaskConfirmed();
    table.Entry().m_strUrl = "http://new/0";
    table.NewTaskConfirmed();
    EXPECT_EQ(table.messages, std::vector<std::string>{"The URL address already exists."});
    EXPECT_EQ(table.GetItemCount(), 1);
    EXPECT_EQ(table.queued, 1);  // only the task that was added goes to the resolver
    table.Entry().m_strUrl.clear();
    table.NewTaskConfirmed();
    EXPECT_EQ(table.queued, 1);
}
