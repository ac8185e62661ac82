// The workers' reports on the user-interface thread, and the speed text.

#include <QCoreApplication>
#include <QEvent>

#include "download/SpeedText.h"
#include "tasks/TaskTable.h"

namespace {

const QEvent::Type kFetchProgressEvent = static_cast<QEvent::Type>(QEvent::User + WM_FETCH_PROGRESS);
const QEvent::Type kCredentialsEvent = static_cast<QEvent::Type>(QEvent::User + WM_FETCH_PROGRESS + 1);

struct FetchProgressEvent : QEvent {
    FetchProgressEvent(int code, int reportId, std::uint64_t serial)
        : QEvent(kFetchProgressEvent), code(code), reportId(reportId), serial(serial) {}
    int code;
    int reportId;
    std::uint64_t serial;
};

struct CredentialsEvent : QEvent {
    explicit CredentialsEvent(std::shared_ptr<CredentialsRequest> request)
        : QEvent(kCredentialsEvent), request(std::move(request)) {}
    std::shared_ptr<CredentialsRequest> request;
};

}  // namespace

CTaskReportPump::CTaskReportPump(CTaskTable& table) : m_table(table) {}

void CTaskReportPump::PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) {
    QCoreApplication::postEvent(this, new FetchProgressEvent(code, reportId, fetcherSerial));
}

void CTaskReportPump::RequestCredentials(std::shared_ptr<CredentialsRequest> request) {
    QCoreApplication::postEvent(this, new CredentialsEvent(std::move(request)));
}

void CTaskReportPump::customEvent(QEvent* event) {
    if (event->type() == kFetchProgressEvent) {
        const auto* report = static_cast<FetchProgressEvent*>(event);
        m_table.OnFetchProgress(report->code, report->reportId, report->serial);
    } else if (event->type() == kCredentialsEvent) {
        m_table.OnCredentialsRequest(static_cast<CredentialsEvent*>(event)->request);
    }
}

void CTaskTable::OnCredentialsRequest(std::shared_ptr<CredentialsRequest> request) {
    // Without a screen nobody can answer: the worker ends as refused.
    request->Answer(false, {}, {});
}

void CTaskTable::OnFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) {
    if (reportId < 0) {
        return;
    }
    MediaFetcher* fetcher = FetcherInSlot(reportId);
    // Reports of a fetcher that Start has replaced no longer speak for the row.
    if (!fetcher || fetcher->Serial() != fetcherSerial || fetcher->ReportId() != reportId) {
        return;
    }
    const int row = FindRowByTaskId(reportId);
    if (IsTerminalFetchCode(code) && code != FETCH_DONE) {
        m_endedSerials.insert(fetcherSerial);
    }
    switch (code) {
        case FETCH_STOPPED:
            LowerRunning();
            fetcher->RequestStop();
            if (row >= 0) {
                SetTaskState(row, TASK_STOP);
                RepaintList();
            }
            break;
        case FETCH_LENGTH:
            if (row >= 0) {
                m_taskModel.SetItemText(row, COL_SIZE, FormatSize(fetcher->Length()));
                RepaintList();
            }
            break;
        case FETCH_DATA:
            fetcher->DataReportHandled();
            if (row >= 0) {
                m_taskModel.SetItemText(row, COL_PROGRESS,
                                        FormatPercent(fetcher->Received(), fetcher->Length()));
            }
            break;
        case FETCH_DONE:
            LowerRunning();
            if (row >= 0) {
                if (fetcher->Length() == 0) {
                    // Without an announced length, the size is known only now.
                    m_taskModel.SetItemText(row, COL_SIZE, FormatSize(fetcher->Received()));
                }
                SetTaskState(row, TASK_FINISH);
                RepaintList();
            }
            m_pFetchers[reportId].reset();
            break;
        default:
            if (code >= FETCH_TRANSFER_ERROR && code <= FETCH_BAD_URL) {
                LowerRunning();
                if (row >= 0) {
                    SetTaskState(row, TASK_FAILED);
                    m_taskModel.SetItemText(row, COL_PROGRESS, "0%");
                    RepaintList();
                }
            }
            break;
    }
}

std::string CTaskTable::GetSpeedText() const {
    std::uint64_t bytes = 0;
    std::uint64_t milliseconds = 0;
    const std::uint32_t now = GetTickCount();
    for (int row = 0; row < GetItemCount(); ++row) {
        if (m_taskModel.GetItemText(row, COL_FLV).empty()) {
            continue;
        }
        const MediaFetcher* fetcher = FetcherInSlot(m_taskModel.GetItemData(row));
        if (fetcher && fetcher->IsStopped() == 0 && GetTaskState(row) == TASK_DOWNLOADING) {
            bytes += fetcher->ReceivedUnlocked();
            milliseconds += static_cast<std::uint32_t>(now - fetcher->StartTick());
        }
    }
    if (bytes > 0 && milliseconds > 0) {
        return FormatSpeed(bytes, milliseconds);
    }
    return "0 KB";
}
