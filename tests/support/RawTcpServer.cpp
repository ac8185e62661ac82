#include "tests/support/RawTcpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace testsupport {

namespace {

int ListenOnLoopback(int backlog, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Waits up to `milliseconds` for the socket to become readable.
bool WaitReadable(int fd, int milliseconds) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) > 0;
}

// Reads until the blank line that ends a request's headers, or the peer leaves.
void ReadRequestHead(int fd, const std::atomic<bool>& stopping) {
    std::string head;
    char buffer[1024];
    while (!stopping.load() && head.find("\r\n\r\n") == std::string::npos) {
        if (!WaitReadable(fd, 20)) {
            continue;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        head.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

RawTcpServer::RawTcpServer(ConnectionHandler handler) : m_handler(std::move(handler)) {}

RawTcpServer::~RawTcpServer() {
    Stop();
}

bool RawTcpServer::Start() {
    m_listenSocket = ListenOnLoopback(16, m_nPort);
    if (m_listenSocket < 0) {
        return false;
    }
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void RawTcpServer::Stop() {
    m_bStopping.store(true);
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        connections.swap(m_connections);
    }
    for (auto& connection : connections) {
        connection.join();
    }
    if (m_listenSocket >= 0) {
        ::close(m_listenSocket);
        m_listenSocket = -1;
    }
}

std::string RawTcpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
}

void RawTcpServer::AcceptLoop() {
    while (!m_bStopping.load()) {
        if (!WaitReadable(m_listenSocket, 20)) {
            continue;
        }
        const int fd = ::accept4(m_listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_connections.emplace_back([this, fd] {
            m_handler(fd, m_bStopping);
            ::close(fd);
        });
    }
}

RawTcpServer::ConnectionHandler RawTcpServer::Reply(std::string reply) {
    return [reply](int fd, const std::atomic<bool>& stopping) {
        ReadRequestHead(fd, stopping);
        std::size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(n);
        }
    };
}

RawTcpServer::ConnectionHandler RawTcpServer::Silent() {
    return [](int fd, const std::atomic<bool>& stopping) {
        ReadRequestHead(fd, stopping);
        char buffer[256];
        while (!stopping.load()) {
            if (WaitReadable(fd, 20) && ::recv(fd, buffer, sizeof buffer, 0) <= 0) {
                return;  // the client left
            }
        }
    };
}

FullListenQueue::FullListenQueue() {
    m_listenSocket = ListenOnLoopback(0, m_nPort);
    if (m_listenSocket < 0) {
        m_nPort = -1;
        return;
    }
    // Fill the queue with handshakes nobody accepts; further SYNs are then dropped.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(m_nPort));
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            break;
        }
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        m_fillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

FullListenQueue::~FullListenQueue() {
    for (int fd : m_fillers) {
        ::close(fd);
    }
    if (m_listenSocket >= 0) {
        ::close(m_listenSocket);
    }
}

}  // namespace testsupport
