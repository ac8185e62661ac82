// A download that ends while the window is not active is told to the desktop through
// the freedesktop notification service; here a fake one on a private session bus.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>

#include "tests/e2e/RoadFixture.h"

namespace {

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList seen;  // "summary|body"

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        seen << summary + QLatin1Char('|') + body;
        return static_cast<uint>(seen.size());
    }
};

constexpr const char* kChildMarker = "TAMSEL_PRIVATE_SESSION_BUS";

}  // namespace

TEST_F(RoadFixture, NoticeChildOnAPrivateBus) {
    if (qEnvironmentVariable(kChildMarker) != QStringLiteral("1")) {
        GTEST_SKIP() << "runs inside AFinishedDownloadIsToldToTheDesktop";
    }
    // The service lives on a connection of its own, so calls really cross the bus.
    QDBusConnection serviceBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake"));
    ASSERT_TRUE(serviceBus.isConnected());
    FakeNotifications fake;
    ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                          QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    AddVideoPage("/watch/n", "Noted Clip", "/media/n.flv");
    site.ServeBytes("/media/n.flv", testsupport::MakeTestBytes(20000, 3));
    AddVideoPage("/watch/gone", "Gone Clip", "/media/gone.flv");
    site.ServeStatus("/media/gone.flv", 404);
    OpenWindow();
    // Another window has the focus: the user looks elsewhere.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QApplication::setActiveWindow(&elsewhere);
    ASSERT_FALSE(frame->isActiveWindow());

    EnterTask(site.Url("/watch/n"));
    ASSERT_TRUE(WaitFor([&] { return State(0) == TASK_FINISH; }));
    ASSERT_TRUE(WaitFor([&] { return fake.seen.size() >= 1; }));
    EnterTask(site.Url("/watch/gone"));
    ASSERT_TRUE(WaitFor([&] { return State(1) == TASK_FAILED; }));
    ASSERT_TRUE(WaitFor([&] { return fake.seen.size() >= 2; }));
    // While the window is active, nothing is sent.
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(frame->isActiveWindow());
    view->SetTaskState(1, TASK_DOWNLOADING);
    view->SetTaskState(1, TASK_FINISH);
    QCoreApplication::processEvents();
    WaitFor([] { return false; }, 300);  // room for a stray call to arrive
    EXPECT_EQ(fake.seen, (QStringList{QStringLiteral("Download finished|Noted Clip.flv"),
                                      QStringLiteral("Download failed|Gone Clip.flv: The server "
                                                     "answered 404 Not Found.")}));
    serviceBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
}

TEST(NoticeTest, AFinishedDownloadIsToldToTheDesktop) {
    const QString runner = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    if (runner.isEmpty()) {
        GTEST_SKIP() << "dbus-run-session is not installed";
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildMarker), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(runner, {QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                         QStringLiteral("--gtest_filter=RoadFixture.NoticeChildOnAPrivateBus")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

#include "notice_test.moc"
