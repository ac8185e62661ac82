#include "service/GuardedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace tamsel {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `sock` is ready for `events` or `timeout` passes (never negative).
bool WaitFor(int sock, short events, std::chrono::milliseconds timeout) {
    pollfd entry{sock, events, 0};
    const int ms = static_cast<int>(std::max<long long>(0, timeout.count()));
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void Address(const sockaddr_storage& addr, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(addr);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        port = ntohs(in.sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(addr);
        inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        port = ntohs(in6.sin6_port);
    }
    ip = text;
}

// A connection's stream with a deadline and a byte cap on everything read.
class GuardedStream : public httplib::Stream {
public:
    GuardedStream(int sock, const ConnectionLimits& limits)
        : m_sock(sock), m_limits(limits), m_deadline(Clock::now() + limits.headDeadline) {}

    bool is_readable() const override { return m_next < m_end || WaitFor(m_sock, POLLIN, Left()); }
    bool is_writable() const override { return WaitFor(m_sock, POLLOUT, m_limits.writeStall); }

    ssize_t read(char* ptr, size_t size) override {
        if (m_next == m_end) {
            const std::size_t room =
                m_limits.maxHeadBytes - std::min(m_taken, m_limits.maxHeadBytes);
            if (room == 0 || !WaitFor(m_sock, POLLIN, Left())) {
                return -1;
            }
            ssize_t got = 0;
            do {
                got = ::recv(m_sock, m_buffer, std::min(room, sizeof m_buffer), 0);
            } while (got < 0 && errno == EINTR);
            if (got <= 0) {
                return got;
            }
            m_taken += static_cast<std::size_t>(got);
            m_next = m_buffer;
            m_end = m_buffer + got;
        }
        const std::size_t n = std::min(size, static_cast<std::size_t>(m_end - m_next));
        std::copy(m_next, m_next + n, ptr);
        m_next += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) {
            return -1;
        }
        ssize_t sent = 0;
        do {
            sent = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        if (::getpeername(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
            Address(addr, ip, port);
        }
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        if (::getsockname(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
            Address(addr, ip, port);
        }
    }
    socket_t socket() const override { return m_sock; }

private:
    std::chrono::milliseconds Left() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
    }

    const int m_sock;
    const ConnectionLimits& m_limits;
    const Clock::time_point m_deadline;
    std::size_t m_taken = 0;
    char m_buffer[4096];
    char* m_next = m_buffer;
    char* m_end = m_buffer;
};

}  // namespace

bool GuardedServer::process_and_close_socket(socket_t sock) {
    bool ok = false;
    {
        GuardedStream stream(sock, m_limits);
        bool closed = false;
        ok = process_request(stream, /*close_connection=*/true, closed,
                             [&stream](httplib::Request& req) {
                                 stream.get_remote_ip_and_port(req.remote_addr, req.remote_port);
                                 stream.get_local_ip_and_port(req.local_addr, req.local_port);
                             });
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

}  // namespace tamsel
