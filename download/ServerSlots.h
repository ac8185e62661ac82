#pragma once
// How many connections the downloads of this process hold to each server, so that all
// running tasks together stay under one cap per server. Thread-safe.

#include <map>
#include <mutex>
#include <string>

namespace tamsel {

class CServerSlots {
public:
    // The one registry of the process.
    static CServerSlots& Instance();

    // Takes a connection to `server` ("scheme://host:port") when fewer than `cap` are held.
    bool TryAcquire(const std::string& server, int cap);
    void Release(const std::string& server);
    int InUse(const std::string& server) const;
    // The most connections held to `server` at once so far, for logs and checks.
    int Peak(const std::string& server) const;

private:
    mutable std::mutex m_lock;
    std::map<std::string, int> m_held;
    std::map<std::string, int> m_peak;
};

}  // namespace tamsel
