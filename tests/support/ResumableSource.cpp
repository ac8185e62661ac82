#include "tests/support/ResumableSource.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace testsupport {

namespace {

std::string ReadHead(int fd, const std::atomic<bool>& stopping) {
    std::string head;
    char buffer[1024];
    while (!stopping.load() && head.find("\r\n\r\n") == std::string::npos) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 20) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return {};
        }
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return head;
}

// The value of header `name` (given with its colon, lower case) in `head`, or "".
std::string HeaderValue(const std::string& head, const std::string& name) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t at = lower.find("\r\n" + name);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = head.find_first_not_of(' ', at + 2 + name.size());
    return head.substr(start, head.find("\r\n", start) - start);
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A client that closed its end no longer counts as a connection under way.
bool PeerClosed(int fd) {
    pollfd entry{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace

ResumableSource::ResumableSource(std::uint64_t size, unsigned version)
    : m_nSize(size),
      m_nVersion(version),
      m_server([this](int socket, const std::atomic<bool>& stopping) { Serve(socket, stopping); }) {
}

std::string ResumableSource::Bytes(std::uint64_t size, unsigned version, std::uint64_t from,
                                   std::uint64_t count) {
    const std::uint64_t end = std::min(size, count == UINT64_MAX ? size : from + count);
    std::string out;
    out.reserve(end > from ? end - from : 0);
    for (std::uint64_t i = from; i < end; ++i) {
        const std::uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull ^ (version * 0xC2B2AE3D27D4EB4Full);
        out.push_back(static_cast<char>(x >> 56));
    }
    return out;
}

void ResumableSource::ChangeTo(unsigned version) {
    m_nVersion.store(version);
}

void ResumableSource::ChangeAtRequest(int request, unsigned version) {
    m_nChangeTo.store(version);
    m_nChangeAt.store(request);
}

void ResumableSource::RefuseBeyond(int connections, int status) {
    m_nRefuseStatus.store(status);
    m_nRefuseBeyond.store(connections);
}

void ResumableSource::HoldAt(std::uint64_t offset, bool drop) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bHolding = true;
    m_bDrop = drop;
    m_nHoldAt = offset;
}

void ResumableSource::Release() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bHolding = false;
    m_released.notify_all();
}

bool ResumableSource::WaitAtHold(std::uint64_t offset, const std::atomic<bool>& stopping,
                                 bool& drop) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_bHolding || offset != m_nHoldAt) {
        return true;
    }
    if (m_bDrop) {
        m_bHolding = false;
        drop = true;
        return false;
    }
    while (m_bHolding && !stopping.load()) {
        m_released.wait_for(lock, std::chrono::milliseconds(20));
    }
    return !stopping.load();
}

void ResumableSource::Serve(int socket, const std::atomic<bool>& stopping) {
    const std::string head = ReadHead(socket, stopping);
    if (head.empty()) {
        return;
    }
    const int request = ++m_nRequests;
    if (m_nChangeAt.load() != 0 && request >= m_nChangeAt.load()) {
        m_nVersion.store(m_nChangeTo.load());
    }
    struct Active {
        std::atomic<int>& count;
        ~Active() { --count; }
    } active{m_nActive};
    const int under = ++m_nActive;
    for (int peak = m_nPeak.load(); under > peak && !m_nPeak.compare_exchange_weak(peak, under);) {
    }
    const bool ranged = !HeaderValue(head, "range:").empty();
    if ((m_nRefuseBeyond.load() != 0 && under > m_nRefuseBeyond.load()) ||
        (ranged && m_nRefuseRanged.load() != 0) ||
        (m_nRefuseFirst.load() != 0 && request >= m_nRefuseFirst.load() &&
         request <= m_nRefuseLast.load())) {
        const int status =
            ranged && m_nRefuseRanged.load() != 0 ? m_nRefuseRanged.load() : m_nRefuseStatus.load();
        const std::string refusal = "HTTP/1.1 " + std::to_string(status) +
                                    " Busy\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        SendAll(socket, refusal.data(), refusal.size());
        return;
    }
    const unsigned version = m_nVersion.load();
    const std::string etag = "\"v" + std::to_string(version) + "\"";
    const bool validator = m_bValidator.load();
    std::uint64_t from = 0;
    std::uint64_t end = m_nSize;
    bool partial = false;
    const std::string range = HeaderValue(head, "range:");
    const std::string ifRange = HeaderValue(head, "if-range:");
    unsigned long long first = 0, last = 0;
    const int fields = std::sscanf(range.c_str(), "bytes=%llu-%llu", &first, &last);
    if (validator && !m_bIgnoreRanges.load() && fields >= 1 &&
        (ifRange.empty() || ifRange == etag || !m_bHonourIfRange.load()) && first < m_nSize &&
        (fields == 1 || last >= first)) {
        from = first;
        end = fields == 2 ? std::min<std::uint64_t>(m_nSize, last + 1) : m_nSize;
        partial = true;
    }
    std::string answer = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    answer += "Content-Type: video/mp4\r\nConnection: close\r\n";
    if (validator) {
        answer += "ETag: " + etag + "\r\nAccept-Ranges: bytes\r\n";
    }
    if (partial) {
        ++m_nPartial;
        answer += "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(end - 1) +
                  "/" + std::to_string(m_nSize) + "\r\n";
    }
    answer += "Content-Length: " + std::to_string(end - from) + "\r\n\r\n";
    if (!SendAll(socket, answer.data(), answer.size())) {
        return;
    }
    constexpr std::uint64_t kPiece = 64 * 1024;
    const auto began = std::chrono::steady_clock::now();
    for (std::uint64_t at = from; at < end && !stopping.load();) {
        bool drop = false;
        std::unique_lock<std::mutex> lock(m_lock);
        const bool holdAhead = m_bHolding && m_nHoldAt > at && m_nHoldAt < at + kPiece;
        const std::uint64_t next = std::min(end, holdAhead ? m_nHoldAt : at + kPiece);
        lock.unlock();
        if (!WaitAtHold(at, stopping, drop) || PeerClosed(socket)) {
            return;  // dropped, or the server stops, or the client has gone
        }
        if (const std::uint64_t pace = m_nPace.load(); pace != 0) {
            // Each connection's bytes so far may not run ahead of its pace.
            const auto due = began + std::chrono::microseconds((at - from) * 1000000 / pace);
            while (!stopping.load() && std::chrono::steady_clock::now() < due) {
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                    due - std::chrono::steady_clock::now(), std::chrono::milliseconds(20)));
            }
        }
        const std::string piece = Bytes(m_nSize, version, at, next - at);
        if (!SendAll(socket, piece.data(), piece.size())) {
            return;
        }
        m_nSent += piece.size();
        at = next;
    }
}

}  // namespace testsupport
