#pragma once
// The program's only top-level window: the command bar at the top, the task view in
// the middle, the status bar with the download speed at the bottom, and the clock.

#include <QMainWindow>

class QLabel;
class QAction;

namespace tamsel {

class CDialogBarEx;
class CInstanceMarker;
class CQuilletView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 630;
    static constexpr int kHeight = 500;
    static constexpr int kMinHeight = 300;
    static constexpr int kPaneWidth = 110;
    static constexpr int kStatusMinHeight = 30;
    static constexpr int kSpeedTimerMs = 1000;
    static constexpr int kRetryTimerMs = 2500;
    static constexpr int kResumeTimerMs = 2000;

    CMainFrame();
    ~CMainFrame() override;

    // Window creation in its fixed order; false when a step fails.
    bool OnCreate();
    CQuilletView* GetActiveView() const { return m_pView; }
    QLabel* StatusPane(int pane) const;
    QAction* OpenTargetAction() const { return m_actOpenTarget; }
    CDialogBarEx* CommandBar() const { return m_wndCommandBar; }
    bool TimersRunning() const { return m_timerIds[0] != 0; }

    // Routes a command of the menus, the command bar or the accelerator.
    void OnCommand(int id);
    // Brings the window back for a second start of the program.
    void ActivateFromSecondInstance();
    // Page addresses from the command line or a second start become tasks.
    void AddAddresses(const QStringList& addresses);

Q_SIGNALS:
    void AboutRequested();

protected:
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void PreCreateWindow();
    void CreateMenus();
    void CreateStatusBar();
    void StartTimers();
    void StopTimers();

    CInstanceMarker* m_marker = nullptr;
    CQuilletView* m_pView = nullptr;
    CDialogBarEx* m_wndCommandBar = nullptr;
    QLabel* m_panes[4] = {};
    QAction* m_actOpenTarget = nullptr;
    int m_timerIds[3] = {};
};

}  // namespace tamsel
