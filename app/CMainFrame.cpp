#include "app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTimerEvent>

#include "app/SingleInstance.h"
#include "chrome/CDialogBarEx.h"
#include "chrome/CommandIds.h"
#include "view/CQuilletView.h"

namespace tamsel {

CMainFrame::CMainFrame() {
    PreCreateWindow();
}

CMainFrame::~CMainFrame() {
    StopTimers();
}

void CMainFrame::PreCreateWindow() {
    // Height adjustable only; no maximise button; the caption never changes.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Tamsel"));
    setMinimumSize(kWidth, kMinHeight);
    setMaximumSize(kWidth, kHeight);
    resize(kWidth, kHeight);
    setContextMenuPolicy(Qt::NoContextMenu);  // the command bar cannot be hidden
}

bool CMainFrame::OnCreate() {
    m_marker = new CInstanceMarker(this);
    if (!m_marker->Set()) {
        return false;
    }
    connect(m_marker, &CInstanceMarker::ActivateRequested, this,
            &CMainFrame::ActivateFromSecondInstance);
    connect(m_marker, &CInstanceMarker::AddressesReceived, this, &CMainFrame::AddAddresses);
    setAcceptDrops(true);

    m_pView = new CQuilletView(this);
    setCentralWidget(m_pView);
    CreateMenus();
    CreateStatusBar();

    m_wndCommandBar = new CDialogBarEx(this);
    m_wndCommandBar->LoadSkinBitmaps();
    addToolBar(Qt::TopToolBarArea, m_wndCommandBar);
    connect(m_wndCommandBar, &CDialogBarEx::Command, this, &CMainFrame::OnCommand);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), QSize(kWidth, kHeight));
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    StartTimers();
    m_pView->OnInitialUpdate();
    return true;
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* menu, const char* text, int id) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* newTask = add(file, "&New", ID_FILE_NEW);
    newTask->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    newTask->setShortcutContext(Qt::ApplicationShortcut);
    file->addSeparator();
    add(file, "E&xit", ID_APP_EXIT);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    add(edit, "&Select All", ID_EDIT_SELECT_ALL);
    edit->addSeparator();
    add(edit, "&Delete Selected", ID_TASK_DELETE);
    add(edit, "Delete Finished Task", ID_TASK_DELETE_FINISHED);
    edit->addSeparator();
    m_actOpenTarget = add(edit, "Open Target Task", ID_OPEN_TARGET);
    m_actOpenTarget->setEnabled(false);
    // The item follows the selection seen when the context menu last opened.
    connect(edit, &QMenu::aboutToShow, this,
            [this] { m_pView->OnUpdateOpenTarget(m_actOpenTarget); });

    QMenu* action = bar->addMenu(QStringLiteral("&Action"));
    add(action, "&Start", ID_TASK_START);
    add(action, "&Stop", ID_TASK_STOP);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    add(help, "&About Quillet...", ID_APP_ABOUT);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setMinimumHeight(kStatusMinHeight);
    bar->setSizeGripEnabled(false);
    auto pane = [bar](const QString& text, int width) {
        auto* label = new QLabel(text, bar);
        // At least the pane's width; wider where the font needs it to show the whole text.
        label->setMinimumWidth(width);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(label);
        return label;
    };
    m_panes[0] = nullptr;  // the bar's own message area stretches over the rest
    m_panes[1] = pane(QStringLiteral("Download Speed :"), kPaneWidth);
    m_panes[2] = pane(QStringLiteral("0 KB"), kPaneWidth);
    m_panes[3] = pane(QString(), fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
}

QLabel* CMainFrame::StatusPane(int pane) const {
    return pane >= 0 && pane < 4 ? m_panes[pane] : nullptr;
}

void CMainFrame::StartTimers() {
    m_timerIds[0] = startTimer(kSpeedTimerMs);
    m_timerIds[1] = startTimer(kRetryTimerMs);
    m_timerIds[2] = startTimer(kResumeTimerMs);
}

void CMainFrame::StopTimers() {
    for (int& id : m_timerIds) {
        if (id != 0) {
            killTimer(id);
            id = 0;
        }
    }
}

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (!m_pView) {
        return;
    }
    const int id = event->timerId();
    if (id == m_timerIds[0]) {
        m_panes[2]->setText(QString::fromStdString(m_pView->GetSpeedText()));
    } else if (id == m_timerIds[1]) {
        m_pView->Resolver().RetryAfterNavError();
    } else if (id == m_timerIds[2]) {
        m_pView->Resolver().ResumeDeferred();
    } else {
        QMainWindow::timerEvent(event);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_pView && !m_pView->CanExit()) {
        event->ignore();
        return;
    }
    StopTimers();
    hide();
    event->accept();
}

void CMainFrame::OnCommand(int id) {
    switch (id) {
        case ID_APP_ABOUT:
            Q_EMIT AboutRequested();
            return;
        case ID_APP_EXIT:
            close();
            return;
        default:
            if (m_pView) {
                m_pView->OnCommand(id);
            }
    }
}

void CMainFrame::ActivateFromSecondInstance() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    showNormal();
    raise();
    activateWindow();
}

void CMainFrame::AddAddresses(const QStringList& addresses) {
    if (!m_pView) {
        return;
    }
    std::vector<std::string> urls;
    for (const QString& address : addresses) {
        urls.push_back(address.toStdString());
    }
    m_pView->AddTasksFromAddresses(urls);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (m_pView && !CQuilletView::DroppedAddress(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const std::string address = m_pView ? CQuilletView::DroppedAddress(event->mimeData()) : "";
    if (address.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The dialog opens once the drop has ended, so the browser is not kept waiting.
    QTimer::singleShot(0, m_pView, [view = m_pView, address] { view->OnNewTask(address); });
}

}  // namespace tamsel
