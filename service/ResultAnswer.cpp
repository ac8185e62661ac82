#include "service/ResultAnswer.h"

#include <vector>

#include "base/AsciiText.h"
#include "service/MediaChoice.h"
#include "service/MediaFinder.h"
#include "service/ServicePages.h"

namespace tamsel {

namespace {

ResultAnswer Explain(const std::string& address, int status, const std::string& why,
                     const std::string& formKey) {
    return {status, RenderResultPage(address, {}, why, formKey)};
}

}  // namespace

std::string WithDefaultScheme(const std::string& address) {
    const std::size_t colon = address.find(':');
    const std::size_t slash = address.find_first_of("/?#");
    if (address.empty() || address.find("://") != std::string::npos) {
        return address;
    }
    // "javascript:", "mailto:" and the like name a scheme; "host:8080/x" names a port.
    if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) {
        const std::size_t digits = address.find_first_not_of("0123456789", colon + 1);
        const bool port = digits > colon + 1 && (digits == std::string::npos || digits == slash);
        if (!port) {
            return address;
        }
    }
    return "http://" + address;
}

ResultAnswer AnswerForAddress(const std::string& typed, const PageFetchLimits& limits,
                              const std::atomic<bool>& cancel, const std::string& formKey) {
    if (typed.empty()) {
        return Explain(typed, 200, "Type the address of a video page into the box.", formKey);
    }
    const std::string address = WithDefaultScheme(typed);
    const FetchedPage page = FetchPage(address, limits, cancel);
    using Outcome = FetchedPage::Outcome;
    switch (page.outcome) {
        case Outcome::kBadAddress:
            return Explain(address, 200,
                           "Only web addresses that begin with http:// or https:// can be read.",
                           formKey);
        case Outcome::kMalformed:
            return Explain(address, 200, "This is not a well-formed web address.", formKey);
        // The service itself answered: the page, not the service, failed, and
        // asking again at once would not help. Said on a normal result page.
        case Outcome::kUnreachable:
            return Explain(address, 200, "The page could not be reached: " + page.error + ".",
                           formKey);
        case Outcome::kTimeout:
            return Explain(address, 200, "The page did not answer in time.", formKey);
        case Outcome::kTooManyRedirects:
            return Explain(address, 200, "The page sends its visitors on too many redirects.",
                           formKey);
        case Outcome::kCancelled:
            return Explain(address, 503, "The service is stopping.", formKey);
        case Outcome::kOk:
            break;
    }
    if (page.status >= 400) {
        return Explain(address, 200,
                       "The page answered with error " + std::to_string(page.status) +
                           ", so there is no video to find.",
                       formKey);
    }
    std::vector<MediaCandidate> candidates;
    if (IsMediaContentType(page.contentType)) {
        MediaCandidate self;
        self.address = page.finalUrl;
        self.origin = MediaOrigin::kVideoElement;
        self.kind = KindOf(page.finalUrl, page.contentType);
        if (!IsVideoKind(self.kind)) {
            self.kind = MediaKind::kProgressive;
        }
        candidates.push_back(self);
    } else {
        candidates = CollectMediaCandidates(page.body, page.finalUrl);
    }
    return {200, RenderResultPage(address, ChooseMedia(candidates),
                                  "No video was found on this page.", formKey)};
}

}  // namespace tamsel
