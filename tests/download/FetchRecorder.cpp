#include "tests/download/FetchRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>

void FetchRecorder::AcknowledgeDataOf(MediaFetcher* fetcher) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pAcknowledged = fetcher;
}

void FetchRecorder::QueueAnswer(CredentialsAnswer answer) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_answers.push_back(std::move(answer));
}

void FetchRecorder::PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_reports.push_back({code, reportId, fetcherSerial});
        if (code == FETCH_DATA && m_pAcknowledged != nullptr) {
            m_receivedAtData.push_back(m_pAcknowledged->Received());
            m_pAcknowledged->DataReportHandled();
        }
    }
    m_changed.notify_all();
}

void FetchRecorder::RequestCredentials(std::shared_ptr<CredentialsRequest> request) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_questions.push_back(request);
    if (m_answers.empty()) {
        return;
    }
    const CredentialsAnswer answer = m_answers.front();
    m_answers.pop_front();
    guard.unlock();
    m_changed.notify_all();
    request->Answer(answer.ok, answer.user, answer.password);
}

int FetchRecorder::WaitForTerminal(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(m_lock);
    int terminal = 0;
    m_changed.wait_for(guard, timeout, [&] {
        for (const auto& report : m_reports) {
            if (IsTerminalFetchCode(report.code)) {
                terminal = report.code;
                return true;
            }
        }
        return false;
    });
    return terminal;
}

bool FetchRecorder::WaitForCount(int code, int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, timeout, [&] {
        return std::count_if(m_reports.begin(), m_reports.end(),
                             [code](const FetchReport& r) { return r.code == code; }) >= count;
    });
}

std::vector<FetchReport> FetchRecorder::Reports() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reports;
}

int FetchRecorder::Count(int code) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(std::count_if(m_reports.begin(), m_reports.end(),
                                          [code](const FetchReport& r) { return r.code == code; }));
}

std::vector<std::shared_ptr<CredentialsRequest>> FetchRecorder::Questions() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_questions;
}

std::vector<std::uint64_t> FetchRecorder::ReceivedAtData() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_receivedAtData;
}

void ExpectReportProtocol(const std::vector<FetchReport>& reports, int taskId,
                          std::uint64_t serial) {
    ASSERT_FALSE(reports.empty());
    int lengths = 0;
    bool dataSeen = false;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const FetchReport& report = reports[i];
        EXPECT_EQ(report.reportId, taskId);
        EXPECT_EQ(report.serial, serial);
        EXPECT_EQ(IsTerminalFetchCode(report.code), i + 1 == reports.size())
            << "report " << i << " code " << report.code;
        if (report.code == FETCH_LENGTH) {
            ++lengths;
            EXPECT_FALSE(dataSeen) << "FETCH_LENGTH after FETCH_DATA";
        }
        if (report.code == FETCH_DATA) {
            dataSeen = true;
        }
    }
    EXPECT_LE(lengths, 1);
}

int RunFetcher(MediaFetcher& fetcher, FetchRecorder& recorder, const std::string& folder,
               const std::string& url, const std::string& fileName, int taskId) {
    fetcher.SetView(&recorder);
    fetcher.SetTask(folder, url, fileName, taskId, 0);
    if (!fetcher.Start()) {
        return 0;
    }
    const int terminal = recorder.WaitForTerminal();
    if (terminal != 0 && fetcher.m_pThread.joinable()) {
        fetcher.m_pThread.join();
    }
    return terminal;
}
