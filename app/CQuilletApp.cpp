#include "app/CQuilletApp.h"

#include <libxml/parser.h>

#include "app/CMainFrame.h"
#include "app/SingleInstance.h"
#include "base/CurlGlobal.h"
#include "chrome/AppIcon.h"
#include "chrome/BitmapFiles.h"
#include "chrome/MessageBoxes.h"
#include "chrome/SkinMagic.h"
#include "dialogs/CAboutDlg.h"
#include "service/ExtractionService.h"
#include "service/ServiceContract.h"

namespace tamsel {

CQuilletApp::CQuilletApp(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationNames();
    setQuitOnLastWindowClosed(true);
}

void CQuilletApp::SetApplicationNames() {
    setApplicationName(QStringLiteral("Tamsel"));
    setApplicationVersion(QStringLiteral("2.0"));
    setDesktopFileName(QStringLiteral("tamsel"));
}

QStringList CQuilletApp::CommandLineAddresses() const {
    QStringList addresses = arguments().mid(1);
    addresses.removeIf([](const QString& argument) {
        return argument.trimmed().isEmpty() || argument.startsWith(QLatin1Char('-'));
    });
    return addresses;
}

CQuilletApp::~CQuilletApp() {
    // The window (and with it every worker) goes before the service it talks to.
    m_pMainWnd.reset();
    m_service.reset();
}

bool CQuilletApp::InitInstance() {
    // The transfer and parser libraries are set up once, before any worker starts.
    EnsureCurlGlobalInit();
    xmlInitParser();

    const QStringList addresses = CommandLineAddresses();
    if (HandToRunningInstance(addresses)) {
        return false;
    }

    // The program keeps no settings of its own between runs; nothing is written.
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));

    StartExtractionService();
    InstallWidgetMessageBoxes();

    setWindowIcon(LoadAppIcon());
    m_pDocument = std::make_unique<CQuilletDoc>();
    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->OnCreate()) {
        m_pMainWnd.reset();
        return false;
    }
    connect(m_pMainWnd.get(), &CMainFrame::AboutRequested, this, &CQuilletApp::OnAppAbout);

    const QString programFolder = GetProgramFolder();
    if (!programFolder.isEmpty()) {
        InitSkinMagicLib(this);
        LoadSkinFile(programFolder + QStringLiteral("blue.smf"));
        SetWindowSkin(m_pMainWnd.get(), QStringLiteral("MainFrame"));
        SetDialogSkin(QStringLiteral("Dialog"));
    }

    m_pMainWnd->show();
    m_pMainWnd->AddAddresses(addresses);
    return true;
}

void CQuilletApp::StartExtractionService() {
    // A service already answering on the port (tamsel-extractd) serves us as well.
    if (IsServiceRunningOn(ServicePort())) {
        return;
    }
    auto service = std::make_unique<ExtractionService>();
    if (service->Start(ServicePort())) {
        m_service = std::move(service);
    }
}

int CQuilletApp::Run() {
    return InitInstance() ? exec() : 0;
}

void CQuilletApp::OnAppAbout() {
    CAboutDlg about(m_pMainWnd.get());
    about.exec();
}

}  // namespace tamsel
