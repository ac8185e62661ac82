#pragma once
// The task table: everything the view knows about the downloads of one run, and
// every operation on it that needs no display. The view widget derives from it.

#include <QItemSelectionModel>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/UiQueue.h"
#include "download/MediaFetcher.h"
#include "tasks/ResolverHost.h"
#include "tasks/TaskListModel.h"

namespace tamsel {

class CTaskTable;

// The three task-entry strings, exchanged as one block with the New Task dialog.
struct TaskEntryStrings {
    std::string m_strSaveFolder;  // target folder
    std::string m_strUrl;         // page address
    std::string m_strRename;      // the user's own file name; empty when none was asked for
};

// Receives the workers' reports and hands them to the table on the user-interface
// thread (the thread that made it), in the order each worker posted them.
class CTaskReportPump : public FetchReportSink {
public:
    explicit CTaskReportPump(CTaskTable& table);
    void PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) override;
    void RequestCredentials(std::shared_ptr<CredentialsRequest> request) override;

private:
    struct Report {
        int code = 0;
        int reportId = 0;
        std::uint64_t serial = 0;
        std::shared_ptr<CredentialsRequest> credentials;
    };
    void Deliver(Report report);

    CTaskTable& m_table;
    CUiQueue<Report> m_reports;
};

class CTaskTable : public CResolverHost {
public:
    CTaskTable();
    ~CTaskTable() override;
    CTaskTable(const CTaskTable&) = delete;
    CTaskTable& operator=(const CTaskTable&) = delete;

    // The strings of the next New Task, filled in by the New Task dialog.
    TaskEntryStrings& Entry() { return m_entry; }
    const TaskEntryStrings& Entry() const { return m_entry; }

    // --- Rows (the list control's store) ---
    CTaskListModel& TaskModel() { return m_taskModel; }
    const CTaskListModel& TaskModel() const { return m_taskModel; }
    QItemSelectionModel& TaskSelection() { return m_taskSelection; }
    int GetItemCount() const { return m_taskModel.GetItemCount(); }
    bool IsRowSelected(int row) const;
    int GetSelectedCount() const;
    void SelectRow(int row, bool selected);
    // The row most recently selected; deselection and deletion keep it.
    int LastSelectedRow() const { return m_nLastSelected; }
    // The row selected now when exactly one is; -1 otherwise.
    int SelectedRow() const;

    void SetTaskState(int row, int state) override;
    void FailTask(int row, const std::string& reason) override;
    int GetTaskState(int row) const override;
    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int TaskIdAt(int row) const override;
    int FindRowByTaskId(int taskId) const;
    int AnyTaskInState(int state, int selectedOnly) const;
    int FindRowByUrl(const std::string& url) const override;
    int HasRowWithUrl(const std::string& url) const;
    // Adds the task of Entry(): 0 when added, 1 when its address is queued already.
    int AddTask();
    // Addresses from outside the dialog (command line, a second start): each one is
    // checked as the dialog checks it and goes the dialog's road into the folder the
    // dialog offers, named after its page. Returns how many were accepted.
    int AddTasksFromAddresses(const std::vector<std::string>& addresses);
    void ForgetTaskUrl(const std::string& url);
    // The number the next task gets; numbers are never reused.
    int NextTaskId() const { return m_nNextTaskId; }
    // The target folder recorded for a page address, "" when none.
    std::string FolderFor(const std::string& pageUrl) const;

    // --- The queue of page addresses to resolve, and its cursor ---
    const std::vector<std::string>& UrlQueue() const { return m_urlQueue; }
    int QueuePos() const { return m_nQueuePos; }
    std::string NextQueuedUrl() const override;
    bool MoveQueuePast(const std::string& url) override;
    void SkipQueuedUrl() override;

    // --- Downloads ---
    void StartFetcher(const std::string& mediaUrl, const std::string& fileName, int taskId,
                      bool stream = false) override;
    void StopTask(int row);
    // Downloads running: a started download raises it, its end lowers it once.
    int Running() const override { return m_nRunning; }
    void RaiseRunning() override;

    // --- Reports and texts ---
    void OnFetchProgress(int code, int reportId, std::uint64_t fetcherSerial);
    // The total rate of the running downloads over the last few seconds; "0 KB" when
    // nothing arrived in that time.
    std::string GetSpeedText() const;
    std::string GetSpeedText(std::uint32_t nowTick) const;
    virtual void OnCredentialsRequest(std::shared_ptr<CredentialsRequest> request);

    // --- Titles and naming ---
    void FetchPageTitle(const std::string& pageUrl);
    std::string GetTitleFileName(const std::string& pageUrl) const override;
    std::string TitleFor(const std::string& pageUrl) const;  // the filed title name, or ""
    // Why the row's task failed, as the user is told; "" when no reason was filed.
    std::string FailureReasonAt(int row) const;

    // --- Commands on existing tasks ---
    void OnStart();
    void OnStop();
    void OnDelete();
    void OnDeleteFinished();
    void OnSelectAll();
    void OnOpenTarget();
    // Enter or a double-click on a row: a finished file opens in its application,
    // any other row does what Open Target does.
    void OnOpenRow(int row);
    int CanExit();
    // The New command after the dialog was confirmed with a non-empty address.
    void NewTaskConfirmed();

    // Stops every download and waits for every worker and title thread to end, then
    // removes the part files left (tasks do not outlive the run). Called before the table
    // goes; afterwards no thread reports to it.
    void ShutdownWorkers();

    // How long a download may take to connect and may stay silent before it fails.
    void SetFetchTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
        m_fetchConnectTimeout = connect;
        m_fetchIdleTimeout = idle;
    }

    // Slot access for the list painting, the commands and tests.
    MediaFetcher* FetcherInSlot(int taskId) const;
    int SlotCount() const { return static_cast<int>(m_pFetchers.size()); }

protected:
    // The view's hooks: message boxes, repaint, the file manager and the resolver.
    virtual int ShowMessage(const std::string& text, unsigned style);
    void RepaintList() override { m_taskModel.RedrawItems(); }
    virtual void OpenTargetInShell(const std::string& folder, const std::string& path,
                                   bool fileExists);
    // Opens a downloaded file with the desktop's default application.
    virtual void OpenFileInShell(const std::string& path);
    // A row entered TASK_FINISH or TASK_FAILED from another state.
    virtual void OnTaskEnded(int row, int state);
    // A new task was queued: whoever resolves the queue takes it up.
    virtual void OnTaskQueued() {}

private:
    void LowerRunning();
    // Takes the fetcher out of its slot, stopped and joined; returns what it leaves
    // to resume.
    FetchResume RetireFetcher(int taskId);
    // Whether another row of the same folder holds `name` (`exceptRow` aside).
    bool NameTakenByRow(const std::string& folder, const std::string& name, int exceptRow) const;
    std::string ReserveName(const std::string& folder, const std::string& name,
                            int exceptRow) const;
    // Puts a page address at the end of the queue again, for another resolution.
    void RequeueUrl(const std::string& url);
    // Takes url out of the queue, keeping the cursor on the address it points at.
    void EraseQueuedUrl(const std::string& url);
    void StartTitleThread(const std::string& pageUrl);
    void OpenTargetOfRow(int row);
    std::string TargetFolderOf(int row) const;

    TaskEntryStrings m_entry;
    std::vector<std::string> m_urlQueue;
    std::map<std::string, std::string> m_folderByUrl;
    std::map<std::string, std::string> m_titleByUrl;  // guarded by m_titleLock
    int m_nNextTaskId = 0;
    int m_nQueuePos = 0;
    int m_nRunning = 0;
    std::vector<std::unique_ptr<MediaFetcher>> m_pFetchers;  // grows with the task numbers
    int m_nLastSelected = -1;

    CTaskListModel m_taskModel;
    QItemSelectionModel m_taskSelection;
    std::unique_ptr<CTaskReportPump> m_reportPump;

    // Serials of slot fetchers whose terminal report has been handled.
    std::set<std::uint64_t> m_endedSerials;
    // Tasks named by the user: their extension is theirs, not the media's.
    std::set<int> m_ownNameTasks;
    // Tasks whose media the service marked as a stream: every Start downloads it so.
    std::set<int> m_streamTasks;
    // Bytes received by all downloads, sampled by the speed text: per fetcher serial the
    // count seen last, and the running total at each sample time.
    mutable std::map<std::uint64_t, std::uint64_t> m_speedSeen;
    mutable std::vector<std::pair<std::uint32_t, std::uint64_t>> m_speedSamples;
    mutable std::uint64_t m_nSpeedTotal = 0;

    std::chrono::milliseconds m_fetchConnectTimeout{30000};
    std::chrono::milliseconds m_fetchIdleTimeout{60000};

    mutable std::mutex m_titleLock;
    std::atomic<bool> m_bCancelTitles{false};
    struct TitleThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<TitleThread> m_titleThreads;
};

}  // namespace tamsel
