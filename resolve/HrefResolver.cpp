// Address resolution for links, form actions and <base href>: the merge of RFC 3986
// (section 5.2) plus the leniency browsers show when they compute a link's href.

#include <cctype>
#include <cstring>
#include <string>

#include "resolve/HtmlDocument.h"

#include "base/AsciiText.h"

namespace tamsel {

namespace {

struct UrlParts {
    bool bScheme = false;
    std::string scheme;
    bool bAuthority = false;
    std::string authority;
    std::string path;
    bool bQuery = false;
    std::string query;
    bool bFragment = false;
    std::string fragment;
};

bool IsC0OrSpace(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

bool IsSpecialScheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ws" ||
           scheme == "wss" || scheme == "file";
}

// Browsers drop surrounding controls and spaces and every tab and line break.
std::string Clean(const std::string& in) {
    size_t begin = 0;
    size_t end = in.size();
    while (begin < end && IsC0OrSpace(in[begin])) {
        ++begin;
    }
    while (end > begin && IsC0OrSpace(in[end - 1])) {
        --end;
    }
    std::string out;
    out.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) {
        if (in[i] != '\t' && in[i] != '\n' && in[i] != '\r') {
            out += in[i];
        }
    }
    return out;
}

size_t SchemeLength(const std::string& s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) {
        return 0;
    }
    for (size_t i = 1; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ':') {
            return i;
        }
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') {
            return 0;
        }
    }
    return 0;
}

UrlParts Split(std::string s) {
    UrlParts parts;
    const size_t schemeLen = SchemeLength(s);
    if (schemeLen > 0) {
        parts.bScheme = true;
        parts.scheme = AsciiLower(s.substr(0, schemeLen));
        s.erase(0, schemeLen + 1);
    }
    const bool special = parts.bScheme ? IsSpecialScheme(parts.scheme) : true;
    if (special) {
        // A backslash is a slash in web addresses, but only before the query.
        const size_t stop = s.find_first_of("?#");
        for (size_t i = 0; i < s.size() && i < stop; ++i) {
            if (s[i] == '\\') {
                s[i] = '/';
            }
        }
    }
    const size_t hash = s.find('#');
    if (hash != std::string::npos) {
        parts.bFragment = true;
        parts.fragment = s.substr(hash + 1);
        s.erase(hash);
    }
    const size_t question = s.find('?');
    if (question != std::string::npos) {
        parts.bQuery = true;
        parts.query = s.substr(question + 1);
        s.erase(question);
    }
    if (s.rfind("//", 0) == 0) {
        parts.bAuthority = true;
        const size_t slash = s.find('/', 2);
        parts.authority = s.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        s = slash == std::string::npos ? std::string() : s.substr(slash);
    }
    parts.path = s;
    return parts;
}

std::string RemoveDotSegments(std::string in) {
    std::string out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind("./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind("/./", 0) == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in.size() == 3 ? std::string("/") : in.substr(3);
            const size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            const size_t next = in.find('/', in[0] == '/' ? 1 : 0);
            out += in.substr(0, next);
            in = next == std::string::npos ? std::string() : in.substr(next);
        }
    }
    return out;
}

std::string MergePaths(const UrlParts& base, const std::string& relative) {
    if (base.bAuthority && base.path.empty()) {
        return "/" + relative;
    }
    const size_t last = base.path.rfind('/');
    if (last == std::string::npos) {
        return relative;
    }
    return base.path.substr(0, last + 1) + relative;
}

// Percent-encodes what a browser will not leave raw in that part of an address.
std::string EncodePart(const std::string& in, const char* extra) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(in.size());
    for (char ch : in) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool encode = c <= 0x20 || c >= 0x7F || (c != 0 && std::strchr(extra, ch) != nullptr);
        if (encode) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

// Lower-cases the host and drops the scheme's default port.
std::string NormaliseAuthority(const std::string& scheme, const std::string& authority) {
    const size_t at = authority.rfind('@');
    const std::string userinfo =
        at == std::string::npos ? std::string() : authority.substr(0, at + 1);
    std::string hostPort =
        AsciiLower(at == std::string::npos ? authority : authority.substr(at + 1));
    const size_t colon = hostPort.rfind(':');
    if (colon != std::string::npos && hostPort.find(']', colon) == std::string::npos) {
        const std::string port = hostPort.substr(colon + 1);
        if (port.empty() || (scheme == "http" && port == "80") ||
            (scheme == "https" && port == "443") || (scheme == "ftp" && port == "21")) {
            hostPort.erase(colon);
        }
    }
    return userinfo + hostPort;
}

std::string Compose(const UrlParts& t) {
    const bool special = IsSpecialScheme(t.scheme);
    std::string out = t.scheme + ":";
    if (t.bAuthority) {
        out += "//";
        out += special ? NormaliseAuthority(t.scheme, t.authority) : t.authority;
    }
    std::string path = t.path;
    if (special && t.bAuthority && path.empty()) {
        path = "/";
    }
    out += special ? EncodePart(path, "\"<>`{}") : path;
    if (t.bQuery) {
        out += "?";
        out += special ? EncodePart(t.query, "\"<>'") : t.query;
    }
    if (t.bFragment) {
        out += "#";
        out += special ? EncodePart(t.fragment, "\"<>`") : t.fragment;
    }
    return out;
}

}  // namespace

std::string ResolveHref(const std::string& base, const std::string& href) {
    const std::string cleaned = Clean(href);
    UrlParts r = Split(cleaned);
    UrlParts t;
    if (r.bScheme) {
        t = r;
        if (t.bAuthority || (!t.path.empty() && t.path[0] == '/')) {
            t.path = RemoveDotSegments(t.path);
        }
        return Compose(t);
    }

    const UrlParts b = Split(Clean(base));
    // Relative addresses need a hierarchical base ("about:blank" is not one).
    if (!b.bScheme || (!b.bAuthority && (b.path.empty() || b.path[0] != '/'))) {
        return cleaned;
    }
    // Split applied the special rules to the reference already; a non-special base
    // does not want them, so split again without them.
    if (!IsSpecialScheme(b.scheme)) {
        r = Split(std::string("x:") + cleaned);
        r.bScheme = false;
        r.scheme.clear();
    }

    t.scheme = b.scheme;
    t.bScheme = true;
    if (r.bAuthority) {
        t.bAuthority = true;
        t.authority = r.authority;
        t.path = RemoveDotSegments(r.path);
        t.bQuery = r.bQuery;
        t.query = r.query;
    } else {
        t.bAuthority = b.bAuthority;
        t.authority = b.authority;
        if (r.path.empty()) {
            t.path = b.path;
            t.bQuery = r.bQuery || b.bQuery;
            t.query = r.bQuery ? r.query : b.query;
        } else {
            t.path = r.path[0] == '/' ? RemoveDotSegments(r.path)
                                      : RemoveDotSegments(MergePaths(b, r.path));
            t.bQuery = r.bQuery;
            t.query = r.query;
        }
    }
    t.bFragment = r.bFragment;
    t.fragment = r.fragment;
    return Compose(t);
}

}  // namespace tamsel
