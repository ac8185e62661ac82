#include "service/MediaFinder.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "base/AsciiText.h"
#include "base/HtmlWalk.h"
#include "base/UrlResolve.h"
#include "service/ServiceLog.h"

namespace tamsel {

namespace {

std::string UrlDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else if (s[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// The media addresses a flashvars string names (file=, flv=, video_url=).
std::vector<std::string> FlashVarAddresses(const std::string& flashvars) {
    std::vector<std::string> found;
    std::size_t pos = 0;
    while (pos <= flashvars.size()) {
        std::size_t amp = flashvars.find('&', pos);
        if (amp == std::string::npos) {
            amp = flashvars.size();
        }
        const std::string pair = flashvars.substr(pos, amp - pos);
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos) {
            const std::string key = AsciiLower(TrimBlanks(pair.substr(0, eq)));
            if (key == "file" || key == "flv" || key == "video_url") {
                found.push_back(TrimBlanks(UrlDecode(pair.substr(eq + 1))));
            }
        }
        pos = amp + 1;
    }
    return found;
}

// Reads a JSON string starting at the opening quote; false when it is not one.
bool ReadJsonString(const std::string& text, std::size_t quote, std::string& out) {
    out.clear();
    for (std::size_t i = quote + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            return true;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        switch (text[i]) {
            case 'u': {
                if (i + 4 >= text.size()) {
                    return false;
                }
                const std::string hex = text.substr(i + 1, 4);
                if (!std::all_of(hex.begin(), hex.end(),
                                 [](unsigned char h) { return std::isxdigit(h) != 0; })) {
                    return false;
                }
                const unsigned cp = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
                // Non-ASCII goes out as UTF-8; the resolver percent-encodes it.
                // Lone surrogates are dropped.
                if (cp < 0x80) {
                    out.push_back(static_cast<char>(cp));
                } else if (cp < 0x800) {
                    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
                    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
                } else if (cp < 0xD800 || cp > 0xDFFF) {
                    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
                    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
                }
                i += 4;
                break;
            }
            case 'n':
            case 't':
            case 'r':
            case 'b':
            case 'f':
                break;
            default:
                out.push_back(text[i]);  // \" \\ \/
        }
    }
    return false;
}

// Every "contentUrl": "..." in a JSON-LD block.
std::vector<std::string> JsonLdContentUrls(const std::string& json) {
    std::vector<std::string> found;
    static const std::string kKey = "\"contentUrl\"";
    for (std::size_t pos = json.find(kKey); pos != std::string::npos;
         pos = json.find(kKey, pos + kKey.size())) {
        std::size_t i = pos + kKey.size();
        while (i < json.size() && std::isspace(static_cast<unsigned char>(json[i]))) {
            ++i;
        }
        if (i >= json.size() || json[i] != ':') {
            continue;
        }
        ++i;
        while (i < json.size() && std::isspace(static_cast<unsigned char>(json[i]))) {
            ++i;
        }
        std::string value;
        if (i < json.size() && json[i] == '"' && ReadJsonString(json, i, value)) {
            found.push_back(value);
        }
    }
    return found;
}

const char* const kMediaExtensions[] = {".flv", ".mp4", ".m4v", ".webm", ".mov", ".f4v", ".3gp"};

bool MentionsMediaExtension(const std::string& text) {
    const std::string lower = AsciiLower(text);
    return std::any_of(std::begin(kMediaExtensions), std::end(kMediaExtensions),
                       [&](const char* ext) { return lower.find(ext) != std::string::npos; });
}

bool IsPlayerMetaName(const std::string& name) {
    return name == "og:video" || name == "og:video:url" || name == "og:video:secure_url" ||
           name == "twitter:player:stream";
}

class Collector {
public:
    explicit Collector(std::string base) : m_base(std::move(base)) {}
    ~Collector() {
        if (m_nTooLong > 0) {
            qCDebug(lcService) << "skipped" << m_nTooLong << "addresses over" << kMaxUrlLength
                               << "bytes";
        }
    }

    void Add(const std::string& raw) { Keep(Resolve(raw)); }
    void AddIfMedia(const std::string& raw) {
        // Most links of a page name no media at all; skip resolving those.
        if (!MentionsMediaExtension(raw)) {
            return;
        }
        const std::string absolute = Resolve(raw);
        if (HasMediaExtension(absolute)) {
            Keep(absolute);
        }
    }
    std::vector<std::string> Take() { return std::move(m_found); }

private:
    std::string Resolve(const std::string& raw) {
        // An empty reference means the page itself, never its media.
        if (std::none_of(raw.begin(), raw.end(),
                         [](char c) { return static_cast<unsigned char>(c) > 0x20; })) {
            return {};
        }
        UrlFailure failure = UrlFailure::None;
        std::string absolute = ResolveUrl(m_base, raw, &failure);
        if (failure == UrlFailure::TooLong) {
            ++m_nTooLong;
        }
        return absolute;
    }
    void Keep(const std::string& absolute) {
        if (!absolute.empty() && m_seen.insert(absolute).second) {
            m_found.push_back(absolute);
        }
    }

    std::string m_base;
    std::unordered_set<std::string> m_seen;
    std::vector<std::string> m_found;
    std::size_t m_nTooLong = 0;
};

void VisitElement(xmlNode* node, Collector& found) {
    if (IsElement(node, "video")) {
        found.Add(Attr(node, "src"));
    } else if (IsElement(node, "source")) {
        const std::string type = AsciiLower(Attr(node, "type"));
        if (IsElement(node->parent, "video") || type.rfind("video/", 0) == 0) {
            found.Add(Attr(node, "src"));
        } else if (!IsElement(node->parent, "audio")) {
            found.AddIfMedia(Attr(node, "src"));
        }
    } else if (IsElement(node, "meta")) {
        std::string key = AsciiLower(TrimBlanks(Attr(node, "property")));
        if (key.empty()) {
            key = AsciiLower(TrimBlanks(Attr(node, "name")));
        }
        if (IsPlayerMetaName(key)) {
            found.Add(Attr(node, "content"));
        }
    } else if (IsElement(node, "embed")) {
        found.AddIfMedia(Attr(node, "src"));
        for (const std::string& address : FlashVarAddresses(Attr(node, "flashvars"))) {
            found.Add(address);
        }
    } else if (IsElement(node, "object")) {
        found.AddIfMedia(Attr(node, "data"));
        for (const std::string& address : FlashVarAddresses(Attr(node, "flashvars"))) {
            found.Add(address);
        }
    } else if (IsElement(node, "param")) {
        const std::string key = AsciiLower(TrimBlanks(Attr(node, "name")));
        const std::string value = Attr(node, "value");
        if (key == "flashvars") {
            for (const std::string& address : FlashVarAddresses(value)) {
                found.Add(address);
            }
        } else if (key == "src" || key == "data" || key == "movie" || key == "url" ||
                   key == "file") {
            found.AddIfMedia(value);
        }
    } else if (IsElement(node, "script")) {
        if (AsciiLower(TrimBlanks(Attr(node, "type"))) == "application/ld+json") {
            for (const std::string& address : JsonLdContentUrls(TextContent(node))) {
                found.Add(address);
            }
        }
    } else if (IsElement(node, "a")) {
        found.AddIfMedia(Attr(node, "href"));
    }
}

}  // namespace

bool HasMediaExtension(const std::string& address) {
    std::string path = address.substr(0, address.find_first_of("?#"));
    const std::size_t scheme = path.find("://");
    if (scheme != std::string::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? std::string() : path.substr(slash);
    }
    path = AsciiLower(path);
    return std::any_of(
        std::begin(kMediaExtensions), std::end(kMediaExtensions), [&](const char* ext) {
            const std::string e(ext);
            return path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0;
        });
}

std::vector<std::string> FindMediaAddresses(const std::string& html, const std::string& pageUrl) {
    const HtmlTree tree = ParseHtml(html);
    xmlNode* root = HtmlRoot(tree);
    if (root == nullptr) {
        return {};
    }
    // The first <base href> of the document decides for every relative address.
    std::string base = pageUrl;
    ForEachElement(root, [&](xmlNode* node) {
        if (IsElement(node, "base")) {
            const std::string href = TrimBlanks(Attr(node, "href"));
            if (!href.empty()) {
                const std::string resolved = ResolveUrl(pageUrl, href);
                if (!resolved.empty()) {
                    base = resolved;
                }
                return false;
            }
        }
        return true;
    });
    Collector found(base);
    ForEachElement(root, [&](xmlNode* node) { VisitElement(node, found); });
    return found.Take();
}

}  // namespace tamsel
