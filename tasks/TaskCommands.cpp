// The commands on tasks that already exist, and the exit confirmation.

#include <QString>
#include <filesystem>

#include "base/AsciiText.h"
#include "base/UrlParse.h"
#include "download/FetchOutputFile.h"

#include "tasks/TaskMessageSeam.h"
#include "tasks/TaskTable.h"
#include "tasks/TasksLog.h"

namespace tamsel {

void CTaskTable::OnStart() {
    if (GetSelectedCount() == 0) {
        return;
    }
    if (!AnyTaskInState(TASK_FAILED, 1) && !AnyTaskInState(TASK_STOP, 1)) {
        return;
    }
    bool requeued = false;
    for (int row = 0; row < GetItemCount(); ++row) {
        const int state = GetTaskState(row);
        if (!IsRowSelected(row) || (state != TASK_FAILED && state != TASK_STOP)) {
            continue;
        }
        const std::string mediaUrl = m_taskModel.GetItemText(row, COL_FLV);
        if (mediaUrl.empty()) {
            // Its page never resolved: it goes back into the resolution queue.
            if (state == TASK_FAILED) {
                RequeueUrl(m_taskModel.GetItemText(row, COL_SOURCE));
                SetTaskState(row, TASK_WAIT);
                requeued = true;
            }
            continue;
        }
        // A stopped or failed download continues from its part file.
        const int taskId = m_taskModel.GetItemData(row);
        SetTaskState(row, TASK_DOWNLOADING);
        m_taskModel.SetItemText(row, COL_PROGRESS, "0 %");
        StartFetcher(mediaUrl, m_taskModel.GetItemText(row, COL_FILE_NAME), taskId);
        RaiseRunning();
    }
    if (requeued) {
        RepaintList();
        OnTaskQueued();
    }
}

void CTaskTable::OnStop() {
    if (GetSelectedCount() == 0 || !AnyTaskInState(TASK_DOWNLOADING, 1)) {
        return;
    }
    if (ShowMessage("Are you sure to stop task ?", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    for (int row = 0; row < GetItemCount(); ++row) {
        if (IsRowSelected(row) && GetTaskState(row) == TASK_DOWNLOADING) {
            StopTask(row);
        }
    }
}

void CTaskTable::OnDelete() {
    if (GetSelectedCount() == 0) {
        return;
    }
    if (ShowMessage("Are you sure to delete task ?", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    for (int row = GetItemCount() - 1; row >= 0; --row) {
        if (!IsRowSelected(row)) {
            continue;
        }
        StopTask(row);
        // The task goes, and with it the part file it kept.
        const FetchResume resume = RetireFetcher(m_taskModel.GetItemData(row));
        if (resume.IsSet()) {
            RemoveOwnFile(resume.strPartPath, resume.identity);
        }
        m_ownNameTasks.erase(m_taskModel.GetItemData(row));
        m_streamTasks.erase(m_taskModel.GetItemData(row));
        ForgetTaskUrl(m_taskModel.GetItemText(row, COL_SOURCE));
        m_taskModel.DeleteItem(row);
    }
}

void CTaskTable::OnDeleteFinished() {
    if (!AnyTaskInState(TASK_FINISH, 0)) {
        return;
    }
    if (ShowMessage("Are you sure to delete finished task ?", MB_OKCANCEL | MB_ICONQUESTION) !=
        IDOK) {
        return;
    }
    for (int row = GetItemCount() - 1; row >= 0; --row) {
        if (GetTaskState(row) == TASK_FINISH) {
            ForgetTaskUrl(m_taskModel.GetItemText(row, COL_SOURCE));
            m_taskModel.DeleteItem(row);
        }
    }
}

void CTaskTable::OnSelectAll() {
    const int count = GetItemCount();
    if (count == 0) {
        return;
    }
    const QItemSelection all(m_taskModel.index(0, 0),
                             m_taskModel.index(count - 1, kTaskColumnCount - 1));
    m_taskSelection.select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    // The focus ends on the last row.
    m_taskSelection.setCurrentIndex(m_taskModel.index(count - 1, 0), QItemSelectionModel::NoUpdate);
    RepaintList();
}

void CTaskTable::OnOpenTarget() {
    // The row selected now: the last one selected may since have been deselected.
    const int row = SelectedRow();
    if (row >= 0) {
        OpenTargetOfRow(row);
    }
}

std::string CTaskTable::TargetFolderOf(int row) const {
    std::string folder = FolderFor(m_taskModel.GetItemText(row, COL_SOURCE));
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

void CTaskTable::OpenTargetOfRow(int row) {
    const std::string folder = TargetFolderOf(row);
    const std::string path = folder + m_taskModel.GetItemText(row, COL_FILE_NAME);
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    OpenTargetInShell(folder, path, exists);
}

void CTaskTable::OnOpenRow(int row) {
    if (row < 0 || row >= GetItemCount()) {
        return;
    }
    if (GetTaskState(row) == TASK_FINISH) {
        const std::string path = TargetFolderOf(row) + m_taskModel.GetItemText(row, COL_FILE_NAME);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            OpenFileInShell(path);
            return;
        }
    }
    // A file moved away since, or a task still on its way: show where it goes.
    OpenTargetOfRow(row);
}

int CTaskTable::CanExit() {
    if (GetItemCount() == 0 || !AnyTaskInState(TASK_DOWNLOADING, 0)) {
        return 1;
    }
    const int answer = ShowMessage(
        "There are tasks running. \n Exit program will stop all tasks. \n Are you sure to exit ?",
        MB_OKCANCEL | MB_ICONQUESTION);
    if (answer != IDOK) {
        return 0;
    }
    for (int row = GetItemCount() - 1; row >= 0; --row) {
        if (GetTaskState(row) == TASK_DOWNLOADING) {
            StopTask(row);
        }
    }
    return 1;
}

void CTaskTable::NewTaskConfirmed() {
    if (m_entry.m_strUrl.empty()) {
        return;
    }
    if (AddTask() == 1) {
        ShowMessage("The URL address already exists.", MB_OK | MB_ICONQUESTION);
        return;
    }
    OnTaskQueued();
}

int CTaskTable::AddTasksFromAddresses(const std::vector<std::string>& addresses) {
    int accepted = 0;
    for (const std::string& given : addresses) {
        const std::string url = TrimBlanks(given);
        if (url.empty() || !IsValidTaskUrl(url)) {
            qCWarning(lcTasks) << "address from outside refused:" << QString::fromStdString(url);
            continue;
        }
        m_entry.m_strUrl = url;
        m_entry.m_strRename.clear();  // named after its page, as the dialog does unasked
        NewTaskConfirmed();
        ++accepted;
    }
    return accepted;
}

}  // namespace tamsel
