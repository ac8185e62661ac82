#pragma once
// The application: start-up in its fixed order, the single-instance rule, the skin,
// the embedded extraction service, and the About box.

#include <QApplication>
#include <memory>

namespace tamsel {

class CMainFrame;
class ExtractionService;

// The document of the single-document window: it holds nothing.
class CQuilletDoc {};

class CQuilletApp : public QApplication {
    Q_OBJECT
public:
    CQuilletApp(int& argc, char** argv);
    ~CQuilletApp() override;

    // False ends the program at once (another instance runs, or start-up failed).
    bool InitInstance();
    // Runs the message loop after a successful start; the exit status.
    int Run();
    void OnAppAbout();

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
    // The program's names. No display name is set: the platform would append it to
    // every dialog's caption; the desktop entry names the program instead.
    static void SetApplicationNames();
    // The page addresses given on the command line.
    QStringList CommandLineAddresses() const;
    bool StartedOwnService() const { return m_service != nullptr; }

private:
    void StartExtractionService();

    std::unique_ptr<ExtractionService> m_service;
    std::unique_ptr<CQuilletDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

}  // namespace tamsel
