#pragma once
// Stands in for the view in the download benchmarks: keeps a fetcher's terminal report
// and refuses every password question.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "download/FetchCodes.h"
#include "download/MediaFetcher.h"

namespace tamsel {

class TerminalSink : public FetchReportSink {
public:
    void PostFetchProgress(int code, int, std::uint64_t) override {
        if (IsTerminalFetchCode(code)) {
            m_nCode.store(code);
        }
    }
    void RequestCredentials(std::shared_ptr<CredentialsRequest> request) override {
        request->Answer(false, {}, {});
    }
    // Waits for the terminal report and returns its code.
    int Wait() {
        while (m_nCode.load() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return m_nCode.load();
    }

private:
    std::atomic<int> m_nCode{0};
};

}  // namespace tamsel
