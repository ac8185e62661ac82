#pragma once

#include <chrono>

namespace tamsel {

// The least a server must do to keep a download alive: finish its answer's head in
// time, then keep the body moving. A server dripping bytes cannot hold a task for ever.
struct FetchFloor {
    std::chrono::milliseconds headDeadline{std::chrono::seconds(30)};
    long minBytesPerSecond = 1024;
};

}  // namespace tamsel
