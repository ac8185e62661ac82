#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "app/CMainFrame.h"
#include "chrome/CommandIds.h"
#include "tasks/TaskMessageSeam.h"
#include "view/CListCtrlEx.h"
#include "view/CQuilletView.h"

using namespace tamsel;

namespace {

QStringList MenuTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

void Spin(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frame.OnCreate());
        frame.show();
    }
    void TearDown() override { SetMessageBoxHandler(nullptr); }
    CMainFrame frame;
};

}  // namespace

TEST_F(MainFrameTest, OpensFixedWidthWithCaptionAndNoMaximise) {
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Tamsel"));
    EXPECT_EQ(frame.size(), QSize(630, 500));
    EXPECT_EQ(frame.minimumSize(), QSize(630, 300));
    EXPECT_EQ(frame.maximumSize(), QSize(630, 500));
    EXPECT_FALSE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Dragging a border only changes the height, within its limits.
    frame.resize(900, 200);
    EXPECT_EQ(frame.size(), QSize(630, 300));
    frame.resize(100, 800);
    EXPECT_EQ(frame.size(), QSize(630, 500));
}

TEST_F(MainFrameTest, StatusBarShowsSpeedPanes) {
    EXPECT_GE(frame.statusBar()->minimumHeight(), 30);
    EXPECT_EQ(frame.StatusPane(1)->text(), QStringLiteral("Download Speed :"));
    EXPECT_EQ(frame.StatusPane(2)->text(), QStringLiteral("0 KB"));
    for (int pane : {1, 2}) {
        const QLabel* label = frame.StatusPane(pane);
        EXPECT_GE(label->width(), 110);
        EXPECT_GE(label->width(), label->sizeHint().width()) << "pane " << pane << " cuts its text";
    }
}

TEST_F(MainFrameTest, MenusCarryTheirItems) {
    const QList<QAction*> menus = frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(MenuTexts(menus[0]->menu()), (QStringList{"&New", "-", "E&xit"}));
    EXPECT_EQ(MenuTexts(menus[1]->menu()),
              (QStringList{"&Select All", "-", "&Delete Selected", "Delete Finished Task", "-",
                           "Open Target Task"}));
    EXPECT_EQ(MenuTexts(menus[2]->menu()), (QStringList{"&Start", "&Stop"}));
    EXPECT_EQ(MenuTexts(menus[3]->menu()), (QStringList{"&About Quillet..."}));
    EXPECT_EQ(menus[0]->menu()->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_FALSE(frame.OpenTargetAction()->isEnabled());
}

TEST_F(MainFrameTest, SpeedTimerKeepsTickingWhileAModalDialogIsOpen) {
    frame.StatusPane(2)->setText(QStringLiteral("stale"));
    // A message box held open for 1.5 s: the one-second timer still writes the pane.
    QString seenDuringDialog;
    SetMessageBoxHandler([&](const std::string&, const std::string&, unsigned) {
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
        seenDuringDialog = frame.StatusPane(2)->text();
        return IDCANCEL;
    });
    frame.GetActiveView()->TaskModel().InsertItem();
    frame.GetActiveView()->SetTaskState(0, TASK_DOWNLOADING);
    frame.close();  // asks the exit question, which the handler holds open
    EXPECT_EQ(seenDuringDialog, QStringLiteral("0 KB"));
}

TEST_F(MainFrameTest, RefusedCloseKeepsWindowAndTimers) {
    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return IDCANCEL; });
    CQuilletView* view = frame.GetActiveView();
    view->TaskModel().InsertItem();
    view->SetTaskState(0, TASK_DOWNLOADING);
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    EXPECT_TRUE(frame.TimersRunning());
    frame.StatusPane(2)->setText(QStringLiteral("stale"));
    Spin(1300);
    EXPECT_EQ(frame.StatusPane(2)->text(), QStringLiteral("0 KB"));

    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return IDOK; });
    EXPECT_TRUE(frame.close());
    EXPECT_FALSE(frame.isVisible());
    EXPECT_FALSE(frame.TimersRunning());
}

TEST_F(MainFrameTest, ViewFillsTheClientArea) {
    CQuilletView* view = frame.GetActiveView();
    ASSERT_NE(view->TaskList(), nullptr);
    EXPECT_EQ(view->TaskList()->geometry(), view->rect());
    frame.resize(630, 350);
    QApplication::processEvents();
    EXPECT_EQ(view->TaskList()->geometry(), view->rect());
}
