#pragma once
// The service's HTTP server: cpp-httplib's routing and answers, with our own reading
// of each connection so that no client can hold a worker or grow memory at will.

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace tamsel {

struct ConnectionLimits {
    // The whole request head must arrive within this time after the connection is
    // taken; a client sending one byte at a time gains nothing by it.
    std::chrono::milliseconds headDeadline{4000};
    // Bytes read from one connection at most (the service takes no bodies).
    std::size_t maxHeadBytes = 64 * 1024;
    // An answer's bytes must move at least once within this time.
    std::chrono::milliseconds writeStall{10000};
};

// One request per connection (answers say "Connection: close"), so keep-alive
// cannot pin a worker; reads end at the head deadline or the byte cap.
class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(ConnectionLimits limits) : m_limits(limits) {}

private:
    bool process_and_close_socket(socket_t sock) override;

    const ConnectionLimits m_limits;
};

}  // namespace tamsel
