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

// Reads the page at `address` and lists its media. A page that answers with an
// error or holds no media gets 200 and a page saying why; an unreachable page
// gets 502 and a timeout 504, so the program's retry applies. The page's form
// carries `formKey`.
ResultAnswer AnswerForAddress(const std::string& address, const PageFetchLimits& limits,
                              const std::atomic<bool>& cancel, const std::string& formKey = {});

}  // namespace tamsel
