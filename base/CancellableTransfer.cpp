#include "base/CancellableTransfer.h"

#include <memory>

namespace tamsel {

namespace {
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
constexpr int kWakeMs = 50;
}  // namespace

std::optional<CURLcode> PerformOnMulti(CURLM* multi, CURL* easy,
                                       const std::function<bool()>& cancelled) {
    if (multi == nullptr || curl_multi_add_handle(multi, easy) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    std::optional<CURLcode> result;
    bool stopped = false;
    int running = 1;
    while (!result) {
        if (cancelled()) {
            stopped = true;
            break;
        }
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
            }
        }
        if (!result && running == 0) {
            result = CURLE_RECV_ERROR;  // ended without a word: a broken transfer
        }
        if (!result) {
            curl_multi_poll(multi, nullptr, 0, kWakeMs, nullptr);
        }
    }
    curl_multi_remove_handle(multi, easy);
    if (stopped || cancelled()) {
        return std::nullopt;
    }
    return result;
}

std::optional<CURLcode> PerformUntil(CURL* easy, const std::function<bool()>& cancelled) {
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    return PerformOnMulti(multi.get(), easy, cancelled);
}

std::optional<CURLcode> PerformCancellable(CURL* easy, const std::atomic<bool>& cancel) {
    return PerformUntil(easy, [&cancel] { return cancel.load(); });
}

}  // namespace tamsel
