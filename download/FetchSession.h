#pragma once
// One HTTP GET on a libcurl easy handle, driven through a multi handle so the caller's
// stop flag is looked at several times a second, even while the server sends nothing.
// The response's status decides what reaches the body handler: only the body of a
// final 200 answer (or of the 206 answer to a resumed request) does; redirects are followed and the
// bodies of 401 and 407 answers are read away.

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
    RangeIgnored,          // a resumed request got the whole resource (200, 416, a wrong range)
    BadStatus,             // any other status, too many redirects, a redirect we may not follow
    StatusError,           // no readable status line
    ConnectError,          // no connection: name not found, refused, connect timeout, TLS failure
    SendError,             // connected, but the request went unanswered
    TransferError,         // the body broke off, came short, or stalled
};

class FetchSession {
public:
    // Told the resource's whole length (0 when unknown) once the headers of the 200 answer
    // (or 206) are in.
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
    // Lets curl answer with the scheme the server offers (never Basic unasked), and
    // sends them only to the host of the address the request now goes to.
    bool SetCredentials(bool proxy, const std::string& user, const std::string& password);
    // Sends the next run to `url` instead: after a 401, the address that asked.
    bool Retarget(const std::string& url);
    // Of the last answer: the address it came from, after redirects, and the realm of
    // its WWW-Authenticate (or Proxy-Authenticate) header, cut to a sane length.
    std::string AnsweringUrl() const;
    std::string AuthRealm(bool proxy) const;
    // Asks for the resource from byte `offset` on, only if it still is the one `validator`
    // (an ETag or a Last-Modified date of an earlier answer) names: an If-Range request.
    // Offset 0 asks for all of it again.
    bool SetResume(std::uint64_t offset, const std::string& validator);
    // Asks for bytes [first, last] of a resource of `total` bytes named by `validator`:
    // only a 206 with exactly that range, that total and that validator is taken, anything
    // else ends as RangeIgnored.
    bool SetRange(std::uint64_t first, std::uint64_t last, std::uint64_t total,
                  const std::string& validator);

    // Runs the request once.
    FetchOutcome Perform(const std::atomic<int>& stop);
    // The same in two halves, for a caller driving Handle() on a multi handle of its own.
    CURL* Handle() const { return m_hEasy; }
    void BeginRun();
    FetchOutcome EndRun(CURLcode result);
    // The status of the last answer read.
    long Status() const { return m_nStatus; }
    // Why the last run did not complete, in words for a log line.
    std::string FailureReason() const;
    // The same for the user, as one sentence; `received` is how much had arrived.
    std::string UserFailureReason(std::uint64_t received) const;

    // Of the last 200 or 206 answer: what identifies this version of the resource for a
    // later If-Range (a strong ETag, else Last-Modified; "" when neither), and its type.
    const std::string& Validator() const { return m_strValidator; }
    const std::string& ContentType() const { return m_strContentType; }
    // Whether that answer said the server serves byte ranges (Accept-Ranges: bytes, or
    // a 206 itself).
    bool OffersRanges() const { return m_bOffersRanges; }
    // The address of the answer, after redirects.
    std::string FinalUrl() const;

private:
    static std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnBodyData(char* data, std::size_t size, std::size_t count, void* self);
    bool HeadersComplete();
    std::uint64_t AnnouncedLength() const;
    bool AcceptPartialAnswer();
    void NoteResourceHeaders();
    FetchOutcome Classify(CURLcode result) const;
    std::string StallSentence(std::uint64_t received) const;

    CURL* m_hEasy = nullptr;
    std::chrono::milliseconds m_headDeadline{0};
    long m_nStallSeconds = 0;
    long m_nFloorBytesPerSecond = 0;
    bool m_bHeadDone = false;
    bool m_bHeadLate = false;
    LengthHandler m_onLength;
    BodyHandler m_onBody;
    char m_szError[CURL_ERROR_SIZE] = {};
    curl_slist* m_pHeaders = nullptr;
    std::uint64_t m_nResumeOffset = 0;
    bool m_bRanged = false;  // SetRange: a closed range of a known resource
    std::uint64_t m_nRangeLast = 0;
    std::uint64_t m_nRangeTotal = 0;
    std::string m_strRangeValidator;  // sent in If-Range; a 206 must carry it
    bool m_bOffersRanges = false;
    std::string m_strValidator;
    std::string m_strContentType;

    // State of one run.
    CURLcode m_nResult = CURLE_OK;
    long m_nStatus = 0;  // of the response whose headers were read last
    bool m_bFinal200 = false;
    bool m_bNeedAuth = false;
    bool m_bNeedProxyAuth = false;
    bool m_bBadStatus = false;
    bool m_bStatusError = false;
    bool m_bBodyRejected = false;
    bool m_bRangeIgnored = false;
};

}  // namespace tamsel
