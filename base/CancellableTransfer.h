#pragma once
// Runs one libcurl transfer so that a cancel flag is seen within 50 ms, also while a
// name lookup or a silent server keeps the transfer quiet.

#include <curl/curl.h>

#include <atomic>
#include <optional>

namespace tamsel {

// Drives `easy` to its end on a multi handle of its own. Returns the transfer's
// result, or nothing when it was cancelled or could not be run at all.
std::optional<CURLcode> PerformCancellable(CURL* easy, const std::atomic<bool>& cancel);

}  // namespace tamsel
