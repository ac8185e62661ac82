#include <chrono>

#include "base/UrlParse.h"
#include "base/WipeText.h"
#include "download/MediaFetcher.h"

namespace tamsel {

namespace {
// How often a waiting worker looks at its stop flag.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(200);
}  // namespace

CredentialsRequest::CredentialsRequest(int reportId, std::string url, bool proxy, std::string realm)
    : m_nReportId(reportId),
      m_strUrl(std::move(url)),
      m_bProxy(proxy),
      m_strRealm(std::move(realm)) {}

CredentialsRequest::~CredentialsRequest() {
    WipeText(m_strPassword);
}

std::string CredentialsRequest::Host() const {
    ParsedUrl parsed;
    return !m_bProxy && ParseUrl(m_strUrl, parsed) ? parsed.host : std::string();
}

bool CredentialsRequest::IsPlainHttp() const {
    ParsedUrl parsed;
    return !m_bProxy && ParseUrl(m_strUrl, parsed) && parsed.scheme == "http";
}

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
    WipeText(m_strPassword);
    return true;
}

}  // namespace tamsel
