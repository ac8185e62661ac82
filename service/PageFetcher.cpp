#include "service/PageFetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "base/CancellableTransfer.h"
#include "base/CurlGlobal.h"

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
        return page;
    }
    EnsureCurlGlobalInit();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        page.error = "out of resources";
        return page;
    }
    CURL* h = easy.get();
    BodyCollector collector;
    collector.easy = h;
    collector.maxBytes = limits.maxBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.timeoutMs);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/5.0 (X11; Linux x86_64) Tamsel/2.0");
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    const std::string mark = std::string(kFetcherMarkHeader) + ": 1";
    std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, mark.c_str()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
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
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &page.status);

    const bool cutByUs = result == CURLE_WRITE_ERROR &&
                         (collector.media || collector.body.size() >= limits.maxBytes);
    if (cancel.load()) {
        page.outcome = FetchedPage::Outcome::kCancelled;
    } else if (result == CURLE_OK || cutByUs) {
        page.outcome = FetchedPage::Outcome::kOk;
        if (!collector.media) {
            page.body = std::move(collector.body);
        }
    } else if (result == CURLE_OPERATION_TIMEDOUT) {
        page.outcome = FetchedPage::Outcome::kTimeout;
    } else if (result == CURLE_TOO_MANY_REDIRECTS) {
        page.outcome = FetchedPage::Outcome::kTooManyRedirects;
    } else if (result == CURLE_UNSUPPORTED_PROTOCOL) {
        page.outcome = FetchedPage::Outcome::kBadAddress;
    } else if (result == CURLE_URL_MALFORMAT) {
        page.outcome = FetchedPage::Outcome::kMalformed;
    } else {
        page.outcome = FetchedPage::Outcome::kUnreachable;
    }
    if (page.outcome != FetchedPage::Outcome::kOk) {
        page.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
    }
    return page;
}

}  // namespace tamsel
