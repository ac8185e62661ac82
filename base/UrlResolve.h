#pragma once
// The program's one address resolver: a link as a page or a user writes it, made
// absolute against a base the way a browser's address parser does it, for the
// http and https addresses the program can fetch.

#include <cstddef>
#include <string>

namespace tamsel {

// The longest address, in bytes, that ResolveUrl reads or gives. Servers refuse
// request lines far shorter than this (8 KiB is the usual limit), so a longer
// address could never be fetched; refusing it up front bounds what one hostile
// link costs.
inline constexpr std::size_t kMaxUrlLength = 64 * 1024;

enum class UrlFailure {
    None,
    Unresolvable,  // not an http/https address, or no base to resolve against
    TooLong,       // an input or the result is over kMaxUrlLength
};

// `ref` made absolute against `base`, or "" when that gives no http or https
// address with a host. Works in time linear in the lengths. Like a browser:
// C0 controls and spaces at the ends and tabs and line breaks inside are dropped;
// a backslash before the query is a slash; the scheme and host are lower-cased,
// the scheme's default port and "." and ".." segments removed; bytes an address
// may not hold raw are percent-encoded (upper-case hex) while "%" stays as it is,
// so "%zz" survives. A host in UTF-8 stays so (no punycode; curl converts it when
// it connects). The fragment is kept, as a link's href keeps it. A reference
// with another scheme (javascript:, mailto:, ftp:) is not resolved. `base` may be
// empty when `ref` is absolute. `failure`, when given, says why "" came back.
std::string ResolveUrl(const std::string& base, const std::string& ref,
                       UrlFailure* failure = nullptr);

}  // namespace tamsel
