// Renders the main window as a user sees it: tasks in all five states, the New Task
// dialog open, the context menu open. Writes PNG files into the folder given.
//   window_tour OUTPUT_FOLDER   (run under xvfb-run, or with QT_QPA_PLATFORM=offscreen)

#include <libxml/parser.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <iostream>

#include "app/CMainFrame.h"
#include "base/CurlGlobal.h"
#include "chrome/BitmapFiles.h"
#include "chrome/CommandIds.h"
#include "chrome/SkinMagic.h"
#include "dialogs/CNewTaskDlg.h"
#include "service/ExtractionService.h"
#include "service/ServiceContract.h"
#include "tests/support/TestHttpServer.h"
#include "view/CQuilletView.h"

using namespace tamsel;

namespace {

void Spin(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void Save(QWidget* widget, const QString& path) {
    widget->grab().save(path);
    std::cout << path.toStdString() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: window_tour OUTPUT_FOLDER\n";
        return 2;
    }
    EnsureCurlGlobalInit();
    xmlInitParser();
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);

    ServiceOptions options;
    options.sampleBytesPerSecond = 0;
    ExtractionService service(options);
    service.Start(0);
    UseServiceOnPort(service.Port());

    testsupport::TestHttpServer site;
    const auto page = [&site](const std::string& title, const std::string& media) {
        return [title, media](const httplib::Request&, httplib::Response& response) {
            response.set_content("<title>" + title + "</title><video src=\"" + media + "\">",
                                 "text/html");
        };
    };
    site.Get("/done", page("Sunset over the Harbour", "/m/done.flv"));
    site.ServeBytes("/m/done.flv", std::string(900000, 'x'));
    site.Get("/slow", page("Mountain Train Ride", "/m/slow.flv"));
    site.ServeSlow("/m/slow.flv", 40000000, 20000, std::chrono::milliseconds(20));
    site.Get("/stop", page("City Lights Timelapse", "/m/stop.flv"));
    site.ServeSlow("/m/stop.flv", 40000000, 20000, std::chrono::milliseconds(20));
    site.Get("/gone", page("Old Lecture", "/m/gone.flv"));
    site.ServeStatus("/m/gone.flv", 404);
    site.Get("/wait", page("Garden Birds", "/m/wait.flv"));
    site.ServeSlow("/m/wait.flv", 4000000, 2000, std::chrono::milliseconds(20));
    site.Start();

    InitSkinMagicLib(&app);
    LoadSkinFile(GetProgramFolder() + QStringLiteral("blue.smf"));
    SetDialogSkin(QStringLiteral("Dialog"));

    CMainFrame frame;
    if (!frame.OnCreate()) {
        std::cerr << "another Tamsel runs\n";
        return 1;
    }
    SetWindowSkin(&frame, QStringLiteral("MainFrame"));
    frame.show();
    CQuilletView* view = frame.GetActiveView();
    QTemporaryDir folder;
    view->Entry().m_strSaveFolder = folder.path().toStdString();
    site.Get("/slow2", page("Harbour Seals at Play", "/m/slow2.flv"));
    site.ServeSlow("/m/slow2.flv", 40000000, 20000, std::chrono::milliseconds(20));
    for (const char* path : {"/done", "/slow", "/stop", "/gone", "/slow2", "/wait"}) {
        view->Entry().m_strUrl = site.Url(path);
        view->Entry().m_strRename.clear();
        view->NewTaskConfirmed();
        Spin(400);
    }
    Spin(1500);
    // Stopping one download frees a place; the waiting task takes it at the next
    // resume tick, so the picture is taken before that.
    view->StopTask(2);
    Spin(700);
    view->TaskSelection().clearSelection();
    view->SelectRow(1, true);
    Spin(100);
    Save(&frame, out + QStringLiteral("/window.png"));

    QTimer::singleShot(300, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            Save(dialog, out + QStringLiteral("/new_task.png"));
            dialog->close();
        }
    });
    frame.OnCommand(ID_FILE_NEW);

    std::unique_ptr<QMenu> menu(view->BuildContextMenu());
    menu->popup(frame.mapToGlobal(QPoint(200, 200)));
    Spin(300);
    Save(menu.get(), out + QStringLiteral("/context_menu.png"));
    menu->hide();
    return 0;
}
