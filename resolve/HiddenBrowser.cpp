// The hidden browser's transfers: one worker thread for the browser's life takes the
// newest navigation and loads it with libcurl through a multi handle, so that a newer
// navigation or the destructor can wake it and cancel at once.

#include "resolve/HiddenBrowser.h"

#include <curl/curl.h>
#include <libxml/parser.h>

#include <cctype>

#include "base/AsciiText.h"
#include "base/CancellableTransfer.h"
#include "base/CurlGlobal.h"
#include "base/CurlTransfer.h"
#include "base/UrlResolve.h"
#include "resolve/NavigationCodes.h"
#include "resolve/ResolveLog.h"

namespace tamsel {

namespace {

constexpr long kMaxRedirects = 10;

// Only http and https addresses with a host are worth a transfer.
bool IsLoadable(const std::string& url) {
    CURLU* handle = curl_url();
    if (handle == nullptr) {
        return false;
    }
    bool ok = false;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            const std::string s = AsciiLower(scheme);
            ok = (s == "http" || s == "https") && host[0] != '\0';
        }
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(handle);
    return ok;
}

// The status NavigateError reports for a failed transfer.
int StatusForFailure(TransferFailure failure, long httpStatus) {
    switch (failure) {
        case TransferFailure::HttpError:
            return static_cast<int>(httpStatus);
        case TransferFailure::BadAddress:
            return NavStatus(INET_E_INVALID_URL);
        case TransferFailure::RefusedScheme:
            return NavStatus(INET_E_UNKNOWN_PROTOCOL);
        case TransferFailure::ResolveFailed:
            return NavStatus(INET_E_RESOURCE_NOT_FOUND);
        case TransferFailure::ConnectFailed:
            return NavStatus(INET_E_CANNOT_CONNECT);
        case TransferFailure::ConnectTimedOut:
        case TransferFailure::TimedOut:
            return NavStatus(INET_E_CONNECTION_TIMEOUT);
        case TransferFailure::TooManyRedirects:
            return NavStatus(INET_E_REDIRECT_FAILED);
        case TransferFailure::Tls:
            return NavStatus(INET_E_SECURITY_PROBLEM);
        case TransferFailure::None:
        case TransferFailure::NotHttp:
        case TransferFailure::NoAnswer:
        case TransferFailure::TooLarge:
        case TransferFailure::CutShort:
        case TransferFailure::Other:
            break;
    }
    return NavStatus(INET_E_DOWNLOAD_FAILURE);
}

void LogFailedNavigation(const std::string& url, const std::string& reason) {
    qCWarning(lcResolve) << "navigation to" << QString::fromStdString(url)
                         << "failed:" << QString::fromStdString(reason);
}

std::string CharsetOf(const char* contentType) {
    if (contentType == nullptr) {
        return std::string();
    }
    const std::string type = AsciiLower(contentType);
    const size_t at = type.find("charset=");
    if (at == std::string::npos) {
        return std::string();
    }
    std::string charset = type.substr(at + 8);
    const size_t end = charset.find_first_of("; \t");
    if (end != std::string::npos) {
        charset.erase(end);
    }
    if (charset.size() >= 2 && (charset.front() == '"' || charset.front() == '\'')) {
        charset = charset.substr(1, charset.size() - 2);
    }
    return charset;
}

struct Sink {
    std::string body;
    std::uint64_t limit = 0;
    bool overflow = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (sink->body.size() + bytes > sink->limit) {
        sink->overflow = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    sink->body.append(data, bytes);
    return bytes;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        EnsureCurlGlobalInit();
        xmlInitParser();
    });
}

}  // namespace

struct CHiddenBrowser::Outcome {
    bool cancelled = false;
    std::string url;
    int error = 0;
    std::shared_ptr<CHtmlDocument> document;
};

CHiddenBrowser::CHiddenBrowser(QObject* parent) : QObject(parent) {
    GlobalInit();
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (m_easy != nullptr) {
        // An empty cookie file switches the in-memory cookie engine on for the handle.
        curl_easy_setopt(m_easy, CURLOPT_COOKIEFILE, "");
    }
    if (m_multi != nullptr && m_easy != nullptr) {
        m_worker = std::thread([this] { WorkerLoop(); });
    }
}

CHiddenBrowser::~CHiddenBrowser() {
    m_bQuit.store(true);
    m_nSerial.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pending.reset();
    }
    m_wake.notify_all();
    if (m_multi != nullptr) {
        curl_multi_wakeup(m_multi);
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_easy != nullptr) {
        curl_easy_cleanup(m_easy);
    }
    if (m_multi != nullptr) {
        curl_multi_cleanup(m_multi);
    }
}

void CHiddenBrowser::SetTimeouts(long connectMs, long totalMs) {
    m_nConnectTimeoutMs.store(connectMs);
    m_nTotalTimeoutMs.store(totalMs);
}

bool CHiddenBrowser::Navigate2(const std::string& url) {
    if (url.empty()) {
        return false;
    }
    Request request;
    request.url = url;
    return Start(std::move(request));
}

bool CHiddenBrowser::SubmitForm(int formIndex) {
    if (!m_document) {
        return false;
    }
    const CHtmlForm* form = m_document->FormAt(formIndex);
    if (form == nullptr) {
        return false;
    }
    const FormSubmission submission = BuildFormSubmission(*form);
    Request request;
    request.url = submission.m_strUrl;
    request.post = submission.m_bPost;
    request.body = submission.m_strBody;
    request.contentType = submission.m_strContentType;
    request.referer = m_document->m_strUrl;
    return Start(std::move(request));
}

bool CHiddenBrowser::Start(Request request) {
    if (m_bQuit.load() || !m_worker.joinable()) {
        return false;
    }
    // A newer navigation makes every older one stale, loading or queued.
    request.serial = m_nSerial.fetch_add(1) + 1;
    m_bBusy = true;
    curl_multi_wakeup(m_multi);

    if (AsciiLower(request.url) == "about:blank") {
        Deliver(request.serial, std::make_shared<CHtmlDocument>(ParseHtmlDocument("", request.url)),
                request.url, 0);
        return true;
    }
    // Encode what a browser would encode (spaces, non-ASCII) before judging the address.
    const std::string normalised = ResolveUrl(std::string(), request.url);
    if (!IsLoadable(normalised)) {
        LogFailedNavigation(request.url, "not a loadable http or https address");
        Deliver(request.serial, nullptr, request.url, NavStatus(INET_E_INVALID_URL));
        return true;
    }
    request.url = normalised;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pending = std::move(request);
    }
    m_wake.notify_one();
    return true;
}

bool CHiddenBrowser::IsCancelled(std::uint64_t serial) const {
    return m_bQuit.load() || m_nSerial.load() != serial;
}

void CHiddenBrowser::WorkerLoop() {
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_bQuit.load() || m_pending.has_value(); });
            if (m_bQuit.load()) {
                return;
            }
            request = std::move(*m_pending);
            m_pending.reset();
        }
        if (IsCancelled(request.serial)) {
            continue;
        }
        Outcome outcome = Load(request);
        if (outcome.cancelled || IsCancelled(request.serial)) {
            continue;
        }
        Deliver(request.serial, outcome.document, outcome.url, outcome.error);
    }
}

CHiddenBrowser::Outcome CHiddenBrowser::Load(const Request& request) {
    Outcome outcome;
    outcome.url = request.url;
    CURL* easy = m_easy;
    Sink sink;
    sink.limit = m_nPageLimit.load();

    char errorText[CURL_ERROR_SIZE] = {};
    CurlTransferOptions options;
    options.maxRedirects = kMaxRedirects;
    options.connectTimeoutMs = m_nConnectTimeoutMs.load();
    options.totalTimeoutMs = m_nTotalTimeoutMs.load();
    options.maxBodyBytes = static_cast<curl_off_t>(sink.limit);
    options.acceptEncoding = true;
    options.errorBuffer = errorText;
    if (!ApplyTransferOptions(easy, options)) {
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
        outcome.error = NavStatus(INET_E_DOWNLOAD_FAILURE);
        LogFailedNavigation(request.url, "curl refused the transfer settings");
        return outcome;
    }
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(easy, CURLOPT_REFERER,
                     request.referer.empty() ? nullptr : request.referer.c_str());
    curl_slist* headers = nullptr;
    if (request.post) {
        headers = curl_slist_append(headers, ("Content-Type: " + request.contentType).c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);

    // A newer navigation or the destructor wakes the multi handle to cancel at once.
    const std::optional<CURLcode> result =
        PerformOnMulti(m_multi, easy, [this, &request] { return IsCancelled(request.serial); });
    outcome.cancelled = !result.has_value();
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);  // the handle outlives this buffer
    curl_slist_free_all(headers);
    if (outcome.cancelled) {
        return outcome;
    }

    char* effective = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective != nullptr && effective[0] != '\0') {
        outcome.url = effective;
    }
    const long status = ResponseStatus(easy);
    const TransferFailure failure = ClassifyTransfer(easy, *result);
    if (sink.overflow || failure != TransferFailure::None) {
        outcome.error =
            sink.overflow ? NavStatus(INET_E_DOWNLOAD_FAILURE) : StatusForFailure(failure, status);
        LogFailedNavigation(outcome.url, sink.overflow
                                             ? "page larger than the limit"
                                             : TransferFailureText(*result, errorText, status));
        return outcome;
    }
    char* contentType = nullptr;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &contentType);
    // A long parse gives way to a newer navigation or the destructor.
    outcome.document = std::make_shared<CHtmlDocument>(
        ParseHtmlDocument(sink.body, outcome.url, CharsetOf(contentType),
                          [this, &request] { return IsCancelled(request.serial); }));
    return outcome;
}

void CHiddenBrowser::Deliver(std::uint64_t serial, std::shared_ptr<CHtmlDocument> document,
                             const std::string& url, int errorCode) {
    m_deliveries.Post({serial, std::move(document), url, errorCode});
}

void CHiddenBrowser::Announce(Delivery delivery) {
    // A navigation started since (also by a listener of an earlier delivery) makes
    // this one stale. A listener may delete the browser: the queue then stops.
    if (m_nSerial.load() != delivery.serial) {
        return;
    }
    m_bBusy = false;
    if (delivery.errorCode != 0) {
        Q_EMIT NavigateError(delivery.url, delivery.errorCode);
        return;
    }
    m_document = std::move(delivery.document);
    Q_EMIT DocumentComplete(delivery.url);
}

}  // namespace tamsel
