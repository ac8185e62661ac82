#pragma once
// The task table: everything the view knows about the downloads of one run, and
// every operation on it that needs no display. The view widget derives from it.

#include <QItemSelectionModel>
#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/MediaFetcher.h"
#include "tasks/TaskListModel.h"

namespace tamsel {

class CHiddenBrowser;
class CTaskTable;

// The three task-entry strings, exchanged as one block with the New Task dialog.
struct TaskEntryStrings {
    std::string m_strSaveFolder;  // target folder
    std::string m_strUrl;         // page address
    std::string m_strRename;      // the user's own file name; empty when none was asked for
};

// Receives the workers' reports and hands them to the table on the user-interface
// thread (the thread that made it). Workers only queue a report and wake that thread
// through an eventfd, so no Qt object crosses threads and the order of each worker's
// reports is kept.
class CTaskReportPump : public QObject, public FetchReportSink {
    Q_OBJECT
public:
    explicit CTaskReportPump(CTaskTable& table);
    ~CTaskReportPump() override;
    void PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) override;
    void RequestCredentials(std::shared_ptr<CredentialsRequest> request) override;

private:
    struct Report {
        int code = 0;
        int reportId = 0;
        std::uint64_t serial = 0;
        std::shared_ptr<CredentialsRequest> credentials;
    };
    void Queue(Report report);
    void Deliver();

    CTaskTable& m_table;
    int m_wakeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::mutex m_lock;
    std::deque<Report> m_reports;  // guarded by m_lock
};

class CTaskTable : public TaskEntryStrings {
public:
    CTaskTable();
    virtual ~CTaskTable();
    CTaskTable(const CTaskTable&) = delete;
    CTaskTable& operator=(const CTaskTable&) = delete;

    // --- Rows (the list control's store) ---
    CTaskListModel& TaskModel() { return m_taskModel; }
    const CTaskListModel& TaskModel() const { return m_taskModel; }
    QItemSelectionModel& TaskSelection() { return m_taskSelection; }
    int GetItemCount() const { return m_taskModel.GetItemCount(); }
    bool IsRowSelected(int row) const;
    int GetSelectedCount() const;
    void SelectRow(int row, bool selected);

    void SetTaskState(int row, int state);
    int GetTaskState(int row) const;
    int FindRowByTaskId(int taskId) const;
    int AnyTaskInState(int state, int selectedOnly) const;
    int FindRowByUrl(const std::string& url) const;
    int HasRowWithUrl(const std::string& url) const;
    std::string NextQueuedUrl() const;
    int AddTask();
    void ForgetTaskUrl(const std::string& url);
    void StartFetcher(const std::string& mediaUrl, const std::string& fileName, int taskId);
    void StopTask(int row);

    // --- Reports and texts ---
    void OnFetchProgress(int code, int reportId, std::uint64_t fetcherSerial);
    std::string GetSpeedText() const;
    virtual void OnCredentialsRequest(std::shared_ptr<CredentialsRequest> request);

    // --- Titles and naming ---
    void FetchPageTitle(const std::string& pageUrl);
    std::string GetTitleFileName(const std::string& pageUrl) const;
    std::string TitleFor(const std::string& pageUrl) const;  // the filed title name, or ""

    // --- Commands on existing tasks ---
    void OnStart();
    void OnStop();
    void OnDelete();
    void OnDeleteFinished();
    void OnSelectAll();
    void OnOpenTarget();
    int CanExit();
    // The New command after the dialog was confirmed with a non-empty address.
    void NewTaskConfirmed();

    // --- The resolver: the hidden browser driving the extraction service ---
    void CreateBrowser();
    void NavigateTo(const std::string& url);
    int IsServiceUrl(const std::string& url, int bHomePage) const;
    void SubmitPageUrl(const std::string& pageUrl);
    void FillForm(int formIndex, const std::string& value, int bSubmit);
    void OnDocumentComplete(const std::string& url);
    void OnNavigateError(const std::string& url, int statusCode);
    void ResolveNextOrDefer();
    void ResumeDeferred();
    void RetryAfterNavError();
    void CollectDownloadLinks(const std::string& pageUrl);
    void HandOffLinks();

    // Stops every download and waits for every worker and title thread to end.
    // Called before the table goes; afterwards no thread reports to it.
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
    // The view's hooks: message boxes, repaint and the file manager.
    virtual int ShowMessage(const std::string& text, unsigned style);
    virtual void RepaintList() { m_taskModel.RedrawItems(); }
    virtual void OpenTargetInShell(const std::string& folder, const std::string& path,
                                   bool fileExists);

public:
    // Members of the task table, in the order of their description.
    std::vector<std::string> m_urlQueue;
    std::map<std::string, std::string> m_foundLinks;
    std::map<std::string, std::string> m_folderByUrl;
    std::map<std::string, std::string> m_titleByUrl;  // guarded by m_titleLock
    int m_nNextTaskId = 0;
    int m_nQueuePos = 0;
    int m_nRunning = 1;
    int m_bDeferred = 0;
    int m_nNavRetries = 0;
    int m_bNavError = 0;
    int m_bOneSelected = 0;
    int m_bResolving = 0;
    std::unique_ptr<CHiddenBrowser> m_wndBrowser;
    CHiddenBrowser* m_pBrowser = nullptr;
    std::vector<std::unique_ptr<MediaFetcher>> m_pFetchers;  // grows with the task numbers

    // The page address the resolver submitted last; its result page is credited to it.
    std::string m_strSubmittedUrl;
    // Bounds NavigateTo's fall-back to the base address.
    int m_nNavFallbacks = 0;

    // The row most recently selected (kept by the list control; mirrored here for
    // the display-free commands).
    int m_nLastSelected = -1;

private:
    void LowerRunning();
    void StartTitleThread(const std::string& pageUrl);

    CTaskListModel m_taskModel;
    QItemSelectionModel m_taskSelection;
    std::unique_ptr<CTaskReportPump> m_reportPump;

    // Serials of slot fetchers whose terminal report has been handled.
    std::set<std::uint64_t> m_endedSerials;

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
