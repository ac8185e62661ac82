#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "base/CurlGlobal.h"
#include "tests/support/QtTestEnv.h"

using namespace tamsel;

int main(int argc, char** argv) {
    // A home and runtime folder of the test's own: nothing touches the user's.
    QTemporaryDir home;
    testsupport::UsePrivateHome(home);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureCurlGlobalInit();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
