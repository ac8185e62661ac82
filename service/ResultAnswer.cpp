#include "service/ResultAnswer.h"

#include <vector>

#include "service/MediaFinder.h"
#include "service/ServicePages.h"

namespace tamsel {

namespace {

ResultAnswer Explain(const std::string& address, int status, const std::string& why,
                     const std::string& formKey) {
    return {status, RenderResultPage(address, {}, why, formKey)};
}

}  // namespace

ResultAnswer AnswerForAddress(const std::string& address, const PageFetchLimits& limits,
                              const std::atomic<bool>& cancel, const std::string& formKey) {
    if (address.empty()) {
        return Explain(address, 200, "Type the address of a video page into the box.", formKey);
    }
    const FetchedPage page = FetchPage(address, limits, cancel);
    using Outcome = FetchedPage::Outcome;
    switch (page.outcome) {
        case Outcome::kBadAddress:
            return Explain(address, 200,
                           "Only web addresses that begin with http:// or https:// can be read.",
                           formKey);
        case Outcome::kMalformed:
            return Explain(address, 200, "This is not a well-formed web address.", formKey);
        case Outcome::kUnreachable:
            return Explain(address, 502, "The page could not be reached: " + page.error + ".",
                           formKey);
        case Outcome::kTimeout:
            return Explain(address, 504, "The page did not answer in time.", formKey);
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
    std::vector<std::string> media;
    if (IsMediaContentType(page.contentType)) {
        media.push_back(page.finalUrl);
    } else {
        media = FindMediaAddresses(page.body, page.finalUrl);
    }
    return {200, RenderResultPage(address, media, "No video was found on this page.", formKey)};
}

}  // namespace tamsel
