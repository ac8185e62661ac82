#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include "app/CMainFrame.h"
#include "app/SingleInstance.h"

using namespace tamsel;

namespace {

bool InstanceAnswers() {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketName());
    return socket.waitForConnected(200);
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

class Program {
public:
    Program() {
        m_process.setProgram(QStringLiteral(QUILLET_PATH));
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start();
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

}  // namespace

TEST(SingleInstanceTest, SecondStartHandsOverAndEnds) {
    Program first;
    ASSERT_TRUE(first.process().waitForStarted(5000));
    ASSERT_TRUE(WaitUntil(InstanceAnswers, 15000)) << "the first instance never set its marker";

    Program second;
    ASSERT_TRUE(second.process().waitForFinished(15000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(SingleInstanceTest, SocketOfACrashedInstanceDoesNotBlockANewOne) {
    {
        Program crashed;
        ASSERT_TRUE(crashed.process().waitForStarted(5000));
        ASSERT_TRUE(WaitUntil(InstanceAnswers, 15000));
        ::kill(static_cast<pid_t>(crashed.process().processId()), SIGKILL);
        crashed.process().waitForFinished(5000);
    }
    EXPECT_FALSE(InstanceAnswers());
    Program next;
    ASSERT_TRUE(next.process().waitForStarted(5000));
    ASSERT_TRUE(WaitUntil(InstanceAnswers, 15000)) << "the new instance did not take over";
    EXPECT_EQ(next.process().state(), QProcess::Running);
}

TEST(SingleInstanceTest, ActivationRestoresAMinimisedWindow) {
    CMainFrame frame;
    ASSERT_TRUE(frame.OnCreate());
    frame.showMinimized();
    ASSERT_TRUE(frame.windowState() & Qt::WindowMinimized);
    // A second start from this process: the request arrives through the socket.
    bool answered = false;
    QThread* asker = QThread::create([&] { answered = ActivateRunningInstance(); });
    asker->start();
    QDeadlineTimer deadline(5000);
    while (!asker->isFinished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    asker->wait();
    delete asker;
    EXPECT_TRUE(answered);
    EXPECT_FALSE(frame.windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(frame.isVisible());
}
