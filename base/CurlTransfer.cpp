#include "base/CurlTransfer.h"

#include <algorithm>

namespace tamsel {

namespace {

constexpr const char* kWebProtocols = "http,https";

}  // namespace

bool ApplyTransferOptions(CURL* easy, const CurlTransferOptions& options) {
    const auto set = [easy](CURLoption option, auto value) {
        return curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    bool ok = set(CURLOPT_NOSIGNAL, 1L);
    ok = ok && set(CURLOPT_PROTOCOLS_STR, kWebProtocols);
    ok = ok && set(CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols);
    ok = ok && set(CURLOPT_FOLLOWLOCATION, options.maxRedirects > 0 ? 1L : 0L);
    ok = ok && set(CURLOPT_MAXREDIRS, options.maxRedirects);
    ok = ok && set(CURLOPT_USERAGENT, options.userAgent);
    ok = ok && set(CURLOPT_SSL_VERIFYPEER, 1L);
    ok = ok && set(CURLOPT_SSL_VERIFYHOST, 2L);
    // A proxy's CONNECT answer is not the server's answer; keep it out of the callbacks.
    ok = ok && set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    ok = ok && set(CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    ok = ok && set(CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    ok = ok && set(CURLOPT_LOW_SPEED_LIMIT,
                   options.stallSeconds > 0 ? std::max(1L, options.stallBytesPerSecond) : 0L);
    ok = ok && set(CURLOPT_LOW_SPEED_TIME, options.stallSeconds);
    ok = ok && set(CURLOPT_MAXFILESIZE_LARGE, options.maxBodyBytes);
    if (options.receiveBufferBytes > 0) {
        ok = ok && set(CURLOPT_BUFFERSIZE, options.receiveBufferBytes);
    }
    // An empty list offers every encoding this curl decodes; null sends no header.
    ok = ok && set(CURLOPT_ACCEPT_ENCODING, options.acceptEncoding ? "" : nullptr);
    if (options.errorBuffer != nullptr) {
        options.errorBuffer[0] = '\0';
    }
    ok = ok && set(CURLOPT_ERRORBUFFER, options.errorBuffer);
    return ok;
}

TransferFailure ClassifyTransfer(CURLcode code, bool connected, long httpStatus) {
    const bool answered = httpStatus != 0;
    switch (code) {
        case CURLE_OK:
            return httpStatus >= 400 ? TransferFailure::HttpError : TransferFailure::None;
        case CURLE_URL_MALFORMAT:
            return TransferFailure::BadAddress;
        case CURLE_UNSUPPORTED_PROTOCOL:
            // Before a connection the address's own scheme; after an answer a redirect's
            // target; in between an answer without a status line (HTTP/0.9).
            return connected && !answered ? TransferFailure::NotHttp
                                          : TransferFailure::RefusedScheme;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return TransferFailure::ResolveFailed;
        case CURLE_COULDNT_CONNECT:
            return TransferFailure::ConnectFailed;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_ENGINE_INITFAILED:
            return TransferFailure::Tls;
        case CURLE_OPERATION_TIMEDOUT:
            return connected ? TransferFailure::TimedOut : TransferFailure::ConnectTimedOut;
        case CURLE_TOO_MANY_REDIRECTS:
            return TransferFailure::TooManyRedirects;
        case CURLE_WEIRD_SERVER_REPLY:
            return TransferFailure::NotHttp;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return answered ? TransferFailure::CutShort : TransferFailure::NoAnswer;
        case CURLE_PARTIAL_FILE:
            return TransferFailure::CutShort;
        case CURLE_FILESIZE_EXCEEDED:
            return TransferFailure::TooLarge;
        default:
            return TransferFailure::Other;
    }
}

long ResponseStatus(CURL* easy) {
    long status = 0;
    if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return 0;
    }
    return status;
}

bool TransferConnected(CURL* easy) {
    // A reused connection has no connect time of its own, but a request went out on it.
    curl_off_t connectTime = 0;
    curl_off_t pretransferTime = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime);
    curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransferTime);
    return connectTime > 0 || pretransferTime > 0 || ResponseStatus(easy) != 0;
}

TransferFailure ClassifyTransfer(CURL* easy, CURLcode code) {
    return ClassifyTransfer(code, TransferConnected(easy), ResponseStatus(easy));
}

std::string TransferFailureText(CURLcode code, const char* errorBuffer, long httpStatus) {
    if (errorBuffer != nullptr && errorBuffer[0] != '\0') {
        return errorBuffer;
    }
    if (code != CURLE_OK) {
        return curl_easy_strerror(code);
    }
    return "HTTP status " + std::to_string(httpStatus);
}

}  // namespace tamsel
