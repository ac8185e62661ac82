#pragma once
// Who may ask the service to read a page: only its own form, submitted from its own
// pages. Any web page in the user's browser can send requests to the loopback
// address, so a request without the per-run form key, or one a browser marks as
// coming from another site, is refused before anything is fetched.

#include <string>

namespace tamsel {

// A fresh random key for one run of the service (32 hex digits).
std::string NewFormKey();

// True when `given` equals `expected` (compared in constant time; empty never matches).
bool FormKeyMatches(const std::string& given, const std::string& expected);

// Why a page request must be refused, or "" when it may go on. `secFetchSite` and
// `origin` are the request's headers (empty when absent); `port` is the service's.
std::string PageRequestRefusal(const std::string& formKey, const std::string& expectedKey,
                               const std::string& secFetchSite, const std::string& origin,
                               int port);

}  // namespace tamsel
