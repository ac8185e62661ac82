#pragma once
// One HTTP GET on a libcurl easy handle, driven through a multi handle so the caller's
// stop flag is looked at several times a second, even while the server sends nothing.
// The response's status decides what reaches the body handler: only the body of a
// final 200 answer does; redirects are followed and the bodies of 401 and 407 answers
// are read away.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "download/FetchFloor.h"

namespace tamsel {

enum class FetchOutcome {
    Complete,              // a 200 answer whose body arrived whole
    NeedCredentials,       // 401: the server wants a user name and password
    NeedProxyCredentials,  // 407: the proxy wants them
    Stopped,               // the stop flag was seen while waiting
    BodyRejected,          // the body handler refused a block
    BadStatus,             // any other status, too many redirects, a redirect we may not follow
    StatusError,           // no readable status line
    ConnectError,          // no connection: name not found, refused, connect timeout, TLS failure
    SendError,             // connected, but the request went unanswered
    TransferError,         // the body broke off, came short, or stalled
};

class FetchSession {
public:
    // Told the announced length (0 when none) once the headers of the 200 answer are in.
    using LengthHandler = std::function<void(std::uint64_t length)>;
    // Given the body in the pieces curl delivers; returning false ends the transfer.
    using BodyHandler = std::function<bool(const char* data, std::size_t size)>;

    FetchSession() = default;
    ~FetchSession();
    FetchSession(const FetchSession&) = delete;
    FetchSession& operator=(const FetchSession&) = delete;

    // Creates the handle.
    bool Open();
    // A connection must be made within `connectTimeout`; once made, a transfer that
    // moves under `floor.minBytesPerSecond` for `idleTimeout` (whole seconds, rounded
    // up), or whose answer's head is not complete within `floor.headDeadline`, ends as
    // TransferError.
    bool SetConnectOptions(std::chrono::milliseconds connectTimeout,
                           std::chrono::milliseconds idleTimeout, const FetchFloor& floor = {});
    bool SetRequestOptions(const std::string& url, LengthHandler onLength, BodyHandler onBody);
    bool SetCredentials(bool proxy, const std::string& user, const std::string& password);

    // Runs the request once.
    FetchOutcome Perform(const std::atomic<int>& stop);
    // Why the last run did not complete, in words for a log line.
    std::string FailureReason() const;

private:
    static std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnBodyData(char* data, std::size_t size, std::size_t count, void* self);
    bool HeadersComplete();
    std::uint64_t AnnouncedLength() const;
    FetchOutcome Classify(CURLcode result) const;

    CURL* m_hEasy = nullptr;
    std::chrono::milliseconds m_headDeadline{0};
    bool m_bHeadDone = false;
    bool m_bHeadLate = false;
    LengthHandler m_onLength;
    BodyHandler m_onBody;
    char m_szError[CURL_ERROR_SIZE] = {};

    // State of one run.
    CURLcode m_nResult = CURLE_OK;
    long m_nStatus = 0;  // of the response whose headers were read last
    bool m_bFinal200 = false;
    bool m_bNeedAuth = false;
    bool m_bNeedProxyAuth = false;
    bool m_bBadStatus = false;
    bool m_bStatusError = false;
    bool m_bBodyRejected = false;
};

}  // namespace tamsel
