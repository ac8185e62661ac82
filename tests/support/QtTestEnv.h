#pragma once
// For tests that run Qt: a home of their own, and waiting on the event loop.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

namespace testsupport {

// Points HOME, the XDG folders and the runtime folder into `home`, so nothing a
// test does touches the user's own (documents folder, instance socket).
inline void UsePrivateHome(const QTemporaryDir& home) {
    const QString run = home.path() + QStringLiteral("/run");
    QDir().mkpath(run);
    QFile::setPermissions(run,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", run.toUtf8());
}

// Runs the event loop until `done` holds; false when `ms` pass first.
inline bool WaitForEvents(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace testsupport
