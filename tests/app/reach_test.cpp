// What a desktop user reaches for: keys and double-clicks on the list, links dropped
// on the window, and a word when nothing on the desktop can open a place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/CMainFrame.h"
#include "chrome/CommandIds.h"
#include "dialogs/CNewTaskDlg.h"
#include "service/ServiceContract.h"
#include "tasks/TaskMessageSeam.h"
#include "tests/support/QtTestEnv.h"
#include "view/CListCtrlEx.h"
#include "view/CQuilletView.h"

using namespace tamsel;

namespace {

class ReachTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(frame.OnCreate());
        frame.show();
        view = frame.GetActiveView();
        SetMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned) {
            messages.push_back(caption + ": " + text);
            return answer;
        });
        savedOpener = CQuilletView::s_urlOpener;
        CQuilletView::s_urlOpener = [this](const QUrl& url) {
            opened.push_back(url);
            return openerWorks;
        };
    }
    void TearDown() override {
        CQuilletView::s_urlOpener = savedOpener;
        SetMessageBoxHandler(nullptr);
    }

    // Rows in the given states, each named <row>.flv in the scratch folder.
    void AddRows(std::initializer_list<int> states) {
        for (int state : states) {
            const int row = view->GetItemCount();
            view->Entry().m_strUrl = "http://127.0.0.1:1/" + std::to_string(row);
            view->Entry().m_strRename = std::to_string(row) + ".flv";
            view->Entry().m_strSaveFolder = folder.path().toStdString();
            ASSERT_EQ(view->AddTask(), 0);
            view->SetTaskState(row, state);
        }
    }
    std::string PathOf(int row) const {
        return folder.path().toStdString() + "/" + std::to_string(row) + ".flv";
    }
    void CreateFile(int row) const {
        QFile file(QString::fromStdString(PathOf(row)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void SelectOnly(int row) {
        view->TaskSelection().clearSelection();
        view->SelectRow(row, true);
        view->TaskSelection().setCurrentIndex(view->TaskModel().index(row, 0),
                                              QItemSelectionModel::NoUpdate);
    }
    // A double-click as the window system delivers it: a click, then the second press.
    void DoubleClickRow(int row) {
        QWidget* viewport = view->TaskList()->viewport();
        const QPoint at =
            view->TaskList()->visualRect(view->TaskModel().index(row, COL_FILE_NAME)).center();
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
    }
    // Waits for the opener or a message: a file manager asked over D-Bus answers later.
    bool WaitForAnOutcome() {
        return testsupport::WaitForEvents([this] { return !opened.empty() || !messages.empty(); });
    }

    QTemporaryDir folder;
    CMainFrame frame;
    CQuilletView* view = nullptr;
    std::vector<std::string> messages;
    std::vector<QUrl> opened;
    bool openerWorks = true;
    int answer = IDOK;
    CQuilletView::UrlOpener savedOpener;
};

TEST_F(ReachTest, DeleteAndSelectAllKeysRunTheirCommands) {
    AddRows({TASK_WAIT, TASK_STOP, TASK_FAILED});
    CListCtrlEx* list = view->TaskList();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->GetSelectedCount(), 3);
    EXPECT_EQ(view->TaskSelection().currentIndex().row(), 2);  // as the Select All command

    SelectOnly(1);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(messages, std::vector<std::string>{"Message: Are you sure to delete task ?"});
    ASSERT_EQ(view->GetItemCount(), 2);
    EXPECT_EQ(view->TaskModel().GetItemText(1, COL_FILE_NAME), "2.flv");
}

TEST_F(ReachTest, EnterAndDoubleClickOpenAFinishedFileElseTheTarget) {
    AddRows({TASK_FINISH, TASK_STOP});
    CreateFile(0);
    CListCtrlEx* list = view->TaskList();
    list->setFocus();

    SelectOnly(0);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(PathOf(0))));

    opened.clear();
    DoubleClickRow(0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(PathOf(0))));

    // Another row goes where Open Target goes: its folder, as no file exists.
    opened.clear();
    DoubleClickRow(1);
    ASSERT_TRUE(WaitForAnOutcome());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(folder.path() + QStringLiteral("/")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReachTest, WithNothingToOpenWithTheUserIsToldWhere) {
    AddRows({TASK_FINISH, TASK_STOP});
    CreateFile(0);
    openerWorks = false;
    const std::string dir = folder.path().toStdString() + "/";
    struct Case {
        std::function<void()> act;
        std::string message;
    } cases[] = {
        {[&] { view->OnOpenRow(0); },
         "Message: No application could be started for the file. It is here:\n" + PathOf(0)},
        {[&] {
             SelectOnly(1);
             view->OnCommand(ID_OPEN_TARGET);
         },
         "Message: No file manager could be started. The folder is here:\n" + dir},
        {[&] { view->OnCommand(ID_CONVERT); },
         std::string("Message: No web browser could be started. Open this address in one:\n") +
             kHomePageAddress},
    };
    for (const Case& c : cases) {
        messages.clear();
        opened.clear();
        c.act();
        ASSERT_TRUE(testsupport::WaitForEvents([this] { return !messages.empty(); }));
        EXPECT_EQ(messages, std::vector<std::string>{c.message});
    }
}

TEST_F(ReachTest, ContextMenuLabelFollowsTheRowSelectedNow) {
    AddRows({TASK_STOP, TASK_WAIT, TASK_FINISH});
    view->TaskModel().SetItemText(2, COL_FLV, "http://media/2.flv");
    view->SelectRow(0, true);
    view->SelectRow(2, true);
    view->SelectRow(2, false);  // row 0 alone; row 2 was selected last
    std::unique_ptr<QMenu> menu(view->BuildContextMenu());
    const QAction* openTarget = menu->actions().last();
    EXPECT_EQ(openTarget->text(), QStringLiteral("Open Target Folder"));
    EXPECT_TRUE(openTarget->isEnabled());
}

// Drops `data` on the window and returns the address the New Task dialog opened
// with, or "(no dialog)".
QString DropOn(CMainFrame& frame, QMimeData& data) {
    const QPoint point(frame.width() / 2, frame.height() / 2);
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &enter);
    if (!enter.isAccepted()) {
        return QStringLiteral("(refused)");
    }
    QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &drop);
    // The dialog runs its own loop: a timer inside it reads and cancels it.
    QString seen = QStringLiteral("(no dialog)");
    bool done = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<CNewTaskDlg*>(QApplication::activeModalWidget())) {
            seen = dialog->m_editUrl->text();
            dialog->m_btnCancel->click();
            done = true;
        }
    });
    poll.start();
    testsupport::WaitForEvents([&] { return done; });
    return seen;
}

TEST_F(ReachTest, ADroppedLinkOrTextAddressOpensTheNewTaskDialogFilledIn) {
    struct Case {
        QList<QUrl> urls;
        QString text;
        QString shown;
    } cases[] = {
        {{QUrl(QStringLiteral("https://video.example/watch?v=1"))},
         QString(),
         QStringLiteral("https://video.example/watch?v=1")},
        {{QUrl::fromLocalFile(QStringLiteral("/tmp/a.flv")),
          QUrl(QStringLiteral("http://video.example/b"))},
         QString(),
         QStringLiteral("http://video.example/b")},
        {{},
         QStringLiteral("  http://video.example/c \nsecond line"),
         QStringLiteral("http://video.example/c")},
        {{}, QStringLiteral("just some words"), QStringLiteral("(refused)")},
        {{QUrl::fromLocalFile(QStringLiteral("/tmp/a.flv"))},
         QString(),
         QStringLiteral("(refused)")},
        {{},
         QStringLiteral("http://") + QString(9000, QLatin1Char('a')),
         QStringLiteral("(refused)")},
    };
    for (const Case& c : cases) {
        QMimeData data;
        if (!c.urls.isEmpty()) {
            data.setUrls(c.urls);
        }
        if (!c.text.isNull()) {
            data.setText(c.text);
        }
        EXPECT_EQ(DropOn(frame, data), c.shown) << c.text.toStdString();
    }
    EXPECT_EQ(view->GetItemCount(), 0);  // every dialog was cancelled
}

}  // namespace
