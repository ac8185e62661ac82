#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "download/CurlGlobal.h"

int main(int argc, char** argv) {
    // A home and runtime folder of the test's own: nothing touches the user's.
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + QStringLiteral("/run")).toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureCurlGlobalInit();
    xmlInitParser();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
