// The workers' reports on the user-interface thread, and the speed text.

#include "download/SpeedText.h"
#include "tasks/TaskNotice.h"
#include "tasks/TaskTable.h"

namespace tamsel {

CTaskReportPump::CTaskReportPump(CTaskTable& table)
    : m_table(table), m_reports([this](Report report) { Deliver(std::move(report)); }) {}

void CTaskReportPump::PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) {
    m_reports.Post({code, reportId, fetcherSerial, nullptr});
}

void CTaskReportPump::RequestCredentials(std::shared_ptr<CredentialsRequest> request) {
    const int reportId = request->ReportId();
    m_reports.Post({0, reportId, 0, std::move(request)});
}

void CTaskReportPump::Deliver(Report report) {
    // A credentials dialog runs a nested event loop that may deliver the next reports
    // itself; the queue still hands them over in the order they were posted.
    if (report.credentials) {
        m_table.OnCredentialsRequest(std::move(report.credentials));
    } else {
        m_table.OnFetchProgress(report.code, report.reportId, report.serial);
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
                m_failureByTask[reportId] = FetchFailureText(code);
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

}  // namespace tamsel
