// The workers' reports on the user-interface thread, and the speed text.

#include <algorithm>

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
                // The part file keeps what arrived; the row shows it.
                m_taskModel.SetItemText(row, COL_FILE_NAME, fetcher->FileName());
                m_taskModel.SetItemText(row, COL_PROGRESS,
                                        FormatPercent(fetcher->Received(), fetcher->Length()));
                SetTaskState(row, TASK_STOP);
                RepaintList();
            }
            break;
        case FETCH_LENGTH:
            if (row >= 0) {
                m_taskModel.SetItemText(row, COL_FILE_NAME, fetcher->FileName());
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
                // The name it was given in the end: the media's extension, or the next
                // free one when the name was taken meanwhile.
                m_taskModel.SetItemText(row, COL_FILE_NAME, fetcher->FileName());
                SetTaskState(row, TASK_FINISH);
                RepaintList();
            }
            m_pFetchers[reportId].reset();
            break;
        default:
            if (code >= FETCH_TRANSFER_ERROR && code <= FETCH_BAD_URL) {
                LowerRunning();
                if (row >= 0) {
                    m_taskModel.SetItemText(row, COL_FILE_NAME, fetcher->FileName());
                    m_taskModel.SetItemText(row, COL_PROGRESS, "0%");
                    FailTask(row, fetcher->FailureText());
                }
            }
            break;
    }
}

std::string CTaskTable::GetSpeedText() const {
    return GetSpeedText(GetTickCount());
}

std::string CTaskTable::GetSpeedText(std::uint32_t nowTick) const {
    // The rate is the growth of the total received by all downloads over a short
    // window, so it sinks to 0 as soon as nothing arrives.
    constexpr std::uint32_t kWindowMs = 3000;
    std::map<std::uint64_t, std::uint64_t> seen;
    const std::uint64_t totalBefore = m_nSpeedTotal;
    std::uint32_t longestRun = 0;  // of the fetchers seen for the first time
    for (int row = 0; row < GetItemCount(); ++row) {
        const MediaFetcher* fetcher = FetcherInSlot(m_taskModel.GetItemData(row));
        if (!fetcher || GetTaskState(row) != TASK_DOWNLOADING) {
            continue;
        }
        const std::uint64_t received = fetcher->ReceivedUnlocked();
        const auto before = m_speedSeen.find(fetcher->Serial());
        // A fetcher seen for the first time counts from what its part file held.
        std::uint64_t last = fetcher->StartOffset();
        if (before != m_speedSeen.end()) {
            last = before->second;
        } else if (received > last) {
            longestRun = std::max(
                longestRun, std::min<std::uint32_t>(nowTick - fetcher->StartTick(), kWindowMs));
        }
        if (received >= last) {
            m_nSpeedTotal += received - last;
        }
        seen[fetcher->Serial()] = received;
    }
    if (m_speedSamples.empty() && longestRun > 0) {
        m_speedSamples.emplace_back(nowTick - longestRun, totalBefore);
    }
    const bool running = !seen.empty();
    m_speedSeen = std::move(seen);
    if (!running) {
        m_speedSamples.clear();  // nothing downloads: nothing arrives
        return "0 KB";
    }
    m_speedSamples.emplace_back(nowTick, m_nSpeedTotal);
    while (m_speedSamples.size() > 1 &&
           static_cast<std::uint32_t>(nowTick - m_speedSamples.front().first) > kWindowMs) {
        m_speedSamples.erase(m_speedSamples.begin());
    }
    const auto& [firstTick, firstTotal] = m_speedSamples.front();
    const std::uint32_t elapsed = nowTick - firstTick;
    const std::uint64_t bytes = m_nSpeedTotal - firstTotal;
    if (bytes == 0 || elapsed == 0) {
        return "0 KB";
    }
    return FormatSpeed(bytes, elapsed);
}

}  // namespace tamsel
