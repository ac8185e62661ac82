#include "service/PageFetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "base/CancellableTransfer.h"
#include "base/CurlGlobal.h"
#include "base/CurlTransfer.h"
#include "service/ServiceLog.h"

namespace tamsel {

namespace {

struct BodyCollector {
    CURL* easy = nullptr;
    std::size_t maxBytes = 0;
    std::string body;
    bool media = false;
    bool checkedType = false;
};

std::string NormalizedContentType(const char* raw) {
    std::string type = raw != nullptr ? raw : "";
    type = type.substr(0, type.find(';'));
    type.erase(std::remove_if(type.begin(), type.end(),
                              [](unsigned char c) { return std::isspace(c) != 0; }),
               type.end());
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return type;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* collector = static_cast<BodyCollector*>(user);
    const std::size_t bytes = size * count;
    if (!collector->checkedType) {
        collector->checkedType = true;
        char* type = nullptr;
        curl_easy_getinfo(collector->easy, CURLINFO_CONTENT_TYPE, &type);
        collector->media = IsMediaContentType(NormalizedContentType(type));
    }
    if (collector->media) {
        return 0;  // the address is the media; its bytes are not needed
    }
    const std::size_t room = collector->maxBytes - collector->body.size();
    collector->body.append(data, std::min(room, bytes));
    return bytes <= room ? bytes : 0;
}

FetchedPage::Outcome OutcomeFor(TransferFailure failure) {
    using Outcome = FetchedPage::Outcome;
    switch (failure) {
        case TransferFailure::None:
        case TransferFailure::HttpError:
            return Outcome::kOk;  // the answer's status tells the rest
        case TransferFailure::BadAddress:
            return Outcome::kMalformed;
        case TransferFailure::RefusedScheme:
            return Outcome::kBadAddress;
        case TransferFailure::ConnectTimedOut:
        case TransferFailure::TimedOut:
            return Outcome::kTimeout;
        case TransferFailure::TooManyRedirects:
            return Outcome::kTooManyRedirects;
        case TransferFailure::ResolveFailed:
        case TransferFailure::ConnectFailed:
        case TransferFailure::Tls:
        case TransferFailure::NotHttp:
        case TransferFailure::NoAnswer:
        case TransferFailure::TooLarge:
        case TransferFailure::CutShort:
        case TransferFailure::Other:
            break;
    }
    return Outcome::kUnreachable;
}

void LogUnreadPage(const std::string& url, const std::string& reason) {
    qCWarning(lcService) << "could not read page" << QString::fromStdString(url) << ":"
                         << QString::fromStdString(reason);
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

bool IsMediaContentType(const std::string& contentType) {
    return contentType.rfind("video/", 0) == 0 || contentType == "application/x-flv" ||
           contentType == "flv-application/octet-stream" || contentType == "application/flv";
}

FetchedPage FetchPage(const std::string& url, const PageFetchLimits& limits,
                      const std::atomic<bool>& cancel) {
    FetchedPage page;
    std::string scheme = url.substr(0, url.find(':'));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (url.find(':') == std::string::npos || (scheme != "http" && scheme != "https")) {
        page.outcome = FetchedPage::Outcome::kBadAddress;
        LogUnreadPage(url, "not an http or https address");
        return page;
    }
    EnsureCurlGlobalInit();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        page.error = "out of resources";
        LogUnreadPage(url, page.error);
        return page;
    }
    CURL* h = easy.get();
    BodyCollector collector;
    collector.easy = h;
    collector.maxBytes = limits.maxBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    CurlTransferOptions options;
    options.userAgent = "Mozilla/5.0 (X11; Linux x86_64) Tamsel/2.0";
    options.maxRedirects = limits.maxRedirects;
    options.totalTimeoutMs = limits.timeoutMs;
    options.acceptEncoding = true;
    options.errorBuffer = errorText;
    // Oversized pages are cut by the body collector and read as they are, so no size cap.
    if (!ApplyTransferOptions(h, options)) {
        page.error = "curl refused the transfer settings";
        LogUnreadPage(url, page.error);
        return page;
    }
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    const std::string mark = std::string(kFetcherMarkHeader) + ": 1";
    std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, mark.c_str()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &collector);
    // Wakes at least every 50 ms so a stopping service is not held up by a slow site.
    const CURLcode result = PerformCancellable(h, cancel).value_or(CURLE_FAILED_INIT);

    char* finalUrl = nullptr;
    curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &finalUrl);
    page.finalUrl = finalUrl != nullptr ? finalUrl : url;
    char* type = nullptr;
    curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type);
    page.contentType = NormalizedContentType(type);
    page.status = ResponseStatus(h);

    const bool cutByUs = result == CURLE_WRITE_ERROR &&
                         (collector.media || collector.body.size() >= limits.maxBytes);
    if (cancel.load()) {
        page.outcome = FetchedPage::Outcome::kCancelled;
        return page;  // the service is stopping; nothing went wrong with the page
    }
    page.outcome = cutByUs ? FetchedPage::Outcome::kOk : OutcomeFor(ClassifyTransfer(h, result));
    if (page.outcome == FetchedPage::Outcome::kOk) {
        if (!collector.media) {
            page.body = std::move(collector.body);
        }
        if (page.status >= 400) {
            LogUnreadPage(url, "HTTP status " + std::to_string(page.status));
        }
        return page;
    }
    page.error = TransferFailureText(result, errorText, page.status);
    LogUnreadPage(url, page.error);
    return page;
}

}  // namespace tamsel
