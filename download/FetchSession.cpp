#include "download/FetchSession.h"

#include <cctype>
#include <string_view>

#include "base/CurlGlobal.h"

namespace tamsel {

namespace {

// Each piece is written to the file while it is still in the processor's cache; larger
// receive buffers measured slower on loopback, smaller ones cost more calls.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr auto kPollInterval = std::chrono::milliseconds(200);

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// "HTTP/1.1 200 OK" -> 200; 0 when the line holds no three-digit status.
long ParseStatusLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) {
        return 0;
    }
    long status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        status = status * 10 + (line[i] - '0');
    }
    if (line.size() > space + 4 && line[space + 4] != ' ' && line[space + 4] != '\r' &&
        line[space + 4] != '\n') {
        return 0;
    }
    return status;
}

// Decimal digits only; anything else, or an overflow, reads as unknown (0).
std::uint64_t ParseLength(std::string_view value) {
    if (value.empty()) {
        return 0;
    }
    std::uint64_t length = 0;
    for (char c : value) {
        if (c < '0' || c > '9') {
            return 0;
        }
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (length > (UINT64_MAX - digit) / 10) {
            return 0;
        }
        length = length * 10 + digit;
    }
    return length;
}

bool IsFollowedRedirect(long status) {
    return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 ||
           status == 308;
}

}  // namespace

FetchSession::~FetchSession() {
    if (m_hMulti != nullptr) {
        if (m_hEasy != nullptr) {
            curl_multi_remove_handle(m_hMulti, m_hEasy);
        }
        curl_multi_cleanup(m_hMulti);
    }
    if (m_hEasy != nullptr) {
        curl_easy_cleanup(m_hEasy);
    }
}

bool FetchSession::Open() {
    EnsureCurlGlobalInit();
    m_hEasy = curl_easy_init();
    m_hMulti = curl_multi_init();
    return m_hEasy != nullptr && m_hMulti != nullptr;
}

bool FetchSession::SetConnectOptions(std::chrono::milliseconds connectTimeout) {
    bool ok = curl_easy_setopt(m_hEasy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_CONNECTTIMEOUT_MS,
                                static_cast<long>(connectTimeout.count())) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_BUFFERSIZE, kReceiveBufferSize) == CURLE_OK;
    // A proxy's CONNECT answer is not the server's answer; keep it out of the callbacks.
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    return ok;
}

bool FetchSession::SetRequestOptions(const std::string& url, LengthHandler onLength,
                                     BodyHandler onBody) {
    m_onLength = std::move(onLength);
    m_onBody = std::move(onBody);
    bool ok = curl_easy_setopt(m_hEasy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_USERAGENT, "Tamsel") == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_MAXREDIRS, 10L) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_HEADERFUNCTION, &OnHeaderLine) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_HEADERDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_WRITEFUNCTION, &OnBodyData) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_WRITEDATA, this) == CURLE_OK;
    return ok;
}

bool FetchSession::SetCredentials(bool proxy, const std::string& user,
                                  const std::string& password) {
    const CURLoption userOption = proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME;
    const CURLoption passwordOption = proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD;
    return curl_easy_setopt(m_hEasy, userOption, user.c_str()) == CURLE_OK &&
           curl_easy_setopt(m_hEasy, passwordOption, password.c_str()) == CURLE_OK;
}

std::size_t FetchSession::OnHeaderLine(char* data, std::size_t size, std::size_t count,
                                       void* self) {
    auto& session = *static_cast<FetchSession*>(self);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    session.m_nBytesSeen += length;

    if (line.starts_with("HTTP/")) {
        // A new response begins: a redirect's target, a retry, or the first one.
        session.m_bAnyResponse = true;
        session.m_nStatus = ParseStatusLine(line);
        session.m_bHasLocation = false;
        session.m_bChunked = false;
        session.m_nContentLength = 0;
        return length;
    }
    if (Trim(line).empty()) {
        return session.HeadersComplete() ? length : 0;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return length;
    }
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "Content-Length")) {
        session.m_nContentLength = ParseLength(value);
    } else if (EqualsNoCase(name, "Location")) {
        session.m_bHasLocation = !value.empty();
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
        session.m_bChunked = value.find("chunked") != std::string_view::npos;
    }
    return length;
}

bool FetchSession::HeadersComplete() {
    const long status = m_nStatus;
    if (status == 0) {
        m_bStatusError = true;
        return false;
    }
    if (status < 200 || (IsFollowedRedirect(status) && m_bHasLocation)) {
        return true;  // an interim answer; the real one follows
    }
    if (status == 200) {
        m_bFinal200 = true;
        // A chunked body's length header, if any, means nothing.
        m_onLength(m_bChunked ? 0 : m_nContentLength);
        return true;
    }
    if (status == 401) {
        m_bNeedAuth = true;
        return true;
    }
    if (status == 407) {
        m_bNeedProxyAuth = true;
        return true;
    }
    m_bBadStatus = true;
    return false;
}

std::size_t FetchSession::OnBodyData(char* data, std::size_t size, std::size_t count, void* self) {
    auto& session = *static_cast<FetchSession*>(self);
    const std::size_t length = size * count;
    session.m_nBytesSeen += length;
    if (!session.m_bFinal200 || session.m_bNeedAuth || session.m_bNeedProxyAuth) {
        return length;  // the body of a redirect or of a refusal is read away
    }
    if (!session.m_onBody(data, length)) {
        session.m_bBodyRejected = true;
        return 0;
    }
    return length;
}

FetchOutcome FetchSession::Perform(const std::atomic<int>& stop,
                                   std::chrono::milliseconds idleTimeout) {
    m_nBytesSeen = 0;
    m_bAnyResponse = m_bFinal200 = m_bNeedAuth = m_bNeedProxyAuth = false;
    m_bBadStatus = m_bStatusError = m_bBodyRejected = false;
    m_nStatus = 0;

    if (curl_multi_add_handle(m_hMulti, m_hEasy) != CURLM_OK) {
        return FetchOutcome::SendError;
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastActivity = Clock::now();
    std::uint64_t bytesAtLastActivity = 0;
    bool connected = false;
    bool finished = false;
    bool stopped = false;
    bool stalled = false;
    CURLcode result = CURLE_OK;

    for (;;) {
        int running = 0;
        if (curl_multi_perform(m_hMulti, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            finished = true;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(m_hMulti, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) {
            finished = true;
            break;
        }
        if (stop.load() != 0) {
            stopped = true;
            break;
        }
        const Clock::time_point now = Clock::now();
        if (!connected) {
            curl_off_t connectTime = 0;
            if (curl_easy_getinfo(m_hEasy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
                connectTime > 0) {
                connected = true;
                lastActivity = now;
            }
        }
        if (m_nBytesSeen != bytesAtLastActivity) {
            bytesAtLastActivity = m_nBytesSeen;
            lastActivity = now;
        } else if (connected && now - lastActivity >= idleTimeout) {
            stalled = true;
            break;
        }
        curl_multi_poll(m_hMulti, nullptr, 0, static_cast<int>(kPollInterval.count()), nullptr);
    }
    curl_multi_remove_handle(m_hMulti, m_hEasy);

    if (stopped) {
        return FetchOutcome::Stopped;
    }
    if (m_bBodyRejected) {
        return FetchOutcome::BodyRejected;
    }
    if (stalled) {
        return FetchOutcome::TransferError;
    }
    return Classify(result, connected);
}

FetchOutcome FetchSession::Classify(CURLcode result, bool connected) const {
    if (m_bNeedAuth) {
        return FetchOutcome::NeedCredentials;
    }
    long connectCode = 0;
    if (m_bNeedProxyAuth ||
        (curl_easy_getinfo(m_hEasy, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
         connectCode == 407)) {
        return FetchOutcome::NeedProxyCredentials;
    }
    if (m_bStatusError) {
        return FetchOutcome::StatusError;
    }
    if (m_bBadStatus) {
        return FetchOutcome::BadStatus;
    }
    switch (result) {
        case CURLE_OK:
            if (m_bFinal200) {
                return FetchOutcome::Complete;
            }
            return m_bAnyResponse ? FetchOutcome::BadStatus : FetchOutcome::StatusError;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_ENGINE_INITFAILED:
            return FetchOutcome::ConnectError;
        case CURLE_OPERATION_TIMEDOUT:
            return connected ? FetchOutcome::TransferError : FetchOutcome::ConnectError;
        case CURLE_TOO_MANY_REDIRECTS:
            return FetchOutcome::BadStatus;
        case CURLE_UNSUPPORTED_PROTOCOL:
            // After an answer this is a redirect to a scheme we do not fetch; before
            // one, an answer without a status line.
            return m_bAnyResponse ? FetchOutcome::BadStatus : FetchOutcome::StatusError;
        case CURLE_WEIRD_SERVER_REPLY:
            return FetchOutcome::StatusError;
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            return m_bAnyResponse ? FetchOutcome::TransferError : FetchOutcome::SendError;
        case CURLE_RECV_ERROR:
            return m_bAnyResponse ? FetchOutcome::TransferError : FetchOutcome::SendError;
        default:
            return FetchOutcome::TransferError;
    }
}

}  // namespace tamsel
