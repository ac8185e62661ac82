#include "service/MediaFinder.h"

#include <libxml/HTMLparser.h>
#include <libxml/uri.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_set>

#include "base/AsciiText.h"

namespace tamsel {

namespace {

// Browsers escape what a written address may not hold; libxml2's resolver wants
// the same before it accepts the address.
std::string EscapeForUri(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            if (c == '\t' || c == '\n' || c == '\r') {
                continue;  // browsers drop these inside addresses
            }
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

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

// An absolute http or https address that names a host: "http://", "http://:80/"
// and "http://user@/" lead nowhere.
bool IsHttpAddress(const std::string& address) {
    const std::string lower = AsciiLower(address.substr(0, 8));
    const std::size_t rest = lower.rfind("http://", 0) == 0    ? 7
                             : lower.rfind("https://", 0) == 0 ? 8
                                                               : 0;
    if (rest == 0) {
        return false;
    }
    std::string authority = address.substr(rest, address.find_first_of("/?#", rest) - rest);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        return close != std::string::npos && close > 1;
    }
    return !authority.empty() && authority[0] != ':';
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// The HTML parser already gives element names in lower case.
std::string_view Name(xmlNode* node) {
    return node->name != nullptr ? std::string_view(reinterpret_cast<const char*>(node->name))
                                 : std::string_view();
}

std::string TextContent(xmlNode* node) {
    xmlChar* value = xmlNodeGetContent(node);
    if (value == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
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

    void Add(const std::string& raw) {
        const std::string candidate = TrimBlanks(raw);
        if (candidate.empty()) {
            return;
        }
        const std::string absolute = ResolveAddress(candidate, m_base);
        if (absolute.empty() || !IsHttpAddress(absolute)) {
            return;
        }
        if (m_seen.insert(absolute).second) {
            m_found.push_back(absolute);
        }
    }
    void AddIfMedia(const std::string& raw) {
        const std::string candidate = TrimBlanks(raw);
        // Most links of a page name no media at all; skip resolving those.
        if (candidate.empty() || !MentionsMediaExtension(candidate)) {
            return;
        }
        if (HasMediaExtension(ResolveAddress(candidate, m_base))) {
            Add(candidate);
        }
    }
    std::vector<std::string> Take() { return std::move(m_found); }

private:
    std::string m_base;
    std::unordered_set<std::string> m_seen;
    std::vector<std::string> m_found;
};

void VisitElement(xmlNode* node, Collector& found) {
    const std::string_view name = Name(node);
    if (name == "video") {
        found.Add(Attribute(node, "src"));
    } else if (name == "source") {
        const std::string_view parent =
            node->parent != nullptr ? Name(node->parent) : std::string_view();
        const std::string type = AsciiLower(Attribute(node, "type"));
        if (parent == "video" || type.rfind("video/", 0) == 0) {
            found.Add(Attribute(node, "src"));
        } else if (parent != "audio") {
            found.AddIfMedia(Attribute(node, "src"));
        }
    } else if (name == "meta") {
        std::string key = AsciiLower(TrimBlanks(Attribute(node, "property")));
        if (key.empty()) {
            key = AsciiLower(TrimBlanks(Attribute(node, "name")));
        }
        if (IsPlayerMetaName(key)) {
            found.Add(Attribute(node, "content"));
        }
    } else if (name == "embed") {
        found.AddIfMedia(Attribute(node, "src"));
        for (const std::string& address : FlashVarAddresses(Attribute(node, "flashvars"))) {
            found.Add(address);
        }
    } else if (name == "object") {
        found.AddIfMedia(Attribute(node, "data"));
        for (const std::string& address : FlashVarAddresses(Attribute(node, "flashvars"))) {
            found.Add(address);
        }
    } else if (name == "param") {
        const std::string key = AsciiLower(TrimBlanks(Attribute(node, "name")));
        const std::string value = Attribute(node, "value");
        if (key == "flashvars") {
            for (const std::string& address : FlashVarAddresses(value)) {
                found.Add(address);
            }
        } else if (key == "src" || key == "data" || key == "movie" || key == "url" ||
                   key == "file") {
            found.AddIfMedia(value);
        }
    } else if (name == "script") {
        if (AsciiLower(TrimBlanks(Attribute(node, "type"))) == "application/ld+json") {
            for (const std::string& address : JsonLdContentUrls(TextContent(node))) {
                found.Add(address);
            }
        }
    } else if (name == "a") {
        found.AddIfMedia(Attribute(node, "href"));
    }
}

// Walks the tree in document order without recursion: hostile nesting cannot
// exhaust the stack.
template <typename Visit>
void WalkElements(xmlNode* root, Visit&& visit) {
    xmlNode* node = root;
    while (node != nullptr) {
        if (node->type == XML_ELEMENT_NODE) {
            if (!visit(node)) {
                return;
            }
        }
        if (node->children != nullptr && node->type == XML_ELEMENT_NODE) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr) {
            node = node->parent;
            if (node == root || (node != nullptr && node->type == XML_DOCUMENT_NODE) ||
                (node != nullptr && node->type == XML_HTML_DOCUMENT_NODE)) {
                return;
            }
        }
        if (node != nullptr) {
            node = node->next;
        }
    }
}

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

std::string ResolveAddress(const std::string& ref, const std::string& base) {
    const std::string escapedRef = EscapeForUri(TrimBlanks(ref));
    const std::string escapedBase = EscapeForUri(TrimBlanks(base));
    xmlChar* built = xmlBuildURI(reinterpret_cast<const xmlChar*>(escapedRef.c_str()),
                                 reinterpret_cast<const xmlChar*>(escapedBase.c_str()));
    if (built == nullptr) {
        return {};
    }
    std::string result(reinterpret_cast<const char*>(built));
    xmlFree(built);
    // A relative reference against a base that is not absolute stays relative.
    return result.find("://") != std::string::npos ? result : std::string();
}

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
    static std::once_flag parserReady;
    std::call_once(parserReady, [] { xmlInitParser(); });
    if (html.empty() || html.size() > static_cast<std::size_t>(INT32_MAX)) {
        return {};
    }
    std::unique_ptr<xmlDoc, DocDeleter> doc(
        htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, nullptr,
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                           HTML_PARSE_RECOVER | HTML_PARSE_NOBLANKS));
    if (!doc) {
        return {};
    }
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) {
        return {};
    }
    // The first <base href> of the document decides for every relative address.
    std::string base = pageUrl;
    WalkElements(root, [&](xmlNode* node) {
        if (Name(node) == "base") {
            const std::string href = TrimBlanks(Attribute(node, "href"));
            if (!href.empty()) {
                const std::string resolved = ResolveAddress(href, pageUrl);
                if (!resolved.empty()) {
                    base = resolved;
                }
                return false;
            }
        }
        return true;
    });
    Collector found(base);
    WalkElements(root, [&](xmlNode* node) {
        VisitElement(node, found);
        return true;
    });
    return found.Take();
}

}  // namespace tamsel
