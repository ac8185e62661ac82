#include "base/CancellableTransfer.h"

#include <memory>

namespace tamsel {

namespace {
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
constexpr int kWakeMs = 50;
}  // namespace

std::optional<CURLcode> PerformCancellable(CURL* easy, const std::atomic<bool>& cancel) {
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
        return std::nullopt;
    }
    int running = 1;
    while (running > 0 && !cancel.load()) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            break;
        }
        if (running > 0) {
            curl_multi_poll(multi.get(), nullptr, 0, kWakeMs, nullptr);
        }
    }
    std::optional<CURLcode> result;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi.get(), easy);
    if (cancel.load()) {
        return std::nullopt;
    }
    return result;
}

}  // namespace tamsel
