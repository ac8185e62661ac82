#pragma once
// The settings every transfer of this program shares, and the one reading of how a
// transfer ended. Callers fill CurlTransferOptions with what differs between them and
// map TransferFailure to their own report codes.

#include <curl/curl.h>

#include <string>

namespace tamsel {

struct CurlTransferOptions {
    const char* userAgent = "Tamsel";
    long maxRedirects = 10;     // 0: redirects are not followed
    long connectTimeoutMs = 0;  // 0: curl's default
    long totalTimeoutMs = 0;    // whole transfer, connect included; 0: no bound
    long stallSeconds =
        0;  // a connection moving under stallBytesPerSecond this long ends; 0: never
    long stallBytesPerSecond = 1;
    curl_off_t maxBodyBytes =
        0;  // a body announced or grown beyond this ends the transfer; 0: no cap
    long receiveBufferBytes = 0;  // 0: curl's default
    bool acceptEncoding = false;  // offer and decode every encoding curl knows
    char* errorBuffer = nullptr;  // CURL_ERROR_SIZE bytes for curl's own words, or none
};

// Applies the shared settings: http and https only, also after redirects; certificates
// checked; no signals; proxy CONNECT headers kept out of the callbacks; plus `options`.
// False when curl refuses any of them.
bool ApplyTransferOptions(CURL* easy, const CurlTransferOptions& options);

// How a transfer failed, whoever made it.
enum class TransferFailure {
    None,              // completed, with a status below 400
    BadAddress,        // the address is not well formed
    RefusedScheme,     // not http or https, also as a redirect's target
    ResolveFailed,     // host or proxy name not found
    ConnectFailed,     // refused or unreachable
    ConnectTimedOut,   // no connection within the time
    Tls,               // handshake or certificate failure
    NotHttp,           // connected, but the answer is not HTTP
    NoAnswer,          // connected, but the request went unanswered
    TimedOut,          // connected, then too slow or past the total time
    TooManyRedirects,  // past the redirect limit
    TooLarge,          // past the body size cap
    CutShort,          // the answer broke off
    HttpError,         // an answer with a status of 400 or above
    Other,
};

// Reads `code` together with whether a connection was made and the last HTTP status
// (0 when no answer came).
TransferFailure ClassifyTransfer(CURLcode code, bool connected, long httpStatus);

// The same, with connection and status read from the finished `easy`.
TransferFailure ClassifyTransfer(CURL* easy, CURLcode code);

// The last response's HTTP status, 0 when none came.
long ResponseStatus(CURL* easy);
// True once the transfer reached the server: connected, or reusing a connection.
bool TransferConnected(CURL* easy);

// A reason for a log line: curl's own words from `errorBuffer` when it holds some,
// else curl's text for `code`, else the HTTP status.
std::string TransferFailureText(CURLcode code, const char* errorBuffer, long httpStatus);

}  // namespace tamsel
