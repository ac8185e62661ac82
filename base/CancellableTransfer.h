#pragma once
// Runs one libcurl transfer so that a cancel request is seen within 50 ms, also while a
// name lookup or a silent server keeps the transfer quiet.

#include <curl/curl.h>

#include <atomic>
#include <functional>
#include <optional>

namespace tamsel {

// Drives `easy` to its end on `multi`, asking `cancelled` at every wake-up; another
// thread may end a wait early with curl_multi_wakeup(multi). Returns the transfer's
// result (CURLE_FAILED_INIT when it could not be run), or nothing when it was cancelled.
std::optional<CURLcode> PerformOnMulti(CURLM* multi, CURL* easy,
                                       const std::function<bool()>& cancelled);

// The same on a multi handle of its own.
std::optional<CURLcode> PerformUntil(CURL* easy, const std::function<bool()>& cancelled);
std::optional<CURLcode> PerformCancellable(CURL* easy, const std::atomic<bool>& cancel);

}  // namespace tamsel
