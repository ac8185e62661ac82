// Dialog captions are exactly their own: the platform adds no program name to them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/CQuilletApp.h"
#include "chrome/MessageBoxes.h"
#include "dialogs/CAboutDlg.h"
#include "dialogs/CNewTaskDlg.h"
#include "tasks/TaskMessageSeam.h"

using namespace tamsel;

namespace {

// The caption a message box shows, read while it is open.
QString MessageBoxCaption() {
    const MessageBoxHandler previous = SetMessageBoxHandler(nullptr);
    InstallWidgetMessageBoxes();
    QString caption;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        }
    });
    ShowMessageBox("The url address invalid.", "Message", MB_OK | MB_ICONINFORMATION);
    SetMessageBoxHandler(previous);
    return caption;
}

TEST(Captions, DialogsCarryTheirOwnCaptionsOnly) {
    CQuilletApp::SetApplicationNames();
    EXPECT_EQ(QGuiApplication::applicationName(), QStringLiteral("Tamsel"));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("tamsel"));
    CNewTaskDlg newTask;
    CAboutDlg about;
    EXPECT_EQ(newTask.windowTitle(), QStringLiteral("New Task"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(MessageBoxCaption(), QStringLiteral("Message"));
}

// Run in a child on a private X server: shows the New Task dialog and asks the X
// server whether a window is named exactly "New Task".
TEST(Captions, X11Child) {
    if (qEnvironmentVariable("TAMSEL_CAPTION_CHILD") != QStringLiteral("1")) {
        GTEST_SKIP() << "runs inside CaptionsOnX11";
    }
    CQuilletApp::SetApplicationNames();
    CNewTaskDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::processEvents();
    // The window tree lists each window's name as the X server holds it.
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    ASSERT_TRUE(xwininfo.waitForFinished(10000));
    const QByteArray tree = xwininfo.readAllStandardOutput();
    EXPECT_TRUE(tree.contains("\"New Task\": (")) << tree.toStdString();
}

TEST(Captions, CaptionsOnX11) {
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty()) {
        GTEST_SKIP() << "xvfb-run or xwininfo is not installed";
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAMSEL_CAPTION_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(xvfbRun, {QStringLiteral("-a"), QCoreApplication::applicationFilePath(),
                          QStringLiteral("--gtest_filter=Captions.X11Child")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    if (output.contains("could not connect to display") || output.contains("xcb")) {
        if (child.exitCode() != 0 && !output.contains("[  FAILED  ]")) {
            GTEST_SKIP() << "no X server could start here:\n" << output.toStdString();
        }
    }
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

}  // namespace
