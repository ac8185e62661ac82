#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <QDir>
#include <QElapsedTimer>
#include <filesystem>

#include "app/CMainFrame.h"
#include "app/SingleInstance.h"
#include "download/FileNaming.h"
#include "tests/support/QtTestEnv.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

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
    explicit Program(const QStringList& arguments = {}) {
        m_process.setProgram(QStringLiteral(QUILLET_PATH));
        m_process.setArguments(arguments);
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

namespace {

// A file in `folder` whose contents are `bytes`, by any name; "" when none is.
std::string FileHolding(const std::string& folder, const std::string& bytes) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (testsupport::ReadFile(entry.path().string()) == bytes) {
            return entry.path().filename().string();
        }
    }
    return {};
}

}  // namespace

TEST(SingleInstanceTest, ASecondStartHandsItsAddressToTheRunningOne) {
    testsupport::TestHttpServer site;
    const std::string media = testsupport::MakeTestBytes(40000, 7);
    site.Get("/watch", [&site](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Handed Clip</title></head><body><video src=\"" +
                                 site.Url("/media/clip.flv") + "\"></video></body></html>",
                             "text/html");
    });
    site.ServeBytes("/media/clip.flv", media);
    ASSERT_TRUE(site.Start());
    // The running instance saves into the folder the dialog offers: the same here.
    const std::string folder = GetDefaultFolder();
    ASSERT_FALSE(folder.empty());

    Program first;
    ASSERT_TRUE(first.process().waitForStarted(5000));
    ASSERT_TRUE(WaitUntil(InstanceAnswers, 15000)) << "the first instance never set its marker";

    QElapsedTimer clock;
    clock.start();
    Program second({QString::fromStdString(site.Url("/watch"))});
    ASSERT_TRUE(second.process().waitForFinished(15000));
    const qint64 handOverMs = clock.elapsed();
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    std::cout << "[ second start handed over and ended in " << handOverMs << " ms ]\n";
#if defined(__has_feature)
#if !__has_feature(address_sanitizer) && !__has_feature(thread_sanitizer)
    EXPECT_LT(handOverMs, 1000);  // sanitizers slow the start-up itself, not the hand-over
#endif
#elif !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(handOverMs, 1000);
#endif

    ASSERT_TRUE(WaitUntil([&] { return !FileHolding(folder, media).empty(); }, 30000))
        << "the handed address never became a downloaded file";
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(SingleInstanceTest, OnlyWellFormedRequestsAreTaken) {
    CInstanceMarker marker;
    ASSERT_TRUE(marker.Set());
    QStringList received;
    int activations = 0;
    QObject::connect(&marker, &CInstanceMarker::AddressesReceived,
                     [&](const QStringList& addresses) { received += addresses; });
    QObject::connect(&marker, &CInstanceMarker::ActivateRequested, [&] { ++activations; });

    struct Case {
        const char* name;
        QByteArray request;
        QStringList taken;
        bool answered;
    } cases[] = {
        {"addresses then activate",
         "open http://a.example/1\nopen b.example/2\nactivate\n",
         {"http://a.example/1", "b.example/2"},
         true},
        {"activate alone", "activate\n", {}, true},
        {"an unknown request", "open http://a.example/3\nrun something\nactivate\n", {}, false},
        {"an endless line", "open http://" + QByteArray(3 * kMaxRequestLine, 'a'), {}, false},
        {"too many addresses",
         QByteArray("open http://a.example/x\n").repeated(kMaxHandedAddresses + 1) + "activate\n",
         {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        received.clear();
        activations = 0;
        QLocalSocket client;
        client.connectToServer(InstanceSocketName());
        ASSERT_TRUE(testsupport::WaitForEvents(
            [&] { return client.state() == QLocalSocket::ConnectedState; }));
        client.write(c.request);
        QByteArray answer;
        ASSERT_TRUE(testsupport::WaitForEvents([&] {
            answer += client.readAll();
            return answer == "shown\n" || client.state() == QLocalSocket::UnconnectedState;
        }));
        EXPECT_EQ(answer == "shown\n", c.answered);
        EXPECT_EQ(received, c.taken);
        EXPECT_EQ(activations, c.answered ? 1 : 0);
    }
}
