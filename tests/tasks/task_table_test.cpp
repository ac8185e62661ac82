#include "tests/tasks/TaskTableFixture.h"

TEST_F(TaskTableTest, NewTaskGetsNextNumberAndStartsInWait) {
    ASSERT_EQ(Add("http://a.example/1"), 0);
    ASSERT_EQ(Add("http://a.example/2", ""), 0);  // time-based name
    ASSERT_EQ(table.GetItemCount(), 2);
    EXPECT_EQ(table.TaskModel().GetItemData(0), 0);
    EXPECT_EQ(table.TaskModel().GetItemData(1), 1);
    EXPECT_EQ(table.GetTaskState(1), TASK_WAIT);
    EXPECT_EQ(Cell(1, COL_SIZE), "0 K");
    EXPECT_EQ(Cell(1, COL_PROGRESS), "0 %");
    EXPECT_EQ(Cell(1, COL_SOURCE), "http://a.example/2");
    EXPECT_EQ(Cell(1, COL_FLV), "");
    EXPECT_EQ(Cell(0, COL_FILE_NAME), "clip.flv");
    // The time-based name: fourteen digits and ".flv".
    const std::string timeName = Cell(1, COL_FILE_NAME);
    ASSERT_EQ(timeName.size(), 18u);
    EXPECT_EQ(timeName.substr(14), ".flv");
    EXPECT_EQ(table.FolderFor("http://a.example/1"), folder.path().toStdString());
    EXPECT_EQ(table.FolderFor("http://a.example/3"), "");
}

TEST_F(TaskTableTest, NumbersAreNeverReused) {
    Add("http://a.example/1");
    Add("http://a.example/2");
    table.OnSelectAll();
    table.OnDelete();
    ASSERT_EQ(table.GetItemCount(), 0);
    Add("http://a.example/1");
    EXPECT_EQ(table.TaskModel().GetItemData(0), 2);
    EXPECT_EQ(table.NextTaskId(), 3);
}

TEST_F(TaskTableTest, DuplicateAddressIsRefusedButNearDuplicatesAreNot) {
    Add("http://a.example/v");
    Add("http://a.example/other");
    struct Case {
        const char* url;
        int refused;
    } cases[] = {
        {"http://a.example/v", 1},
        {"http://a.example/v/", 0},
        {"http://A.example/v", 0},
        {"http://a.example/V", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Add(c.url), c.refused) << c.url;
    }
    EXPECT_EQ(table.GetItemCount(), 5);
    EXPECT_EQ(table.UrlQueue().size(), 5u);
}

TEST_F(TaskTableTest, QueuePositionFollowsItsAddressAcrossRemovals) {
    for (const char* url : {"http://q/0", "http://q/1", "http://q/2", "http://q/3"}) {
        Add(url);
    }
    ASSERT_TRUE(table.MoveQueuePast("http://q/1"));  // "http://q/2" is next
    EXPECT_FALSE(table.MoveQueuePast("http://q/9"));
    table.ForgetTaskUrl("http://q/3");  // after the cursor: the cursor stays
    EXPECT_EQ(table.NextQueuedUrl(), "http://q/2");
    table.ForgetTaskUrl("http://q/0");  // before the cursor: it moves down with its address
    EXPECT_EQ(table.QueuePos(), 1);
    EXPECT_EQ(table.NextQueuedUrl(), "http://q/2");
    table.ForgetTaskUrl("http://q/2");  // the address at the cursor: the next one moves up
    EXPECT_EQ(table.NextQueuedUrl(), "");
    table.ForgetTaskUrl("");
    table.ForgetTaskUrl("http://not/queued");
    EXPECT_EQ(table.UrlQueue(), std::vector<std::string>{"http://q/1"});
}

TEST_F(TaskTableTest, NextQueuedUrlIsEmptyAtTheEnd) {
    EXPECT_EQ(table.NextQueuedUrl(), "");
    Add("http://q/0");
    EXPECT_EQ(table.NextQueuedUrl(), "http://q/0");
    table.SkipQueuedUrl();
    EXPECT_EQ(table.NextQueuedUrl(), "");
    table.SkipQueuedUrl();  // nothing left to skip: the cursor stays at the end
    EXPECT_EQ(table.QueuePos(), 1);
    EXPECT_EQ(table.NextQueuedUrl(), "");
    Add("http://q/1");
    EXPECT_EQ(table.NextQueuedUrl(), "http://q/1");
}

TEST_F(TaskTableTest, LookupsFindTasksAfterRowsAboveAreDeleted) {
    for (const char* url : {"http://r/0", "http://r/1", "http://r/2", "http://r/3"}) {
        Add(url);
    }
    table.SelectRow(0, true);
    table.SelectRow(2, true);
    table.OnDelete();
    EXPECT_EQ(table.FindRowByTaskId(1), 0);
    EXPECT_EQ(table.FindRowByTaskId(3), 1);
    EXPECT_EQ(table.FindRowByTaskId(0), -1);
    EXPECT_EQ(table.FindRowByTaskId(2), -1);
    EXPECT_EQ(table.FindRowByUrl("http://r/3"), 1);
    EXPECT_EQ(table.FindRowByUrl("http://r/2"), -1);
    EXPECT_EQ(table.HasRowWithUrl("http://r/1"), 1);
    EXPECT_EQ(table.HasRowWithUrl("http://r/0"), 0);
}

TEST_F(TaskTableTest, DeletedAddressCanBeAddedAgainWithItsNewFolder) {
    Add("http://d/0");
    table.SelectRow(0, true);
    table.OnDelete();
    QTemporaryDir other;
    table.Entry() = {other.path().toStdString(), "http://d/0", "x.flv"};
    EXPECT_EQ(table.AddTask(), 0);
    EXPECT_EQ(table.FolderFor("http://d/0"), other.path().toStdString());
    EXPECT_EQ(table.TaskModel().GetItemData(0), 1);
}

TEST_F(TaskTableTest, AnyTaskInStateHonoursTheSelection) {
    Add("http://s/0");
    Add("http://s/1");
    table.SetTaskState(1, TASK_FINISH);
    EXPECT_EQ(table.AnyTaskInState(TASK_FINISH, 0), 1);
    EXPECT_EQ(table.AnyTaskInState(TASK_FINISH, 1), 0);
    table.SelectRow(1, true);
    EXPECT_EQ(table.AnyTaskInState(TASK_FINISH, 1), 1);
    EXPECT_EQ(table.AnyTaskInState(TASK_STOP, 0), 0);
}

TEST_F(TaskTableTest, StopTaskWithoutMediaOrFetcherChangesNothing) {
    Add("http://t/0");
    table.StopTask(0);  // no media address
    table.TaskModel().SetItemText(0, COL_FLV, "http://media/x.flv");
    table.StopTask(0);  // media address, but the slot is empty
    table.StopTask(5);  // no such row
    EXPECT_EQ(table.GetTaskState(0), TASK_WAIT);
    EXPECT_EQ(table.FetcherInSlot(0), nullptr);
}

TEST_F(TaskTableTest, SlotsGrowPastFiftyTasks) {
    for (int i = 0; i < 60; ++i) {
        Add("http://many/" + std::to_string(i));
    }
    EXPECT_EQ(table.TaskModel().GetItemData(59), 59);
    // A slot far beyond fifty holds its own fetcher.
    table.TaskModel().SetItemText(59, COL_FLV, "http://127.0.0.1:1/x.flv");
    table.StartFetcher("http://127.0.0.1:1/x.flv", "x.flv", 59);
    ASSERT_NE(table.FetcherInSlot(59), nullptr);
    EXPECT_EQ(table.FetcherInSlot(58), nullptr);
    EXPECT_EQ(table.FetcherInSlot(60), nullptr);
    EXPECT_EQ(table.FetcherInSlot(-1), nullptr);
    table.SetTaskState(59, TASK_DOWNLOADING);
    // The refused connection ends the run as failed, in its own row.
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(59) == TASK_FAILED; }));
    EXPECT_EQ(Cell(59, COL_PROGRESS), "0%");
}

TEST_F(TaskTableTest, TitleMapIsSharedSafelyWithTitleThreads) {
    // Two real title reads against an address nobody answers: nothing is filed,
    // and removing entries meanwhile is safe.
    Add("http://127.0.0.1:1/one", "");
    Add("http://127.0.0.1:1/two", "");
    table.ForgetTaskUrl("http://127.0.0.1:1/one");
    table.ShutdownWorkers();
    EXPECT_EQ(table.TitleFor("http://127.0.0.1:1/two"), "");
}
