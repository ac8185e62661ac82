// The whole road against Tamsel's own extraction service: a video page on one local
// site, the service on another port, the resolver between them and the download.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <string>

#include "resolve/HiddenBrowser.h"
#include "service/ExtractionService.h"
#include "service/ServiceContract.h"
#include "tasks/TaskMessageSeam.h"
#include "tests/resolve/ResolvingTable.h"
#include "tests/support/QtTestEnv.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return testsupport::WaitForEvents(done, ms);
}

TEST(ServiceRoad, AVideoPageBecomesADownloadedFile) {
    const std::string clip = testsupport::MakeTestBytes(20000, 9);
    testsupport::TestHttpServer site;
    site.ServeBytes("/watch",
                    "<html><head><title>Clip</title></head><body>"
                    "<video src='/media/clip.flv'></video></body></html>",
                    "text/html");
    site.ServeBytes("/media/clip.flv", clip, "video/x-flv");
    ASSERT_TRUE(site.Start());

    ServiceOptions options;
    options.sampleBytesPerSecond = 0;
    ExtractionService service(options);
    ASSERT_TRUE(service.Start(0));
    UseServiceOnPort(service.Port());

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ResolvingTable table;
    table.resolver.CreateBrowser();
    table.Entry() = {folder.path().toStdString(), site.Url("/watch"), "clip.flv"};
    table.NewTaskConfirmed();

    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(0) != TASK_WAIT; }));
    EXPECT_EQ(table.TaskModel().GetItemText(0, COL_FLV), site.Url("/media/clip.flv"));
    ASSERT_TRUE(WaitFor([&] { return table.GetTaskState(0) == TASK_FINISH; }));
    QFile file(QDir(folder.path()).filePath("clip.flv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), clip);
    ASSERT_TRUE(WaitFor([&] { return !table.resolver.IsResolving(); }));
    table.ShutdownWorkers();
}

}  // namespace
