#include <gtest/gtest.h>

#include <QCoreApplication>

#include "base/CurlGlobal.h"

using namespace tamsel;

int main(int argc, char** argv) {
    EnsureCurlGlobalInit();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
