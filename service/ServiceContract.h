#pragma once
// Where the extraction service lives. The resolver, the hidden browser and the
// program's start-up take the service's address from here and nowhere else.

#include <string>

namespace tamsel {

inline constexpr const char* kServiceHost = "127.0.0.1";
inline constexpr int kServicePort = 17603;

// The hidden field of the service's form that carries its per-run key.
inline constexpr const char* kServiceFormKeyField = "key";

// "http://127.0.0.1:17603/" unless a test moved the service.
std::string ServiceBaseAddress();
// "127.0.0.1:17603/?url=" unless a test moved the service.
std::string ServiceResultMarker();
// The port the program's own service listens on.
int ServicePort();

// Points the contract at a service on another loopback port (tests only; the
// program has no option for it). Call before any resolver runs.
void UseServiceOnPort(int port);

// A result page's link whose title begins with this offers a stream (HLS or DASH
// playlist), not a file: saving it would save a playlist text, not the video.
inline constexpr const char* kStreamLinkTitle = "stream";

// The page about Tamsel that the Convert command opens (served by the service).
inline constexpr const char* kHomePageAddress = "http://localhost:17603/about";

}  // namespace tamsel
