#pragma once
// An HTTP server on 127.0.0.1 with an ephemeral port, running in the background for
// one test. Add routes before Start(); the destructor stops it promptly, also while a
// handler stalls, as long as long-running handlers wait through SleepUnlessStopping.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class TestHttpServer {
public:
    using Handler = httplib::Server::Handler;

    // With `tls`, serves https with a freshly made self-signed certificate for
    // 127.0.0.1, which no client trusts.
    explicit TestHttpServer(bool tls = false);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Routes; `pattern` is a regular expression over the request path, as in httplib.
    void Get(const std::string& pattern, Handler handler);
    void Post(const std::string& pattern, Handler handler);

    // Binds and starts serving; false when no port could be bound.
    bool Start();
    // Stops serving and waits for every handler; called by the destructor.
    void Stop();

    int Port() const { return m_nPort; }
    // "http://127.0.0.1:<port>" + path (https with tls)
    std::string Url(const std::string& path) const;
    // How often requests for exactly this path have arrived.
    int Hits(const std::string& path) const;

    // True once Stop has begun; long-running handlers and providers end then.
    bool Stopping() const { return m_bStopping.load(); }
    // Sleeps for `duration` or until Stop begins; false when stopping.
    bool SleepUnlessStopping(std::chrono::milliseconds duration) const;

    // --- Canned routes ---
    // 200 with Content-Length.
    void ServeBytes(const std::string& path, std::string data,
                    const std::string& contentType = "application/octet-stream");
    // 200 with a chunked body (no Content-Length), in chunks of `chunkSize`.
    void ServeChunked(const std::string& path, std::string data, std::size_t chunkSize = 4096);
    // 200 streaming a file from disk with Content-Length; the file is read as it goes.
    void ServeFile(const std::string& path, const std::string& filePath);
    // Any status with a small text body.
    void ServeStatus(const std::string& path, int status, const std::string& body = "");
    // `data` for requests carrying Basic credentials user:password; otherwise 401
    // (or 407 with Proxy-Authorization when `proxy`) with a text body.
    void ServeWithBasicAuth(const std::string& path, const std::string& user,
                            const std::string& password, std::string data, bool proxy = false);
    // A redirect to `target` (an absolute address or a path on this server).
    void ServeRedirect(const std::string& path, const std::string& target, int status = 302);
    // Announces `announced` bytes, sends `data` (fewer), then drops the connection.
    void ServeTruncated(const std::string& path, std::size_t announced, std::string data);
    // Sends the headers (announcing `announced` bytes) and `prefix`, then nothing more
    // until the server stops.
    void ServeStallAfterHeaders(const std::string& path, std::size_t announced,
                                std::string prefix = "");
    // Accepts the request and never answers it until the server stops.
    void ServeNoAnswer(const std::string& path);
    // The bytes ServeSlow sends for `total`.
    static std::string SlowBody(std::size_t total);
    // `total` bytes with Content-Length, `chunk` bytes every `interval`.
    void ServeSlow(const std::string& path, std::size_t total, std::size_t chunk,
                   std::chrono::milliseconds interval);

    httplib::Server& Raw() { return *m_server; }

private:
    void CountHit(const std::string& path);

    std::unique_ptr<httplib::Server> m_server;
    const bool m_bTls;
    std::thread m_thread;
    int m_nPort = -1;
    std::atomic<bool> m_bStopping{false};
    mutable std::mutex m_hitsLock;
    std::map<std::string, int> m_hits;
};

// Deterministic pseudo-random bytes, different for different seeds.
std::string MakeTestBytes(std::size_t size, unsigned seed = 1);

}  // namespace testsupport
