#include "download/FetchSession.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "base/AsciiText.h"
#include "base/CancellableTransfer.h"
#include "base/CurlGlobal.h"
#include "base/CurlTransfer.h"
#include "download/SpeedText.h"

namespace tamsel {

namespace {

// Each piece is written to the file while it is still in the processor's cache; larger
// receive buffers measured slower on loopback, smaller ones cost more calls.
constexpr long kReceiveBufferSize = 512 * 1024;

bool IsFollowedRedirect(long status) {
    return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 ||
           status == 308;
}

// The value of header `name` in the response being read (request -1: the newest one,
// so a redirect's or a refusal's headers never speak for the final answer); null when
// that response has none.
const char* ResponseHeader(CURL* easy, const char* name) {
    curl_header* header = nullptr;
    if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
        return nullptr;
    }
    return header->value;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), word.begin(), word.end(), same) != text.end();
}

FetchOutcome OutcomeFor(TransferFailure failure) {
    switch (failure) {
        case TransferFailure::ResolveFailed:
        case TransferFailure::ConnectFailed:
        case TransferFailure::ConnectTimedOut:
        case TransferFailure::Tls:
            return FetchOutcome::ConnectError;
        case TransferFailure::TooManyRedirects:
        case TransferFailure::RefusedScheme:
        case TransferFailure::HttpError:
            return FetchOutcome::BadStatus;
        case TransferFailure::NotHttp:
            return FetchOutcome::StatusError;
        case TransferFailure::NoAnswer:
            return FetchOutcome::SendError;
        case TransferFailure::None:
        case TransferFailure::BadAddress:
        case TransferFailure::TimedOut:
        case TransferFailure::TooLarge:
        case TransferFailure::CutShort:
        case TransferFailure::Other:
            break;
    }
    return FetchOutcome::TransferError;
}

// The words of the statuses a media server is likely to give.
const char* StatusPhrase(long status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 410:
            return "Gone";
        case 416:
            return "Range Not Satisfiable";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return nullptr;
    }
}

std::string StatusSentence(const char* who, long status) {
    const char* phrase = StatusPhrase(status);
    return std::string("The ") + who + " answered " + std::to_string(status) +
           (phrase != nullptr ? std::string(" ") + phrase : std::string()) + ".";
}

}  // namespace

FetchSession::~FetchSession() {
    if (m_hEasy != nullptr) {
        curl_easy_cleanup(m_hEasy);
    }
    curl_slist_free_all(m_pHeaders);
}

bool FetchSession::Open() {
    EnsureCurlGlobalInit();
    m_hEasy = curl_easy_init();
    return m_hEasy != nullptr;
}

bool FetchSession::SetConnectOptions(std::chrono::milliseconds connectTimeout,
                                     std::chrono::milliseconds idleTimeout,
                                     const FetchFloor& floor) {
    m_headDeadline = floor.headDeadline;
    CurlTransferOptions options;
    options.connectTimeoutMs = static_cast<long>(connectTimeout.count());
    options.stallSeconds = static_cast<long>(std::max<std::chrono::seconds::rep>(
        1, std::chrono::ceil<std::chrono::seconds>(idleTimeout).count()));
    options.stallBytesPerSecond = floor.minBytesPerSecond;
    m_nStallSeconds = options.stallSeconds;
    m_nFloorBytesPerSecond = floor.minBytesPerSecond;
    options.receiveBufferBytes = kReceiveBufferSize;
    options.errorBuffer = m_szError;
    // The file is stored as the server sends it: no encoding is offered.
    return ApplyTransferOptions(m_hEasy, options);
}

bool FetchSession::SetRequestOptions(const std::string& url, LengthHandler onLength,
                                     BodyHandler onBody) {
    m_onLength = std::move(onLength);
    m_onBody = std::move(onBody);
    bool ok = curl_easy_setopt(m_hEasy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(m_hEasy, CURLOPT_HTTPGET, 1L) == CURLE_OK;
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
    const CURLoption authOption = proxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH;
    // CURLOPT_UNRESTRICTED_AUTH stays off: a redirect to another host drops them.
    return curl_easy_setopt(m_hEasy, authOption, static_cast<unsigned long>(CURLAUTH_ANY)) ==
               CURLE_OK &&
           curl_easy_setopt(m_hEasy, userOption, user.c_str()) == CURLE_OK &&
           curl_easy_setopt(m_hEasy, passwordOption, password.c_str()) == CURLE_OK;
}

bool FetchSession::Retarget(const std::string& url) {
    return curl_easy_setopt(m_hEasy, CURLOPT_URL, url.c_str()) == CURLE_OK;
}

std::string FetchSession::AnsweringUrl() const {
    const char* url = nullptr;
    if (curl_easy_getinfo(m_hEasy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) {
        return {};
    }
    return url;
}

std::string FetchSession::AuthRealm(bool proxy) const {
    constexpr std::size_t kMaxRealm = 120;
    const char* header = ResponseHeader(m_hEasy, proxy ? "Proxy-Authenticate" : "WWW-Authenticate");
    if (header == nullptr) {
        return {};
    }
    const std::string value = header;
    const std::string key = "realm=\"";
    const std::size_t at = AsciiLower(value).find(key);
    if (at == std::string::npos) {
        return {};
    }
    std::string realm;
    for (std::size_t i = at + key.size(); i < value.size() && value[i] != '"'; ++i) {
        if (realm.size() == kMaxRealm) {
            realm += "...";
            break;
        }
        const unsigned char c = static_cast<unsigned char>(value[i]);
        realm += c < 0x20 || c == 0x7f ? '?' : value[i];
    }
    return realm;
}

bool FetchSession::SetResume(std::uint64_t offset, const std::string& validator) {
    m_nResumeOffset = offset;
    m_bRanged = false;
    m_strRangeValidator = offset > 0 ? validator : std::string();
    if (curl_easy_setopt(m_hEasy, CURLOPT_RANGE, nullptr) != CURLE_OK) {
        return false;
    }
    curl_slist_free_all(m_pHeaders);
    m_pHeaders = nullptr;
    if (offset > 0) {
        // A validator from a hostile server must not smuggle in header lines.
        if (validator.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
        m_pHeaders = curl_slist_append(nullptr, ("If-Range: " + validator).c_str());
        if (m_pHeaders == nullptr) {
            return false;
        }
    }
    return curl_easy_setopt(m_hEasy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(offset)) ==
               CURLE_OK &&
           curl_easy_setopt(m_hEasy, CURLOPT_HTTPHEADER, m_pHeaders) == CURLE_OK;
}

bool FetchSession::SetRange(std::uint64_t first, std::uint64_t last, std::uint64_t total,
                            const std::string& validator) {
    // The If-Range header comes with any resume offset above 0.
    if (validator.empty() || last < first || last >= total || !SetResume(1, validator)) {
        return false;
    }
    m_nResumeOffset = first;
    m_bRanged = true;
    m_nRangeLast = last;
    m_nRangeTotal = total;
    const std::string range = std::to_string(first) + "-" + std::to_string(last);
    return curl_easy_setopt(m_hEasy, CURLOPT_RESUME_FROM_LARGE, curl_off_t{0}) == CURLE_OK &&
           curl_easy_setopt(m_hEasy, CURLOPT_RANGE, range.c_str()) == CURLE_OK;
}

std::size_t FetchSession::OnHeaderLine(char* data, std::size_t size, std::size_t count,
                                       void* self) {
    auto& session = *static_cast<FetchSession*>(self);
    const std::size_t length = size * count;
    // curl reads the headers itself; only the empty line that ends a response's
    // headers matters here, as the moment to judge that response.
    const bool endOfHeaders = length == 0 || data[0] == '\n' || (data[0] == '\r' && length <= 2);
    if (!endOfHeaders) {
        return length;
    }
    return session.HeadersComplete() ? length : 0;
}

bool FetchSession::HeadersComplete() {
    const long status = ResponseStatus(m_hEasy);
    m_nStatus = status;
    if (status == 0) {
        m_bStatusError = true;
        return false;
    }
    if (status < 200) {
        return true;  // an interim answer; the real one follows
    }
    // curl may answer a refusal itself within the run; only the last one counts.
    m_bNeedAuth = m_bNeedProxyAuth = false;
    if (IsFollowedRedirect(status)) {
        const char* location = ResponseHeader(m_hEasy, "Location");
        if (location != nullptr && location[0] != '\0') {
            return true;  // curl follows it
        }
    }
    m_bHeadDone = true;
    if ((m_nResumeOffset > 0 || m_bRanged) && (status == 200 || status == 206 || status == 416)) {
        // Anything but the asked-for range of the same resource starts afresh.
        if (status != 206 || !AcceptPartialAnswer()) {
            m_bRangeIgnored = true;
            return false;
        }
        return true;
    }
    if (status == 200) {
        m_bFinal200 = true;
        NoteResourceHeaders();
        m_onLength(AnnouncedLength());
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

bool FetchSession::AcceptPartialAnswer() {
    // "bytes <first>-<last>/<total>"; the body must start where the file ends.
    const char* range = ResponseHeader(m_hEasy, "Content-Range");
    unsigned long long first = 0, last = 0, total = 0;
    char unit[8] = {};
    if (range == nullptr ||
        std::sscanf(range, "%7s %llu-%llu/%llu", unit, &first, &last, &total) != 4 ||
        std::string_view(unit) != "bytes" || first != m_nResumeOffset || last < first ||
        last >= total) {
        return false;
    }
    NoteResourceHeaders();
    // A server that ignores If-Range may send a piece of another version: the piece must
    // name the version asked for, and a closed range must be exactly the one asked.
    if ((!m_strRangeValidator.empty() && m_strValidator != m_strRangeValidator) ||
        (m_bRanged && (last != m_nRangeLast || total != m_nRangeTotal))) {
        return false;
    }
    m_bFinal200 = true;
    m_onLength(static_cast<std::uint64_t>(total));
    return true;
}

void FetchSession::NoteResourceHeaders() {
    const char* etag = ResponseHeader(m_hEasy, "ETag");
    const char* modified = ResponseHeader(m_hEasy, "Last-Modified");
    const char* type = ResponseHeader(m_hEasy, "Content-Type");
    // A weak ETag may not be used in If-Range.
    if (etag != nullptr && etag[0] == '"') {
        m_strValidator = etag;
    } else if (modified != nullptr) {
        m_strValidator = modified;
    } else {
        m_strValidator.clear();
    }
    m_strContentType = type != nullptr ? type : "";
    const char* ranges = ResponseHeader(m_hEasy, "Accept-Ranges");
    m_bOffersRanges = m_nStatus == 206 || (ranges != nullptr && ContainsNoCase(ranges, "bytes"));
}

std::uint64_t FetchSession::AnnouncedLength() const {
    // A chunked body's length header, if any, means nothing; without a length header
    // in this very response, curl's count may still be a redirect's.
    const char* encoding = ResponseHeader(m_hEasy, "Transfer-Encoding");
    if ((encoding != nullptr && ContainsNoCase(encoding, "chunked")) ||
        ResponseHeader(m_hEasy, "Content-Length") == nullptr) {
        return 0;
    }
    curl_off_t length = -1;
    if (curl_easy_getinfo(m_hEasy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(length);
}

std::size_t FetchSession::OnBodyData(char* data, std::size_t size, std::size_t count, void* self) {
    auto& session = *static_cast<FetchSession*>(self);
    const std::size_t length = size * count;
    if (!session.m_bFinal200 || session.m_bNeedAuth || session.m_bNeedProxyAuth) {
        return length;  // the body of a redirect or of a refusal is read away
    }
    if (!session.m_onBody(data, length)) {
        session.m_bBodyRejected = true;
        return 0;
    }
    return length;
}

void FetchSession::BeginRun() {
    m_bFinal200 = m_bNeedAuth = m_bNeedProxyAuth = false;
    m_bBadStatus = m_bStatusError = m_bBodyRejected = m_bRangeIgnored = false;
    m_bHeadDone = m_bHeadLate = false;
    m_bOffersRanges = false;
    m_nStatus = 0;
    m_nResult = CURLE_OK;
    m_szError[0] = '\0';
}

FetchOutcome FetchSession::Perform(const std::atomic<int>& stop) {
    BeginRun();
    const auto headDue = std::chrono::steady_clock::now() + m_headDeadline;
    const std::optional<CURLcode> result = PerformUntil(m_hEasy, [this, &stop, headDue] {
        if (m_headDeadline.count() > 0 && !m_bHeadDone &&
            std::chrono::steady_clock::now() >= headDue) {
            m_bHeadLate = true;
            return true;
        }
        return stop.load() != 0;
    });
    if (m_bHeadLate) {
        m_nResult = CURLE_OPERATION_TIMEDOUT;
        return FetchOutcome::TransferError;
    }
    if (!result) {
        return FetchOutcome::Stopped;
    }
    return EndRun(*result);
}

FetchOutcome FetchSession::EndRun(CURLcode result) {
    m_nResult = result;
    if (m_bRangeIgnored) {
        return FetchOutcome::RangeIgnored;
    }
    if (m_bBodyRejected) {
        return FetchOutcome::BodyRejected;
    }
    return Classify(result);
}

FetchOutcome FetchSession::Classify(CURLcode result) const {
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
    if (result == CURLE_OK) {
        if (m_bFinal200) {
            return FetchOutcome::Complete;
        }
        return ResponseStatus(m_hEasy) != 0 ? FetchOutcome::BadStatus : FetchOutcome::StatusError;
    }
    return OutcomeFor(ClassifyTransfer(m_hEasy, result));
}

std::string FetchSession::FinalUrl() const {
    const char* url = nullptr;
    curl_easy_getinfo(m_hEasy, CURLINFO_EFFECTIVE_URL, &url);
    return url != nullptr ? url : "";
}

std::string FetchSession::FailureReason() const {
    if (m_bHeadLate) {
        return "the server did not finish its answer's head within " +
               std::to_string(std::chrono::ceil<std::chrono::seconds>(m_headDeadline).count()) +
               " s";
    }
    if (m_bBadStatus || m_bNeedAuth) {
        return "HTTP status " + std::to_string(m_nStatus);
    }
    long connectCode = 0;
    if (m_bNeedProxyAuth ||
        (curl_easy_getinfo(m_hEasy, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
         connectCode == 407)) {
        return "HTTP status 407 from the proxy";
    }
    if (m_bStatusError) {
        return "an answer without an HTTP status";
    }
    return TransferFailureText(m_nResult, m_szError, ResponseStatus(m_hEasy));
}

std::string FetchSession::StallSentence(std::uint64_t received) const {
    const std::string span = std::to_string(m_nStallSeconds) + " s";
    curl_off_t thisTransfer = 0;
    curl_easy_getinfo(m_hEasy, CURLINFO_SIZE_DOWNLOAD_T, &thisTransfer);
    if (thisTransfer <= 0) {
        return "The server sent nothing for " + span + ".";
    }
    // curl's low-speed limit: bytes came, too few to count.
    return "The download was too slow (under " +
           FormatAmount(static_cast<std::uint64_t>(std::max(1L, m_nFloorBytesPerSecond))) +
           "/s for " + span + ") after " + FormatAmount(received) + ".";
}

std::string FetchSession::UserFailureReason(std::uint64_t received) const {
    if (m_bHeadLate) {
        return "The server did not finish its answer within " +
               std::to_string(std::chrono::ceil<std::chrono::seconds>(m_headDeadline).count()) +
               " s.";
    }
    if (m_bBadStatus || m_bNeedAuth) {
        return StatusSentence("server", m_nStatus);
    }
    long connectCode = 0;
    if (m_bNeedProxyAuth ||
        (curl_easy_getinfo(m_hEasy, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
         connectCode == 407)) {
        return StatusSentence("proxy", 407);
    }
    if (m_bStatusError) {
        return "The server's answer is not HTTP.";
    }
    const long status = ResponseStatus(m_hEasy);
    switch (ClassifyTransfer(m_hEasy, m_nResult)) {
        case TransferFailure::HttpError:
            return StatusSentence("server", status);
        case TransferFailure::ResolveFailed:
            return "The server's name could not be found.";
        case TransferFailure::ConnectFailed:
            return "The server could not be reached.";
        case TransferFailure::ConnectTimedOut:
            return "The server did not accept the connection in time.";
        case TransferFailure::Tls:
            return "The secure connection to the server failed.";
        case TransferFailure::NotHttp:
            return "The server's answer is not HTTP.";
        case TransferFailure::NoAnswer:
            return "The server did not answer.";
        case TransferFailure::TimedOut:
            return StallSentence(received);
        case TransferFailure::TooManyRedirects:
            return "The server redirected too many times.";
        case TransferFailure::RefusedScheme:
        case TransferFailure::BadAddress:
            return "The video address is not an http or https address.";
        case TransferFailure::TooLarge:
            return "The file is larger than allowed.";
        case TransferFailure::CutShort:
            return "The connection was lost after " + FormatAmount(received) + ".";
        case TransferFailure::None:
        case TransferFailure::Other:
            break;
    }
    return "The download failed: " + TransferFailureText(m_nResult, m_szError, status) + ".";
}

}  // namespace tamsel
