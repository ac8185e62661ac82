#pragma once
// What the service answers to "/?url=ADDRESS": the status and the result page.

#include <atomic>
#include <string>

#include "service/PageFetcher.h"

namespace tamsel {

struct ResultAnswer {
    int status = 200;
    std::string html;
};

// Reads the page at `address` and offers its video. Every page the service could
// ask about gets 200: one with nothing to download (an error answer, an
// unreachable host, a timeout, no media) says why, so the program fails that
// task at once instead of retrying the service. An address without a scheme
// ("www.site.test/v") is read as http://. The page's form carries `formKey`.
ResultAnswer AnswerForAddress(const std::string& address, const PageFetchLimits& limits,
                              const std::atomic<bool>& cancel, const std::string& formKey = {});

// `address` with "http://" in front when it names no scheme; as it is otherwise.
std::string WithDefaultScheme(const std::string& address);

}  // namespace tamsel
