#pragma once
// The program's one address parser: absolute http and https addresses only.

#include <string>

namespace tamsel {

struct ParsedUrl {
    std::string scheme;       // "http" or "https", lower case
    std::string host;         // as written; IPv6 addresses keep their brackets
    std::string object;       // path and "?query" as written; "/" when the address has no path
    unsigned short port = 0;  // 80 or 443 unless the address names one
};

// Fills `out` and returns true for an absolute http or https address with a host.
// Any other input, including junk bytes and embedded NULs, returns false and leaves
// `out` untouched.
bool ParseUrl(const std::string& url, ParsedUrl& out);

// The New Task dialog's address check: an address ParseUrl accepts, or one that
// becomes such with "http://" put in front (lower-cased) as long as it does not
// already name "http://" somewhere.
bool IsValidTaskUrl(const std::string& url);

}  // namespace tamsel
