#include "tests/e2e/RoadFixture.h"

using testsupport::MakeTestBytes;

TEST_F(RoadFixture, NewTaskBecomesAFinishedFileNamedAfterItsPage) {
    AddVideoPage("/watch/1", "My Clip", "/media/1.flv");
    site.ServeSlow("/media/1.flv", 300000, 30000, std::chrono::milliseconds(30));
    OpenWindow();

    EnterTask(site.Url("/watch/1"));
    ASSERT_EQ(view->GetItemCount(), 1);
    EXPECT_EQ(State(0), TASK_WAIT);
    EXPECT_EQ(Cell(0, COL_SOURCE), site.Url("/watch/1"));

    ASSERT_TRUE(WaitFor([&] { return State(0) == TASK_DOWNLOADING; }));
    EXPECT_EQ(Cell(0, COL_FLV), site.Url("/media/1.flv"));
    EXPECT_EQ(Cell(0, COL_FILE_NAME), "My Clip.flv");
    ASSERT_TRUE(WaitFor([&] { return State(0) == TASK_FINISH; }));
    EXPECT_EQ(Cell(0, COL_PROGRESS), "100.00 %");
    EXPECT_EQ(Cell(0, COL_SIZE), "293 KB");
    EXPECT_EQ(testsupport::ReadFile(FileIn("My Clip.flv")),
              testsupport::TestHttpServer::SlowBody(300000));
    EXPECT_TRUE(questions.empty());
    // The resolver is idle again: a later New starts it anew.
    ASSERT_TRUE(WaitFor([&] { return !view->Resolver().IsResolving(); }));
}

TEST_F(RoadFixture, UsersOwnNameWinsAndDuplicatesAreRefused) {
    AddVideoPage("/watch/2", "Ignored Title", "/media/2.flv");
    site.ServeBytes("/media/2.flv", MakeTestBytes(5000, 2));
    OpenWindow();

    EnterTask(site.Url("/watch/2"), "Mine");
    EnterTask(site.Url("/watch/2"));
    EXPECT_EQ(questions, std::vector<std::string>{"The URL address already exists."});
    ASSERT_EQ(view->GetItemCount(), 1);
    ASSERT_TRUE(WaitFor([&] { return State(0) == TASK_FINISH; }));
    EXPECT_EQ(Cell(0, COL_FILE_NAME), "Mine.flv");
    EXPECT_EQ(testsupport::ReadFile(FileIn("Mine.flv")), MakeTestBytes(5000, 2));
}
