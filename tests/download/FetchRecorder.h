#pragma once
// Stands in for the view: records a fetcher's reports from its worker thread and
// answers its credential questions from a prepared list.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/MediaFetcher.h"

using namespace tamsel;

struct FetchReport {
    int code;
    int reportId;
    std::uint64_t serial;
};

struct CredentialsAnswer {
    bool ok;
    std::string user;
    std::string password;
};

class FetchRecorder : public FetchReportSink {
public:
    // When `fetcher` is given, every FETCH_DATA is acknowledged at once, as a view
    // that keeps up would, and the count received is noted as the view would read it.
    void AcknowledgeDataOf(MediaFetcher* fetcher);
    // Answers for the coming credential questions, in order; without one left the
    // question stays unanswered.
    void QueueAnswer(CredentialsAnswer answer);

    void PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) override;
    void RequestCredentials(std::shared_ptr<CredentialsRequest> request) override;

    // Waits for the terminal report; 0 when none came in time.
    int WaitForTerminal(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until at least `count` reports of `code` arrived.
    bool WaitForCount(int code, int count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::vector<FetchReport> Reports() const;
    int Count(int code) const;
    std::vector<std::shared_ptr<CredentialsRequest>> Questions() const;
    // Received() as read at each acknowledged FETCH_DATA.
    std::vector<std::uint64_t> ReceivedAtData() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<FetchReport> m_reports;
    std::deque<CredentialsAnswer> m_answers;
    std::vector<std::shared_ptr<CredentialsRequest>> m_questions;
    MediaFetcher* m_pAcknowledged = nullptr;
    std::vector<std::uint64_t> m_receivedAtData;
};

// The rules every run must keep: reports carry the task number and the fetcher's
// serial; at most one FETCH_LENGTH, before any FETCH_DATA; exactly one terminal
// report, and it comes last.
void ExpectReportProtocol(const std::vector<FetchReport>& reports, int taskId,
                          std::uint64_t serial);

// Configures `fetcher` the way the view does (view, task, then Start) and waits for its
// terminal report; returns it, or 0 when none came in time. The worker has ended when
// this returns a report.
int RunFetcher(MediaFetcher& fetcher, FetchRecorder& recorder, const std::string& folder,
               const std::string& url, const std::string& fileName, int taskId = 3);
