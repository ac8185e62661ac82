#pragma once
// Status codes the hidden browser reports with NavigateError when a page cannot be
// had at all (no HTTP answer). They keep the values of the URL-moniker errors so
// that the resolver can list them by range; HTTP failures report the HTTP status.

#include <cstdint>

namespace tamsel {

inline constexpr std::uint32_t INET_E_INVALID_URL = 0x800C0002u;
inline constexpr std::uint32_t INET_E_NO_SESSION = 0x800C0003u;
inline constexpr std::uint32_t INET_E_CANNOT_CONNECT = 0x800C0004u;
inline constexpr std::uint32_t INET_E_RESOURCE_NOT_FOUND = 0x800C0005u;
inline constexpr std::uint32_t INET_E_OBJECT_NOT_FOUND = 0x800C0006u;
inline constexpr std::uint32_t INET_E_DATA_NOT_AVAILABLE = 0x800C0007u;
inline constexpr std::uint32_t INET_E_DOWNLOAD_FAILURE = 0x800C0008u;
inline constexpr std::uint32_t INET_E_AUTHENTICATION_REQUIRED = 0x800C0009u;
inline constexpr std::uint32_t INET_E_NO_VALID_MEDIA = 0x800C000Au;
inline constexpr std::uint32_t INET_E_CONNECTION_TIMEOUT = 0x800C000Bu;
inline constexpr std::uint32_t INET_E_INVALID_REQUEST = 0x800C000Cu;
inline constexpr std::uint32_t INET_E_UNKNOWN_PROTOCOL = 0x800C000Du;
inline constexpr std::uint32_t INET_E_SECURITY_PROBLEM = 0x800C000Eu;
inline constexpr std::uint32_t INET_E_CANNOT_LOAD_DATA = 0x800C000Fu;
inline constexpr std::uint32_t INET_E_CANNOT_INSTANTIATE_OBJECT = 0x800C0010u;
inline constexpr std::uint32_t INET_E_REDIRECT_FAILED = 0x800C0014u;
inline constexpr std::uint32_t INET_E_REDIRECT_TO_DIR = 0x800C0015u;
inline constexpr std::uint32_t INET_E_CANNOT_LOCK_REQUEST = 0x800C0016u;

// The status argument of NavigateError carries the 32-bit pattern in an int.
constexpr int NavStatus(std::uint32_t code) {
    return static_cast<int>(code);
}

}  // namespace tamsel
