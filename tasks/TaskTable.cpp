#include "tasks/TaskTable.h"

#include <algorithm>

#include "download/FetchOutputFile.h"
#include "download/FileNaming.h"
#include "download/PageTitle.h"
#include "tasks/TaskMessageSeam.h"
#include "tasks/TasksLog.h"

namespace tamsel {

CTaskTable::CTaskTable()
    : m_taskSelection(&m_taskModel), m_reportPump(std::make_unique<CTaskReportPump>(*this)) {
    // The row that most recently became selected; deselection and deletion keep it.
    QObject::connect(&m_taskSelection, &QItemSelectionModel::selectionChanged,
                     [this](const QItemSelection& selected, const QItemSelection&) {
                         const QModelIndexList rows = selected.indexes();
                         if (!rows.isEmpty()) {
                             m_nLastSelected = rows.last().row();
                         }
                     });
}

CTaskTable::~CTaskTable() {
    ShutdownWorkers();
}

void CTaskTable::ShutdownWorkers() {
    for (auto& fetcher : m_pFetchers) {
        if (fetcher) {
            fetcher->RequestStop();
        }
    }
    m_bCancelTitles.store(true);
    // Joining: each worker notices its stop flag within a second. Tasks are not kept
    // between runs, so neither are their part files.
    for (auto& fetcher : m_pFetchers) {
        if (fetcher) {
            fetcher->Join();
            const FetchResume resume = fetcher->Resume();
            if (resume.IsSet()) {
                RemoveOwnFile(resume.strPartPath, resume.identity);
            }
        }
    }
    m_pFetchers.clear();
    for (TitleThread& title : m_titleThreads) {
        title.thread.join();
    }
    m_titleThreads.clear();
}

// --- Rows ---

bool CTaskTable::IsRowSelected(int row) const {
    return row >= 0 && row < GetItemCount() && m_taskSelection.isRowSelected(row, QModelIndex());
}

int CTaskTable::GetSelectedCount() const {
    return static_cast<int>(m_taskSelection.selectedRows().size());
}

int CTaskTable::SelectedRow() const {
    const QModelIndexList rows = m_taskSelection.selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
}

void CTaskTable::SelectRow(int row, bool selected) {
    if (row < 0 || row >= GetItemCount()) {
        return;
    }
    const QModelIndex index = m_taskModel.index(row, 0);
    m_taskSelection.select(
        index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                   QItemSelectionModel::Rows);
}

void CTaskTable::SetTaskState(int row, int state) {
    if (row < 0 || row >= GetItemCount()) {
        return;
    }
    const int before = m_taskModel.GetItemImage(row);
    m_taskModel.SetItemImage(row, state);
    if (state != TASK_FAILED) {
        m_taskModel.SetItemReason(row, {});  // a retry starts without one
    }
    if (state != before && (state == TASK_FINISH || state == TASK_FAILED)) {
        OnTaskEnded(row, state);
    }
}

void CTaskTable::FailTask(int row, const std::string& reason) {
    if (row < 0 || row >= GetItemCount()) {
        return;
    }
    const std::string text = reason.empty() ? std::string("The download failed.") : reason;
    // The address is quoted and escaped: it comes from the user or a hostile page.
    qCWarning(lcTasks) << "task" << TaskIdAt(row) << "for"
                       << QString::fromStdString(m_taskModel.GetItemText(row, COL_SOURCE))
                       << "failed:" << QString::fromStdString(text);
    // The reason first: the end-of-task notice reads it.
    m_taskModel.SetItemReason(row, text);
    SetTaskState(row, TASK_FAILED);
    RepaintList();
}

std::string CTaskTable::FailureReasonAt(int row) const {
    return m_taskModel.GetItemReason(row);
}

int CTaskTable::GetTaskState(int row) const {
    return m_taskModel.GetItemImage(row);
}

std::string CTaskTable::CellText(int row, int column) const {
    return m_taskModel.GetItemText(row, column);
}

void CTaskTable::SetCellText(int row, int column, const std::string& text) {
    m_taskModel.SetItemText(row, column, text);
}

int CTaskTable::TaskIdAt(int row) const {
    return m_taskModel.GetItemData(row);
}

int CTaskTable::FindRowByTaskId(int taskId) const {
    for (int row = 0; row < GetItemCount(); ++row) {
        if (m_taskModel.GetItemData(row) == taskId) {
            return row;
        }
    }
    return -1;
}

int CTaskTable::AnyTaskInState(int state, int selectedOnly) const {
    for (int row = 0; row < GetItemCount(); ++row) {
        if (GetTaskState(row) == state && (!selectedOnly || IsRowSelected(row))) {
            return 1;
        }
    }
    return 0;
}

int CTaskTable::FindRowByUrl(const std::string& url) const {
    for (int row = 0; row < GetItemCount(); ++row) {
        if (m_taskModel.GetItemText(row, COL_SOURCE) == url) {
            return row;
        }
    }
    return -1;
}

int CTaskTable::HasRowWithUrl(const std::string& url) const {
    return FindRowByUrl(url) >= 0;
}

std::string CTaskTable::NextQueuedUrl() const {
    if (m_nQueuePos >= 0 && m_nQueuePos < static_cast<int>(m_urlQueue.size())) {
        return m_urlQueue[m_nQueuePos];
    }
    return {};
}

bool CTaskTable::MoveQueuePast(const std::string& url) {
    const auto it = std::find(m_urlQueue.begin(), m_urlQueue.end(), url);
    if (it == m_urlQueue.end()) {
        return false;
    }
    m_nQueuePos = static_cast<int>(it - m_urlQueue.begin()) + 1;
    return true;
}

void CTaskTable::SkipQueuedUrl() {
    if (m_nQueuePos >= 0 && m_nQueuePos < static_cast<int>(m_urlQueue.size())) {
        ++m_nQueuePos;
    }
}

std::string CTaskTable::FolderFor(const std::string& pageUrl) const {
    const auto folder = m_folderByUrl.find(pageUrl);
    return folder != m_folderByUrl.end() ? folder->second : std::string();
}

int CTaskTable::AddTask() {
    const TaskEntryStrings& entry = m_entry;
    if (std::find(m_urlQueue.begin(), m_urlQueue.end(), entry.m_strUrl) != m_urlQueue.end()) {
        return 1;
    }
    m_urlQueue.push_back(entry.m_strUrl);
    m_folderByUrl[entry.m_strUrl] = entry.m_strSaveFolder;

    std::string fileName = entry.m_strRename;
    const bool ownName = !fileName.empty();
    if (!ownName) {
        fileName = MakeTimeName(".flv");
        StartTitleThread(entry.m_strUrl);
    }
    // Names are reserved: none is reused on disk or by another task of this run.
    fileName = ReserveName(entry.m_strSaveFolder, fileName, -1);
    if (ownName) {
        m_ownNameTasks.insert(m_nNextTaskId);
    }

    const int row = m_taskModel.InsertItem();
    m_taskModel.SetItemText(row, COL_FILE_NAME, fileName);
    m_taskModel.SetItemText(row, COL_SIZE, "0 K");
    m_taskModel.SetItemText(row, COL_PROGRESS, "0 %");
    m_taskModel.SetItemText(row, COL_SOURCE, entry.m_strUrl);
    m_taskModel.SetItemData(row, m_nNextTaskId);
    SetTaskState(row, TASK_WAIT);
    ++m_nNextTaskId;
    return 0;
}

void CTaskTable::ForgetTaskUrl(const std::string& url) {
    if (url.empty()) {
        return;
    }
    EraseQueuedUrl(url);
    std::lock_guard lock(m_titleLock);
    m_titleByUrl.erase(url);
}

MediaFetcher* CTaskTable::FetcherInSlot(int taskId) const {
    if (taskId < 0 || taskId >= SlotCount()) {
        return nullptr;
    }
    return m_pFetchers[taskId].get();
}

FetchResume CTaskTable::RetireFetcher(int taskId) {
    std::unique_ptr<MediaFetcher> old;
    if (taskId >= 0 && taskId < SlotCount()) {
        old = std::move(m_pFetchers[taskId]);
    }
    if (!old) {
        return {};
    }
    // It honours its stop flag within a second, mostly far sooner.
    old->RequestStop();
    old->Join();
    const bool endHandled = m_endedSerials.erase(old->Serial()) > 0;
    if (!endHandled) {
        LowerRunning();  // its end report will find no fetcher in the slot
    }
    return old->Resume();
}

void CTaskTable::StartFetcher(const std::string& mediaUrl, const std::string& fileName, int taskId,
                              bool stream) {
    if (taskId < 0) {
        return;
    }
    if (stream) {
        m_streamTasks.insert(taskId);
    }
    if (taskId >= SlotCount()) {
        m_pFetchers.resize(taskId + 1);
    }
    // The fetcher this one replaces may still be winding down; it must be gone before
    // the new one takes over its part file.
    const FetchResume resume = RetireFetcher(taskId);
    auto fetcher = std::make_unique<MediaFetcher>();
    fetcher->SetView(m_reportPump.get());
    const int row = FindRowByTaskId(taskId);
    fetcher->SetTask(FolderFor(m_taskModel.GetItemText(row, COL_SOURCE)), mediaUrl, fileName,
                     taskId, 0);
    fetcher->SetExtensionFromMedia(m_ownNameTasks.count(taskId) == 0);
    fetcher->SetStream(m_streamTasks.count(taskId) != 0);
    if (resume.IsSet()) {
        if (resume.strMediaUrl == mediaUrl) {
            fetcher->SetResume(resume);
        } else {
            RemoveOwnFile(resume.strPartPath, resume.identity);
        }
    }
    fetcher->SetTimeouts(m_fetchConnectTimeout, m_fetchIdleTimeout);
    MediaFetcher* started = fetcher.get();
    m_pFetchers[taskId] = std::move(fetcher);
    // A thread that cannot start leaves the fetcher in its slot and the row as it is.
    started->Start();
}

void CTaskTable::StopTask(int row) {
    if (m_taskModel.GetItemText(row, COL_FLV).empty()) {
        return;
    }
    MediaFetcher* fetcher = FetcherInSlot(m_taskModel.GetItemData(row));
    if (fetcher && fetcher->IsStopped() == 0) {
        fetcher->RequestStop();
    }
}

void CTaskTable::RaiseRunning() {
    ++m_nRunning;
}

void CTaskTable::LowerRunning() {
    if (m_nRunning > 0) {
        --m_nRunning;
    }
}

// --- Titles ---

void CTaskTable::StartTitleThread(const std::string& pageUrl) {
    // Finished title threads are joined as new ones start, so the list stays short.
    std::erase_if(m_titleThreads, [](TitleThread& title) {
        if (!title.done->load()) {
            return false;
        }
        title.thread.join();
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, pageUrl, done] {
        FetchPageTitle(pageUrl);
        done->store(true);
    });
    m_titleThreads.push_back({std::move(thread), std::move(done)});
}

void CTaskTable::FetchPageTitle(const std::string& pageUrl) {
    const std::string text = ReadTitleLines(pageUrl, m_bCancelTitles);
    if (text.empty() || m_bCancelTitles.load()) {
        return;
    }
    const std::string name = TitleToFileName(text);
    std::lock_guard lock(m_titleLock);
    m_titleByUrl[pageUrl] = name;
}

std::string CTaskTable::TitleFor(const std::string& pageUrl) const {
    std::lock_guard lock(m_titleLock);
    const auto it = m_titleByUrl.find(pageUrl);
    return it != m_titleByUrl.end() ? it->second : std::string();
}

std::string CTaskTable::GetTitleFileName(const std::string& pageUrl) const {
    const std::string name = TitleFor(pageUrl);
    if (name.empty()) {
        return {};
    }
    return ReserveName(FolderFor(pageUrl), name, FindRowByUrl(pageUrl));
}

bool CTaskTable::NameTakenByRow(const std::string& folder, const std::string& name,
                                int exceptRow) const {
    for (int row = 0; row < GetItemCount(); ++row) {
        if (row != exceptRow && m_taskModel.GetItemText(row, COL_FILE_NAME) == name &&
            FolderFor(m_taskModel.GetItemText(row, COL_SOURCE)) == folder) {
            return true;
        }
    }
    return false;
}

std::string CTaskTable::ReserveName(const std::string& folder, const std::string& name,
                                    int exceptRow) const {
    return ApplyTakenNameRule(folder, name, [this, &folder, exceptRow](const std::string& n) {
        return NameTakenByRow(folder, n, exceptRow);
    });
}

void CTaskTable::RequeueUrl(const std::string& url) {
    EraseQueuedUrl(url);
    m_urlQueue.push_back(url);
}

void CTaskTable::EraseQueuedUrl(const std::string& url) {
    const auto it = std::find(m_urlQueue.begin(), m_urlQueue.end(), url);
    if (it == m_urlQueue.end()) {
        return;
    }
    const int index = static_cast<int>(it - m_urlQueue.begin());
    m_urlQueue.erase(it);
    // Keep the cursor on the same address: only a removal before it shifts it.
    if (index < m_nQueuePos) {
        --m_nQueuePos;
    }
}

// --- Hooks ---

int CTaskTable::ShowMessage(const std::string& text, unsigned style) {
    return ShowMessageBox(text, "Message", style);
}

void CTaskTable::OpenTargetInShell(const std::string&, const std::string&, bool) {}

void CTaskTable::OpenFileInShell(const std::string&) {}

void CTaskTable::OnTaskEnded(int, int) {}

}  // namespace tamsel
