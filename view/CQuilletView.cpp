#include "view/CQuilletView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "base/UrlParse.h"

#include "chrome/CommandIds.h"
#include "chrome/SkinMagic.h"
#include "chrome/StateIcons.h"
#include "dialogs/CCredentialsDlg.h"
#include "dialogs/CNewTaskDlg.h"
#include "download/FileNaming.h"
#include "service/ServiceContract.h"
#include "tasks/TaskMessageSeam.h"
#include "view/CListCtrlEx.h"
#include "view/DesktopNotices.h"

namespace tamsel {

namespace {
constexpr unsigned kTpmRightButton = 2;
constexpr std::size_t kMaxDroppedAddress = 8192;
}  // namespace

CQuilletView::UrlOpener CQuilletView::s_urlOpener = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
};

CQuilletView::CQuilletView(QWidget* parent) : QWidget(parent) {}

CQuilletView::~CQuilletView() {
    // No worker may report to a view that is going away.
    ShutdownWorkers();
}

void CQuilletView::OnInitialUpdate() {
    m_listTasks = new CListCtrlEx(this);
    m_listTasks->setObjectName(QStringLiteral("TaskList"));
    m_listTasks->setGeometry(0, 0, 0, 0);
    m_listTasks->show();
    // The keys a desktop user expects on a list: Delete, Select All, Enter to open.
    m_listTasks->installEventFilter(this);
    connect(m_listTasks, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { OnOpenRow(index.row()); });
    m_resolver.CreateBrowser();
    SetupTaskList();
    InitTaskDefaults();
    OnSize();
}

void CQuilletView::SetupTaskList() {
    m_listTasks->setModel(&TaskModel());
    m_listTasks->setSelectionModel(&TaskSelection());
    m_listTasks->SetProgressTextColor(QColor(0, 0, 255));
    m_listTasks->SetProgressBarColor(QColor(142, 205, 240));
    m_listTasks->SetProgressBackColor(QColor(238, 248, 253));
    m_listTasks->SetProgressColumn(COL_PROGRESS);
    m_listTasks->AddCenteredColumn(COL_SIZE);
    for (int column = 0; column < kTaskColumnCount; ++column) {
        m_listTasks->setColumnWidth(column, kTaskColumnWidths[column]);
    }
    LoadStateIcons();
    m_listTasks->SetStateImages(m_imageList);
    SetSingleControlSkin(m_listTasks, 3);
}

void CQuilletView::LoadStateIcons() {
    m_imageList = LoadStateIconPixmaps();
}

void CQuilletView::InitTaskDefaults() {
    Entry().m_strUrl.clear();
    Entry().m_strRename.clear();
    Entry().m_strSaveFolder = GetDefaultFolder();
}

void CQuilletView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    OnSize();
}

void CQuilletView::OnSize() {
    if (m_listTasks) {
        m_listTasks->setGeometry(rect());
        m_listTasks->update();
    }
}

void CQuilletView::RepaintList() {
    CTaskTable::RepaintList();
    if (m_listTasks) {
        m_listTasks->viewport()->update();
    }
}

void CQuilletView::OnCommand(int id) {
    switch (id) {
        case ID_FILE_NEW:
            OnNewTask();
            break;
        case ID_TASK_START:
            OnStart();
            break;
        case ID_TASK_STOP:
            OnStop();
            break;
        case ID_TASK_DELETE:
            OnDelete();
            break;
        case ID_TASK_DELETE_FINISHED:
            OnDeleteFinished();
            break;
        case ID_EDIT_SELECT_ALL:
            OnSelectAll();
            break;
        case ID_OPEN_TARGET:
            OnOpenTarget();
            break;
        case ID_CONVERT:
            OnConvert();
            break;
        default:
            break;
    }
}

bool CQuilletView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_listTasks || event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
        OnCommand(ID_TASK_DELETE);
        return true;
    }
    if (key->matches(QKeySequence::SelectAll)) {
        OnCommand(ID_EDIT_SELECT_ALL);
        return true;
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        OnOpenRow(SelectedRow());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::string CQuilletView::DroppedAddress(const QMimeData* data) {
    if (!data) {
        return {};
    }
    std::string address;
    for (const QUrl& url : data->urls()) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
            address = url.toString(QUrl::FullyEncoded).toStdString();
            break;
        }
    }
    if (address.empty() && data->hasText()) {
        address = data->text().section(QLatin1Char('\n'), 0, 0).trimmed().toStdString();
    }
    ParsedUrl parsed;
    if (address.size() > kMaxDroppedAddress || !ParseUrl(address, parsed)) {
        return {};
    }
    return address;
}

void CQuilletView::OnNewTask(const std::string& initialUrl) {
    CNewTaskDlg dialog;
    dialog.SetEntry(&Entry());
    dialog.SetInitialUrl(initialUrl);
    if (dialog.DoModal() != IDOK || Entry().m_strUrl.empty()) {
        return;
    }
    NewTaskConfirmed();
}

void CQuilletView::OnConvert() {
    OpenOrTell(QUrl(QString::fromLatin1(kHomePageAddress)),
               std::string("No web browser could be started. Open this address in one:\n") +
                   kHomePageAddress);
}

void CQuilletView::OpenOrTell(const QUrl& url, const std::string& whenNothingOpens) {
    if (!s_urlOpener || !s_urlOpener(url)) {
        ShowMessage(whenNothingOpens, MB_OK | MB_ICONINFORMATION);
    }
}

void CQuilletView::OpenFileInShell(const std::string& path) {
    OpenOrTell(QUrl::fromLocalFile(QString::fromStdString(path)),
               "No application could be started for the file. It is here:\n" + path);
}

void CQuilletView::OnTaskEnded(int row, int state) {
    // Only someone looking elsewhere needs telling.
    if (isActiveWindow()) {
        return;
    }
    const auto notice =
        NoticeForTaskEnd(state, TaskModel().GetItemText(row, COL_FILE_NAME), FailureReasonAt(row));
    if (notice) {
        SendDesktopNotice(*notice);
    }
}

void CQuilletView::OnUpdateOpenTarget(QAction* item) const {
    item->setEnabled(m_bOneSelected == 1);
}

QMenu* CQuilletView::BuildContextMenu() {
    auto* menu = new QMenu(this);
    auto add = [this, menu](const char* text, int id) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setData(id);
        return action;
    };
    add("New", ID_FILE_NEW);
    menu->addSeparator();
    add("Start", ID_TASK_START);
    add("Stop", ID_TASK_STOP);
    menu->addSeparator();
    add("Delete", ID_TASK_DELETE);
    add("Delete Finished Task", ID_TASK_DELETE_FINISHED);
    menu->addSeparator();
    add("Select All", ID_EDIT_SELECT_ALL);
    menu->addSeparator();
    QAction* openTarget = add("Open Target Folder", ID_OPEN_TARGET);

    m_bOneSelected = 0;
    bool enable = false;
    if (GetSelectedCount() == 1) {
        m_bOneSelected = 1;
        enable = true;
        const int row = SelectedRow();
        if (row >= 0) {
            const int state = GetTaskState(row);
            if ((state == TASK_DOWNLOADING || state == TASK_FINISH) &&
                !TaskModel().GetItemText(row, COL_FLV).empty()) {
                openTarget->setText(QStringLiteral("Open Target Task"));
            }
        }
    }
    openTarget->setEnabled(enable);
    return menu;
}

void CQuilletView::contextMenuEvent(QContextMenuEvent* event) {
    OnContextMenu(event->globalPos());
}

void CQuilletView::OnContextMenu(const QPoint& screenPoint) {
    QMenu* menu = BuildContextMenu();
    QAction* chosen =
        TrackSkinPopupMenu(menu, kTpmRightButton, screenPoint.x(), screenPoint.y(), this);
    const int id = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (id != 0) {
        OnCommand(id);
    }
}

void CQuilletView::OpenTargetInShell(const std::string& folder, const std::string& path,
                                     bool fileExists) {
    // The desktop's file manager shows the file selected, or the folder alone. The call
    // is asynchronous so a slow or absent file manager never holds up the window; when
    // none answers, the folder opens in the default application.
    const QString target = QString::fromStdString(fileExists ? path : folder);
    const QUrl folderUrl = QUrl::fromLocalFile(QString::fromStdString(folder));
    const std::string byHand =
        "No file manager could be started. The " +
        std::string(fileExists ? "file is here:\n" + path : "folder is here:\n" + folder);
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/FileManager1"), service,
        fileExists ? QStringLiteral("ShowItems") : QStringLiteral("ShowFolders"));
    call << QStringList{QUrl::fromLocalFile(target).toString()} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        OpenOrTell(folderUrl, byHand);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, folderUrl, byHand](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError()) {
                    OpenOrTell(folderUrl, byHand);
                }
            });
}

void CQuilletView::OnCredentialsRequest(std::shared_ptr<CredentialsRequest> request) {
    CCredentialsDlg dialog(this, QString::fromStdString(request->Url()), request->IsProxy());
    if (dialog.exec() == QDialog::Accepted) {
        request->Answer(true, dialog.User().toStdString(), dialog.Password().toStdString());
    } else {
        request->Answer(false, {}, {});
    }
}

}  // namespace tamsel
