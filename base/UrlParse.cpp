#include "base/UrlParse.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "base/CurlGlobal.h"

namespace tamsel {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

// Reads one part; a part the address does not have reads as empty.
bool GetPart(CURLU* handle, CURLUPart part, unsigned flags, std::string& out) {
    char* text = nullptr;
    CURLUcode rc = curl_url_get(handle, part, &text, flags);
    if (rc != CURLUE_OK) {
        out.clear();
        return rc == CURLUE_NO_QUERY || rc == CURLUE_NO_PORT || rc == CURLUE_NO_FRAGMENT;
    }
    out = text;
    curl_free(text);
    return true;
}

}  // namespace

bool ParseUrl(const std::string& url, ParsedUrl& out) {
    // curl reads a C string: a NUL inside would silently cut the address short.
    if (url.empty() || url.find('\0') != std::string::npos) {
        return false;
    }
    EnsureCurlGlobalInit();
    UrlHandle handle(curl_url());
    if (!handle) {
        return false;
    }
    // Keep "/./" and "/../" as written: the server decides what they mean.
    if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
        return false;
    }

    ParsedUrl parsed;
    std::string port, path, query;
    if (!GetPart(handle.get(), CURLUPART_SCHEME, 0, parsed.scheme) ||
        !GetPart(handle.get(), CURLUPART_HOST, 0, parsed.host) ||
        !GetPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT, port) ||
        !GetPart(handle.get(), CURLUPART_PATH, 0, path) ||
        !GetPart(handle.get(), CURLUPART_QUERY, 0, query)) {
        return false;
    }
    if ((parsed.scheme != "http" && parsed.scheme != "https") || parsed.host.empty()) {
        return false;
    }
    unsigned long portNumber = 0;
    for (char c : port) {
        if (c < '0' || c > '9') {
            return false;
        }
        portNumber = portNumber * 10 + static_cast<unsigned long>(c - '0');
        if (portNumber > 65535) {
            return false;
        }
    }
    if (portNumber == 0) {
        return false;
    }
    parsed.port = static_cast<unsigned short>(portNumber);
    parsed.object = path.empty() ? "/" : path;
    if (!query.empty()) {
        parsed.object += "?" + query;
    }
    out = std::move(parsed);
    return true;
}

bool IsValidTaskUrl(const std::string& url) {
    ParsedUrl parsed;
    if (ParseUrl(url, parsed)) {
        return true;
    }
    std::string lower = url;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("http://") != std::string::npos) {
        return false;
    }
    return ParseUrl("http://" + lower, parsed);
}

}  // namespace tamsel
