#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "app/CMainFrame.h"
#include "chrome/CommandIds.h"
#include "view/CQuilletView.h"

using namespace tamsel;

namespace {

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frame.OnCreate());
        view = frame.GetActiveView();
        for (int state : {TASK_WAIT, TASK_FINISH, TASK_DOWNLOADING, TASK_STOP, TASK_FAILED}) {
            const int row = view->TaskModel().InsertItem();
            view->TaskModel().SetItemData(row, row);
            view->SetTaskState(row, state);
        }
        view->TaskModel().SetItemText(1, COL_FLV, "http://media/1.flv");
        view->TaskModel().SetItemText(2, COL_FLV, "http://media/2.flv");
    }

    // The text and enabling of the Open Target item for the current selection.
    std::pair<QString, bool> OpenTargetItem() {
        std::unique_ptr<QMenu> menu(view->BuildContextMenu());
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == ID_OPEN_TARGET) {
                return {action->text(), action->isEnabled()};
            }
        }
        return {};
    }

    void SelectOnly(std::initializer_list<int> rows) {
        view->TaskSelection().clearSelection();
        for (int row : rows) {
            view->SelectRow(row, true);
        }
    }

    CMainFrame frame;
    CQuilletView* view = nullptr;
};

}  // namespace

TEST_F(ViewTest, ContextMenuListsTheCommands) {
    std::unique_ptr<QMenu> menu(view->BuildContextMenu());
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(texts,
              (QStringList{"New", "-", "Start", "Stop", "-", "Delete", "Delete Finished Task", "-",
                           "Select All", "-", "Open Target Folder"}));
}

TEST_F(ViewTest, OpenTargetItemFollowsTheSelection) {
    const QString folder = QStringLiteral("Open Target Folder");
    const QString task = QStringLiteral("Open Target Task");
    struct Case {
        std::initializer_list<int> rows;
        QString text;
        bool enabled;
    };
    const Case cases[] = {
        {{}, folder, false},     {{0}, folder, true},  // Wait
        {{1}, task, true},                             // Finish with a media address
        {{2}, task, true},                             // DownLoading with a media address
        {{3}, folder, true},                           // Stop
        {{4}, folder, true},                           // Failed
        {{0, 1}, folder, false},
    };
    for (const Case& c : cases) {
        SelectOnly(c.rows);
        const auto [text, enabled] = OpenTargetItem();
        EXPECT_EQ(text, c.text) << "rows " << c.rows.size();
        EXPECT_EQ(enabled, c.enabled) << "rows " << c.rows.size();
    }
}

TEST_F(ViewTest, MainMenuOpenTargetFollowsTheLastContextMenu) {
    QAction* item = frame.OpenTargetAction();
    SelectOnly({1});
    view->OnUpdateOpenTarget(item);
    EXPECT_FALSE(item->isEnabled());  // the context menu has not opened yet
    OpenTargetItem();
    view->OnUpdateOpenTarget(item);
    EXPECT_TRUE(item->isEnabled());
    SelectOnly({0, 1});
    view->OnUpdateOpenTarget(item);
    EXPECT_TRUE(item->isEnabled());  // still the state of the last opening
    OpenTargetItem();
    view->OnUpdateOpenTarget(item);
    EXPECT_FALSE(item->isEnabled());
}
