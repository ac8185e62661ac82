// Addresses from outside the dialog, the row a command acts on, opening a row, and
// what is said when a task ends.
#include <QFile>

#include "download/FetchCodes.h"
#include "tasks/TaskNotice.h"
#include "tests/tasks/TaskTableFixture.h"

namespace {

TEST_F(TaskTableTest, OpenTargetActsOnTheRowSelectedNowNotTheLastSelected) {
    Add("http://open/0", "zero.flv");
    Add("http://open/1", "one.flv");
    Add("http://open/2", "two.flv");
    const std::string dir = folder.path().toStdString() + "/";
    table.SelectRow(2, true);
    table.SelectRow(0, true);
    table.SelectRow(0, false);  // only row 2 is selected; row 0 was selected last
    ASSERT_EQ(table.LastSelectedRow(), 0);
    EXPECT_EQ(table.SelectedRow(), 2);
    table.OnOpenTarget();
    EXPECT_EQ(table.openedTargets, std::vector<std::string>{"folder:" + dir});
    table.SelectRow(1, true);
    EXPECT_EQ(table.SelectedRow(), -1);
}

TEST_F(TaskTableTest, OpeningARowOpensAFinishedFileElseItsTarget) {
    Add("http://row/0", "done.flv");
    Add("http://row/1", "gone.flv");
    Add("http://row/2", "wait.flv");
    QFile done(folder.filePath(QStringLiteral("done.flv")));
    ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    done.close();
    QFile waiting(folder.filePath(QStringLiteral("wait.flv")));
    ASSERT_TRUE(waiting.open(QIODevice::WriteOnly));
    waiting.close();
    table.SetTaskState(0, TASK_FINISH);
    table.SetTaskState(1, TASK_FINISH);  // its file was moved away since
    const std::string dir = folder.path().toStdString() + "/";
    for (int row : {0, 1, 2, -1, 3}) {
        table.OnOpenRow(row);
    }
    EXPECT_EQ(table.openedTargets,
              (std::vector<std::string>{"file:" + dir + "done.flv", "folder:" + dir,
                                        "select:" + dir + "wait.flv"}));
}

TEST_F(TaskTableTest, AddressesFromOutsideGoTheDialogsRoad) {
    table.Entry().m_strSaveFolder = folder.path().toStdString();
    table.Entry().m_strRename = "left over.flv";
    // Unreachable pages: the title readers end at once.
    const std::vector<std::string> given = {
        " http://127.0.0.1:1/a ",
        "https://127.0.0.1:1/b",
        "127.0.0.1:1/c",
        "see http://127.0.0.1:1/d",  // the dialog refuses it too
        "",
        "http://",
        "http://127.0.0.1:1/a"};
    EXPECT_EQ(table.AddTasksFromAddresses(given), 4);
    ASSERT_EQ(table.GetItemCount(), 3);
    EXPECT_EQ(Cell(0, COL_SOURCE), "http://127.0.0.1:1/a");
    EXPECT_EQ(Cell(1, COL_SOURCE), "https://127.0.0.1:1/b");
    EXPECT_EQ(Cell(2, COL_SOURCE), "127.0.0.1:1/c");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(table.FolderFor(Cell(row, COL_SOURCE)), folder.path().toStdString());
        // Named by time until the page title is known, never by a left-over name.
        EXPECT_NE(Cell(row, COL_FILE_NAME), "left over.flv");
        EXPECT_EQ(table.GetTaskState(row), TASK_WAIT);
    }
    EXPECT_EQ(table.queued, 3);
    EXPECT_EQ(table.messages, std::vector<std::string>{"The URL address already exists."});
}

TEST_F(TaskTableTest, EndingStatesAreReportedOncePerChangeWithTheirReason) {
    Add("http://end/0", "a.flv");
    Add("http://end/1", "b.flv");
    table.SetTaskState(0, TASK_DOWNLOADING);
    table.SetTaskState(0, TASK_FINISH);
    table.SetTaskState(0, TASK_FINISH);  // no change: no second word
    table.SetTaskState(1, TASK_FAILED);
    table.SetTaskState(-1, TASK_FAILED);
    EXPECT_EQ(table.endedRows,
              (std::vector<std::pair<int, int>>{{0, TASK_FINISH}, {1, TASK_FAILED}}));
    EXPECT_EQ(table.FailureReasonAt(1), "");  // nothing filed: the notice says it generally
    table.FailTask(1, "The disk is full.");
    EXPECT_EQ(table.FailureReasonAt(1), "The disk is full.");
    EXPECT_EQ(table.endedRows.size(), 2u);  // already failed: no second word
}

TEST(TaskNoticeTest, SaysTheFileAndWhyItFailed) {
    struct Case {
        int state;
        const char* reason;
        const char* summary;  // null: no notice
        const char* body;
    } cases[] = {
        {TASK_FINISH, "ignored", "Download finished", "Clip.flv"},
        {TASK_FAILED, "the video server refused the file", "Download failed",
         "Clip.flv: the video server refused the file"},
        {TASK_FAILED, "", "Download failed", "Clip.flv: the download could not be completed"},
        {TASK_STOP, "", nullptr, nullptr},
        {TASK_DOWNLOADING, "", nullptr, nullptr},
        {TASK_WAIT, "", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const auto notice = NoticeForTaskEnd(c.state, "Clip.flv", c.reason);
        ASSERT_EQ(notice.has_value(), c.summary != nullptr) << c.state;
        if (notice) {
            EXPECT_EQ(notice->summary, c.summary);
            EXPECT_EQ(notice->body, c.body);
        }
    }
}

}  // namespace
