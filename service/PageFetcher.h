#pragma once
// Fetches a video page for the extraction service, within fixed bounds.

#include <atomic>
#include <cstddef>
#include <string>

namespace tamsel {

struct PageFetchLimits {
    long timeoutMs = 15000;
    std::size_t maxBytes = 8 * 1024 * 1024;  // longer pages are cut here and read as they are
    long maxRedirects = 5;
};

struct FetchedPage {
    enum class Outcome {
        kOk,           // the server answered; see status
        kBadAddress,   // not an http or https address
        kMalformed,    // http or https, but not a well-formed address
        kUnreachable,  // name lookup or connection failed, or the exchange broke
        kTimeout,
        kTooManyRedirects,
        kCancelled,
    };
    Outcome outcome = Outcome::kUnreachable;
    long status = 0;
    std::string finalUrl;     // after redirects
    std::string contentType;  // lower case, parameters dropped
    std::string body;         // empty when the answer is media
    std::string error;        // curl's words when not kOk
};

// Every request the fetcher makes carries this header, so the service can tell
// when it is asked, directly or through a redirect, to read its own result pages.
inline constexpr const char* kFetcherMarkHeader = "X-Tamsel-Extractor";

// True for content types that are media themselves (video/*, Flash video).
bool IsMediaContentType(const std::string& contentType);

// GETs `url` (http and https only, redirects within the limit). Stops reading a
// body once its content type shows media. Returns promptly once `cancel` is set.
FetchedPage FetchPage(const std::string& url, const PageFetchLimits& limits,
                      const std::atomic<bool>& cancel);

}  // namespace tamsel
