#include <chrono>

#include "download/MediaFetcher.h"

namespace tamsel {

namespace {
// How often a waiting worker looks at its stop flag.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(200);
}  // namespace

CredentialsRequest::CredentialsRequest(int reportId, std::string url, bool proxy)
    : m_nReportId(reportId), m_strUrl(std::move(url)), m_bProxy(proxy) {}

void CredentialsRequest::Answer(bool ok, const std::string& user, const std::string& password) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bAnswered) {
            return;
        }
        m_bAnswered = true;
        m_bOk = ok;
        if (ok) {
            m_strUser = user;
            m_strPassword = password;
        }
    }
    m_answered.notify_all();
}

bool CredentialsRequest::Wait(const std::atomic<int>& stop, std::string& user,
                              std::string& password) {
    std::unique_lock<std::mutex> guard(m_lock);
    while (!m_bAnswered) {
        if (stop.load() != 0) {
            return false;
        }
        m_answered.wait_for(guard, kStopCheckInterval);
    }
    if (!m_bOk) {
        return false;
    }
    user = m_strUser;
    password = m_strPassword;
    return true;
}

}  // namespace tamsel
