#pragma once
// A TCP server on 127.0.0.1 that hands each accepted connection to a function, for
// answers an HTTP library would never give: garbage, silence, a closed socket.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class RawTcpServer {
public:
    // Runs on a thread of its own per connection; the socket is closed after it returns.
    // Long waits must end once `stopping` is true.
    using ConnectionHandler = std::function<void(int socket, const std::atomic<bool>& stopping)>;

    explicit RawTcpServer(ConnectionHandler handler);
    ~RawTcpServer();
    RawTcpServer(const RawTcpServer&) = delete;
    RawTcpServer& operator=(const RawTcpServer&) = delete;

    bool Start();
    void Stop();
    int Port() const { return m_nPort; }
    std::string Url(const std::string& path) const;

    // Canned handlers.
    // Reads the request, writes `reply` as it stands, closes.
    static ConnectionHandler Reply(std::string reply);
    // Reads the request and stays silent until the server stops.
    static ConnectionHandler Silent();

private:
    void AcceptLoop();

    ConnectionHandler m_handler;
    int m_listenSocket = -1;
    int m_nPort = -1;
    std::atomic<bool> m_bStopping{false};
    std::thread m_acceptThread;
    std::mutex m_lock;
    std::vector<std::thread> m_connections;
};

// A port that accepts TCP handshakes no more: its listen queue is full, so a connect
// to it neither succeeds nor fails until the client's own timeout.
class FullListenQueue {
public:
    FullListenQueue();
    ~FullListenQueue();
    FullListenQueue(const FullListenQueue&) = delete;
    FullListenQueue& operator=(const FullListenQueue&) = delete;
    bool Ready() const { return m_nPort > 0; }
    int Port() const { return m_nPort; }

private:
    int m_listenSocket = -1;
    int m_nPort = -1;
    std::vector<int> m_fillers;
};

}  // namespace testsupport
