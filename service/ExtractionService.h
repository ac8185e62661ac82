#pragma once
// Tamsel's own extraction service: a small web site on the loopback interface that
// turns the address of a video page into a page of "Download" links to its media.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "service/PageFetcher.h"
#include "service/ServiceContract.h"

namespace httplib {
class Server;
}

namespace tamsel {

struct ServiceOptions {
    PageFetchLimits fetch;                         // reading the pages asked about
    std::uint64_t sampleBytesPerSecond = 4 << 20;  // 0: the sample clip is not paced
    int workerThreads = 8;                         // requests served at once; more wait
    // Page reads at once; more are refused with 503, so that reads of silent hosts
    // always leave a worker for the home, health and sample pages.
    int maxPageFetches = 6;
};

// Start and Stop belong to one thread (the owner's); the pages are served by a
// bounded pool of worker threads that all end before Stop returns.
class ExtractionService {
public:
    explicit ExtractionService(ServiceOptions options = {});
    ~ExtractionService();  // stops
    ExtractionService(const ExtractionService&) = delete;
    ExtractionService& operator=(const ExtractionService&) = delete;

    // Binds 127.0.0.1:`port` (0: any free port) and serves on a background thread.
    // False when the port is taken or the service already runs.
    bool Start(int port = kServicePort);
    // Ends every request in flight promptly and waits for the serving threads.
    void Stop();
    // The bound port, 0 when not running.
    int Port() const { return m_port.load(); }
    // This run's form key (see RequestAdmission.h); fixed for the object's life.
    const std::string& FormKey() const { return m_strFormKey; }

private:
    // Limits, security headers and the pages, on the server about to be bound.
    void ConfigureRoutes();

    const ServiceOptions m_options;
    const std::string m_strFormKey;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<int> m_port{0};
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_nPageFetches{0};
};

// The text GET /health answers with.
inline constexpr const char* kServiceHealthText = "tamsel-extractd";

// True when a Tamsel extraction service answers on 127.0.0.1:`port`.
bool IsServiceRunningOn(int port);

}  // namespace tamsel
