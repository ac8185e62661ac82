#pragma once
// Overwrites a secret before its memory goes back to the allocator, in a way the
// compiler may not drop as a dead store.

#include <string.h>

#include <string>

namespace tamsel {

inline void WipeText(std::string& secret) {
    explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

}  // namespace tamsel
