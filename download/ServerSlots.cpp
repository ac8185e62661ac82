#include "download/ServerSlots.h"

#include <algorithm>

namespace tamsel {

CServerSlots& CServerSlots::Instance() {
    static CServerSlots slots;
    return slots;
}

bool CServerSlots::TryAcquire(const std::string& server, int cap) {
    std::lock_guard<std::mutex> guard(m_lock);
    int& held = m_held[server];
    if (held >= cap) {
        if (held == 0) {
            m_held.erase(server);
        }
        return false;
    }
    ++held;
    int& peak = m_peak[server];
    peak = std::max(peak, held);
    return true;
}

void CServerSlots::Release(const std::string& server) {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_held.find(server);
    if (it != m_held.end() && --it->second <= 0) {
        m_held.erase(it);
    }
}

int CServerSlots::InUse(const std::string& server) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_held.find(server);
    return it != m_held.end() ? it->second : 0;
}

}  // namespace tamsel

namespace tamsel {

int CServerSlots::Peak(const std::string& server) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_peak.find(server);
    return it != m_peak.end() ? it->second : 0;
}

}  // namespace tamsel
