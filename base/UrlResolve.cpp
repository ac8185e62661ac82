// The merge of a reference with its base is done here on plain strings, each step
// one pass; libcurl's URL parser then checks the absolute result, removes dot
// segments and drops the default port. libcurl's own relative resolution is not
// used: it mishandles empty and fragment-only references.

#include "base/UrlResolve.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/AsciiText.h"
#include "base/CurlGlobal.h"

namespace tamsel {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

struct CurlText {
    char* m_pText = nullptr;
    ~CurlText() { curl_free(m_pText); }
};

bool IsC0OrSpace(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// C0 controls and spaces go at both ends; tabs and line breaks go everywhere.
std::string Clean(const std::string& in) {
    std::size_t begin = 0;
    std::size_t end = in.size();
    while (begin < end && IsC0OrSpace(in[begin])) {
        ++begin;
    }
    while (end > begin && IsC0OrSpace(in[end - 1])) {
        --end;
    }
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        if (in[i] != '\t' && in[i] != '\n' && in[i] != '\r') {
            out += in[i];
        }
    }
    return out;
}

// The length of a leading "scheme:" without its colon; 0 when there is none.
std::size_t SchemeLength(std::string_view s) {
    if (s.empty() || !((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'))) {
        return 0;
    }
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':') {
            return i;
        }
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!schemeChar) {
            return 0;
        }
    }
    return 0;
}

bool IsWebScheme(const std::string& lowerScheme) {
    return lowerScheme == "http" || lowerScheme == "https";
}

// In a web address a backslash is a slash, up to the query.
void BackslashesToSlashes(std::string& s) {
    const std::size_t stop = std::min(s.find_first_of("?#"), s.size());
    std::replace(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(stop), '\\', '/');
}

std::string_view WithoutLeadingSlashes(std::string_view s) {
    const std::size_t first = s.find_first_not_of('/');
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

// Appends `part` with what a browser percent-encodes in it: controls, space,
// non-ASCII and the part's own extra set. "%" itself is left alone.
void AppendEncoded(std::string& out, std::string_view part, const char* extra) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char ch : part) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || std::strchr(extra, ch) != nullptr) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
}

// Reads one "." or "%2e" at `at`, moving past it.
bool ReadDot(std::string_view s, std::size_t& at) {
    if (at < s.size() && s[at] == '.') {
        ++at;
        return true;
    }
    if (s.substr(at, 2) == "%2" && at + 2 < s.size() && (s[at + 2] == 'e' || s[at + 2] == 'E')) {
        at += 3;
        return true;
    }
    return false;
}

// "%2e" counts as a dot in a dot segment, so "%2e%2e/" climbs like "../" does.
std::string_view DotSegment(std::string_view segment) {
    std::size_t at = 0;
    int dots = 0;
    while (dots < 3 && ReadDot(segment, at)) {
        ++dots;
    }
    if (at != segment.size() || dots == 0 || dots > 2) {
        return segment;
    }
    return dots == 1 ? std::string_view(".") : std::string_view("..");
}

void AppendPath(std::string& out, std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        AppendEncoded(out, DotSegment(path.substr(start, slash - start)), "\"<>`{}");
        if (slash < path.size()) {
            out += '/';
        }
        start = slash + 1;
    }
}

// `scheme` (lower case, http or https) and everything after its "//", made into a
// normalised address by libcurl; "" when it is no address with a host.
std::string Normalise(const std::string& scheme, std::string_view rest) {
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::string_view authority = rest.substr(0, authorityEnd);
    // A host never holds these; a NUL would also cut curl's C string short.
    if (authority.empty() || std::any_of(authority.begin(), authority.end(), [](char c) {
            return IsC0OrSpace(c) || static_cast<unsigned char>(c) == 0x7F;
        })) {
        return {};
    }
    std::string_view tail = rest.substr(authorityEnd);
    const std::size_t hash = tail.find('#');
    const std::string_view fragment =
        hash == std::string_view::npos ? std::string_view() : tail.substr(hash);
    tail = tail.substr(0, hash);
    const std::size_t question = tail.find('?');
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : tail.substr(question);
    const std::string_view path = tail.substr(0, question);

    std::string url = scheme + "://";
    url.reserve(url.size() + rest.size() + rest.size() / 4);
    url += authority;
    AppendPath(url, path);
    AppendEncoded(url, query, "\"<>'");
    AppendEncoded(url, fragment, "\"<>`");

    EnsureCurlGlobalInit();
    UrlHandle handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    CurlText host;
    if (curl_url_get(handle.get(), CURLUPART_HOST, &host.m_pText, 0) != CURLUE_OK ||
        host.m_pText[0] == '\0') {
        return {};
    }
    const std::string lowerHost = AsciiLower(host.m_pText);
    if (curl_url_set(handle.get(), CURLUPART_HOST, lowerHost.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    CurlText out;
    if (curl_url_get(handle.get(), CURLUPART_URL, &out.m_pText, CURLU_NO_DEFAULT_PORT) !=
        CURLUE_OK) {
        return {};
    }
    return out.m_pText;
}

// A cleaned base as the parts a relative reference keeps: "scheme://authority",
// the path and the query with its "?" (empty when there is none).
struct BaseParts {
    std::string m_strScheme;
    std::string m_strOrigin;
    std::string m_strPath;
    std::string m_strQuery;
};

bool SplitBase(const std::string& cleanedBase, BaseParts& parts) {
    const std::size_t schemeLen = SchemeLength(cleanedBase);
    if (schemeLen == 0) {
        return false;
    }
    parts.m_strScheme = AsciiLower(cleanedBase.substr(0, schemeLen));
    if (!IsWebScheme(parts.m_strScheme)) {
        return false;
    }
    std::string rest = cleanedBase.substr(schemeLen + 1);
    BackslashesToSlashes(rest);
    const std::string normal = Normalise(parts.m_strScheme, WithoutLeadingSlashes(rest));
    if (normal.empty()) {
        return false;
    }
    // libcurl always writes a path, so the first "/" after "://" starts it.
    const std::size_t pathStart = normal.find('/', normal.find("://") + 3);
    const std::size_t hash = std::min(normal.find('#', pathStart), normal.size());
    const std::size_t question = std::min(normal.find('?', pathStart), hash);
    parts.m_strOrigin = normal.substr(0, pathStart);
    parts.m_strPath = normal.substr(pathStart, question - pathStart);
    parts.m_strQuery = normal.substr(question, hash - question);
    return true;
}

std::string Resolve(const std::string& base, const std::string& ref) {
    std::string cleaned = Clean(ref);
    const std::size_t schemeLen = SchemeLength(cleaned);
    std::string scheme;
    if (schemeLen > 0) {
        scheme = AsciiLower(cleaned.substr(0, schemeLen));
        if (!IsWebScheme(scheme)) {
            return {};
        }
        cleaned.erase(0, schemeLen + 1);
    }
    BackslashesToSlashes(cleaned);

    BaseParts b;
    const bool haveBase = SplitBase(Clean(base), b);
    // "http:x" is relative when the base is http too; otherwise any number of
    // slashes may stand between the scheme and the host.
    if (!scheme.empty() && !(haveBase && scheme == b.m_strScheme && cleaned.rfind("//", 0) != 0)) {
        return Normalise(scheme, WithoutLeadingSlashes(cleaned));
    }
    if (!haveBase) {
        return {};
    }
    if (cleaned.rfind("//", 0) == 0) {
        return Normalise(b.m_strScheme, WithoutLeadingSlashes(cleaned));
    }
    std::string merged = b.m_strOrigin;
    if (cleaned.empty() || cleaned[0] == '#') {
        merged += b.m_strPath + b.m_strQuery + cleaned;
    } else if (cleaned[0] == '?') {
        merged += b.m_strPath + cleaned;
    } else if (cleaned[0] == '/') {
        merged += cleaned;
    } else {
        merged += b.m_strPath.substr(0, b.m_strPath.rfind('/') + 1) + cleaned;
    }
    return Normalise(b.m_strScheme, std::string_view(merged).substr(b.m_strScheme.size() + 3));
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& ref, UrlFailure* failure) {
    UrlFailure why = UrlFailure::None;
    std::string out;
    if (base.size() > kMaxUrlLength || ref.size() > kMaxUrlLength) {
        why = UrlFailure::TooLong;
    } else {
        out = Resolve(base, ref);
        if (out.size() > kMaxUrlLength) {
            out.clear();
            why = UrlFailure::TooLong;
        } else if (out.empty()) {
            why = UrlFailure::Unresolvable;
        }
    }
    if (failure != nullptr) {
        *failure = why;
    }
    return out;
}

}  // namespace tamsel
