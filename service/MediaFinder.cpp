#include "service/MediaFinder.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "base/AsciiText.h"
#include "base/HtmlWalk.h"
#include "base/UrlResolve.h"
#include "service/JsLiteral.h"
#include "service/JsonMedia.h"
#include "service/ServiceLog.h"

namespace tamsel {

namespace {

constexpr std::size_t kMaxScriptBytes = 4 << 20;   // longer scripts are not read
constexpr std::size_t kMaxLiteralsPerScript = 32;  // player set-ups tried per script
constexpr int kMaxAncestors = 32;                  // how far up a block is looked for

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

// One pass into a new string: linear however many times `from` occurs.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::size_t pos = text.find(from);
    if (from.empty() || pos == std::string::npos) {
        return;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t done = 0;
    for (; pos != std::string::npos; pos = text.find(from, done)) {
        out.append(text, done, pos - done);
        out.append(to);
        done = pos + from.size();
    }
    out.append(text, done, std::string::npos);
    text = std::move(out);
}

// Undoes the escapes that JavaScript strings and HTML put into addresses.
std::string UndoEscapes(std::string text) {
    if (text.find('\\') != std::string::npos) {
        ReplaceAll(text, "\\/", "/");
        for (const char* slash : {"\\u002F", "\\u002f", "\\x2F", "\\x2f"}) {
            ReplaceAll(text, slash, "/");
        }
        for (const char* amp : {"\\u0026", "\\x26"}) {
            ReplaceAll(text, amp, "&");
        }
        for (const char* eq : {"\\u003D", "\\u003d", "\\x3D", "\\x3d"}) {
            ReplaceAll(text, eq, "=");
        }
    }
    if (text.find('&') != std::string::npos) {
        for (const char* amp : {"&amp;", "&#38;", "&#x26;", "&#X26;"}) {
            ReplaceAll(text, amp, "&");
        }
        for (const char* slash : {"&#47;", "&#x2F;", "&#x2f;", "&sol;"}) {
            ReplaceAll(text, slash, "/");
        }
    }
    return text;
}

bool IsPlaceholder(const std::string& raw) {
    const std::string lower = AsciiLower(TrimBlanks(raw));
    return lower.empty() || lower == "#" || lower == "//:0" || lower == "about:blank" ||
           lower.rfind("blob:", 0) == 0 || lower.rfind("data:", 0) == 0 ||
           lower.rfind("//:", 0) == 0;
}

bool IsAsideToken(const std::string& token) {
    static const char* const kTokens[] = {
        "ad",      "ads",         "advert",         "adverts",         "advertisement", "adslot",
        "adunit",  "sponsor",     "sponsored",      "promo",           "promoted",      "promotion",
        "related", "recommended", "recommendation", "recommendations", "outbrain",      "taboola",
        "upsell",  "aside"};
    return std::any_of(std::begin(kTokens), std::end(kTokens),
                       [&](const char* t) { return token == t; });
}

bool HasAsideToken(const std::string& value) {
    std::string token;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        const char c = i < value.size() ? value[i] : ' ';
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            token.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        } else if (!token.empty()) {
            if (IsAsideToken(token)) {
                return true;
            }
            token.clear();
        }
    }
    return false;
}

struct Place {
    bool aside = false;
    bool inLink = false;
};

// Where an element sits: in an ad, promo or related block, or inside a link.
Place PlaceOf(const xmlNode* node) {
    Place place;
    int steps = 0;
    for (const xmlNode* up = node;
         up != nullptr && up->type == XML_ELEMENT_NODE && steps < kMaxAncestors;
         up = up->parent, ++steps) {
        if (up != node && IsElement(up, "a")) {
            // A link to another page; "javascript:" and "#" links are only click targets.
            const std::string href = AsciiLower(TrimBlanks(Attr(up, "href")));
            if (!href.empty() && href[0] != '#' && href.rfind("javascript:", 0) != 0) {
                place.inLink = true;
            }
        }
        if (IsElement(up, "aside") || HasAsideToken(Attr(up, "class")) ||
            HasAsideToken(Attr(up, "id"))) {
            place.aside = true;
        }
    }
    return place;
}

int ToInt(const std::string& text) {
    int value = 0;
    for (char c : TrimBlanks(text)) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > 100000) {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

bool IsPlayerMetaName(const std::string& name) {
    return name == "og:video" || name == "og:video:url" || name == "og:video:secure_url";
}

class Collector {
public:
    Collector(std::string base, std::string page)
        : m_base(std::move(base)), m_page(std::move(page)) {
        m_page = m_page.substr(0, m_page.find('#'));
    }
    ~Collector() {
        if (m_nTooLong > 0) {
            qCDebug(lcService) << "skipped" << m_nTooLong << "addresses over" << kMaxUrlLength
                               << "bytes";
        }
    }

    std::size_t NewGroup() { return ++m_nGroups; }

    // Records a sighting; returns its candidate's index, or -1 when not kept.
    long Add(const std::string& raw, MediaCandidate seen) {
        if (m_found.size() >= kMaxCandidates && m_index.size() >= kMaxCandidates) {
            return -1;
        }
        if (IsPlaceholder(raw)) {
            return -1;
        }
        UrlFailure failure = UrlFailure::None;
        const std::string absolute = ResolveUrl(m_base, UndoEscapes(raw), &failure);
        if (failure == UrlFailure::TooLong) {
            ++m_nTooLong;
        }
        if (absolute.empty() || absolute.substr(0, absolute.find('#')) == m_page) {
            return -1;
        }
        seen.address = absolute;
        seen.origins = 1u << static_cast<unsigned>(seen.origin);
        const auto known = m_index.find(absolute);
        if (known == m_index.end()) {
            if (m_found.size() >= kMaxCandidates) {
                return -1;
            }
            seen.position = m_found.size();
            m_index.emplace(absolute, m_found.size());
            m_found.push_back(std::move(seen));
            return static_cast<long>(m_found.size() - 1);
        }
        Merge(m_found[known->second], seen);
        return static_cast<long>(known->second);
    }

    MediaCandidate& At(long index) { return m_found[static_cast<std::size_t>(index)]; }

    // Keeps what a player would play: a video file or stream.
    std::vector<MediaCandidate> Take() {
        std::vector<MediaCandidate> kept;
        for (MediaCandidate& c : m_found) {
            c.kind = KindOf(c.address, c.type);
            if (c.kind == MediaKind::kImage && c.origin == MediaOrigin::kVideoElement &&
                KindFromType(c.type) == MediaKind::kUnknown) {
                // A video element plays what the server sends: "clip.gif" served as MP4.
                c.kind = MediaKind::kUnknown;
            }
            if (c.kind == MediaKind::kUnknown &&
                (c.origins & ((1u << static_cast<unsigned>(MediaOrigin::kVideoElement)) |
                              (1u << static_cast<unsigned>(MediaOrigin::kTwitter)))) != 0) {
                c.kind = MediaKind::kProgressive;  // a video element plays what it is given
            }
            if (IsVideoKind(c.kind)) {
                kept.push_back(std::move(c));
            }
        }
        return kept;
    }

private:
    static void Merge(MediaCandidate& into, const MediaCandidate& seen) {
        if (static_cast<int>(seen.origin) < static_cast<int>(into.origin)) {
            into.origin = seen.origin;
            into.group = seen.group;
        }
        into.origins |= seen.origins;
        // A sighting outside any aside block or link shows it is the page's own.
        into.inAside = into.inAside && seen.inAside;
        into.inLink = into.inLink && seen.inLink;
        into.background = into.background && seen.background;
        if (into.type.empty()) {
            into.type = seen.type;
        }
        if (into.label.empty()) {
            into.label = seen.label;
        }
        into.width = std::max(into.width, seen.width);
        into.height = std::max(into.height, seen.height);
        into.bitrate = std::max(into.bitrate, seen.bitrate);
    }

    std::string m_base;
    std::string m_page;
    std::unordered_map<std::string, std::size_t> m_index;
    std::vector<MediaCandidate> m_found;
    std::size_t m_nGroups = 0;
    std::size_t m_nTooLong = 0;
};

// The walk over a page's elements, turning each into sightings.
class PageReader {
public:
    explicit PageReader(Collector& found) : m_found(found) {}

    void Visit(xmlNode* node) {
        if (IsElement(node, "video")) {
            VisitVideo(node);
        } else if (IsElement(node, "source")) {
            VisitSource(node);
        } else if (IsElement(node, "meta")) {
            VisitMeta(node);
        } else if (IsElement(node, "embed") || IsElement(node, "object")) {
            VisitEmbed(node);
        } else if (IsElement(node, "param")) {
            VisitParam(node);
        } else if (IsElement(node, "script")) {
            VisitScript(node);
        } else if (IsElement(node, "a")) {
            AddIfVideo(Attr(node, "href"), MediaOrigin::kLink, node);
        }
        VisitDataAttributes(node);
    }

private:
    MediaCandidate Sighting(MediaOrigin origin, const xmlNode* node, std::size_t group) {
        MediaCandidate c;
        c.origin = origin;
        c.group = group;
        if (node != nullptr) {
            const Place place = PlaceOf(node);
            c.inAside = place.aside;
            c.inLink = place.inLink;
        }
        return c;
    }

    void AddIfVideo(const std::string& raw, MediaOrigin origin, const xmlNode* node) {
        const std::string text = TrimBlanks(raw);
        if (text.empty() || !IsVideoKind(KindFromAddress(UndoEscapes(text)))) {
            return;  // most links of a page name no media; skip resolving those
        }
        m_found.Add(text, Sighting(origin, node, m_found.NewGroup()));
    }

    std::size_t GroupOf(xmlNode* video) {
        const auto it = m_videoGroups.find(video);
        if (it != m_videoGroups.end()) {
            return it->second;
        }
        const std::size_t group = m_found.NewGroup();
        m_videoGroups.emplace(video, group);
        return group;
    }

    static bool IsBackground(const xmlNode* video) {
        return HasAttr(video, "muted") && HasAttr(video, "loop") && HasAttr(video, "autoplay") &&
               !HasAttr(video, "controls");
    }

    void VisitVideo(xmlNode* node) {
        MediaCandidate c = Sighting(MediaOrigin::kVideoElement, node, GroupOf(node));
        c.background = IsBackground(node);
        c.width = ToInt(Attr(node, "width"));
        c.height = ToInt(Attr(node, "height"));
        for (const char* attr : {"src", "data-src"}) {
            m_found.Add(Attr(node, attr), c);
        }
    }

    void VisitSource(xmlNode* node) {
        // libxml2 2.9 nests a second <source> inside the first: look past them.
        xmlNode* owner = node->parent;
        for (int steps = 0; owner != nullptr && IsElement(owner, "source") && steps < kMaxAncestors;
             ++steps) {
            owner = owner->parent;
        }
        if (IsElement(owner, "audio") || IsElement(owner, "picture")) {
            return;
        }
        const bool inVideo = IsElement(owner, "video");
        MediaCandidate c = Sighting(MediaOrigin::kVideoElement, node,
                                    inVideo ? GroupOf(owner) : m_found.NewGroup());
        c.type = AsciiLower(TrimBlanks(Attr(node, "type")));
        if (!inVideo && !IsVideoKind(KindFromType(c.type))) {
            AddIfVideo(Attr(node, "src"), MediaOrigin::kLink, node);
            return;
        }
        c.background = inVideo && IsBackground(owner);
        for (const char* attr : {"label", "res", "size", "data-res", "data-quality", "title"}) {
            if (c.label.empty()) {
                c.label = TrimBlanks(Attr(node, attr));
            }
        }
        c.height = ToInt(Attr(node, "height"));
        if (c.height == 0) {
            c.height = HeightFromText(c.label);
        }
        for (const char* attr : {"src", "data-src"}) {
            m_found.Add(Attr(node, attr), c);
        }
    }

    void VisitMeta(xmlNode* node) {
        std::string key = AsciiLower(TrimBlanks(Attr(node, "property")));
        if (key.empty()) {
            key = AsciiLower(TrimBlanks(Attr(node, "name")));
        }
        const std::string content = Attr(node, "content");
        if (IsPlayerMetaName(key)) {
            if (key == "og:video" || m_ogGroup == 0) {
                m_ogGroup = m_found.NewGroup();
                m_ogMembers.clear();
            }
            MediaCandidate c = Sighting(MediaOrigin::kOpenGraph, nullptr, m_ogGroup);
            c.type = m_ogType;
            const long index = m_found.Add(content, c);
            if (index >= 0) {
                m_ogMembers.push_back(index);
            }
        } else if (key == "og:video:type") {
            m_ogType = AsciiLower(TrimBlanks(content));
            for (long index : m_ogMembers) {
                if (m_found.At(index).origin == MediaOrigin::kOpenGraph) {
                    m_found.At(index).type = m_ogType;
                }
            }
        } else if (key == "og:video:width" || key == "og:video:height") {
            for (long index : m_ogMembers) {
                (key == "og:video:width" ? m_found.At(index).width : m_found.At(index).height) =
                    ToInt(content);
            }
        } else if (key == "twitter:player:stream") {
            MediaCandidate c = Sighting(MediaOrigin::kTwitter, nullptr, m_found.NewGroup());
            c.type = m_twitterType;
            m_twitterIndex = m_found.Add(content, c);
        } else if (key == "twitter:player:stream:content_type") {
            m_twitterType = AsciiLower(TrimBlanks(content));
            if (m_twitterIndex >= 0 && m_found.At(m_twitterIndex).type.empty()) {
                m_found.At(m_twitterIndex).type = m_twitterType;
            }
        }
    }

    void VisitEmbed(xmlNode* node) {
        AddIfVideo(Attr(node, IsElement(node, "embed") ? "src" : "data"), MediaOrigin::kEmbed,
                   node);
        for (const std::string& address : FlashVarAddresses(Attr(node, "flashvars"))) {
            AddIfVideo(address, MediaOrigin::kEmbed, node);
        }
    }

    void VisitParam(xmlNode* node) {
        const std::string key = AsciiLower(TrimBlanks(Attr(node, "name")));
        const std::string value = Attr(node, "value");
        if (key == "flashvars") {
            for (const std::string& address : FlashVarAddresses(value)) {
                AddIfVideo(address, MediaOrigin::kEmbed, node);
            }
        } else if (key == "src" || key == "data" || key == "movie" || key == "url" ||
                   key == "file") {
            AddIfVideo(value, MediaOrigin::kEmbed, node);
        }
    }

    void AddJson(const QJsonValue& root, JsonMode mode, const xmlNode* node) {
        if (root.isNull() || root.isUndefined()) {
            return;
        }
        const MediaOrigin origin =
            mode == JsonMode::kLinkedData ? MediaOrigin::kJsonLd : MediaOrigin::kPlayerConfig;
        const Place place = node != nullptr ? PlaceOf(node) : Place{};
        std::unordered_map<std::size_t, std::size_t> groups;
        for (JsonSighting& s : FindJsonMedia(root, mode, kMaxCandidates)) {
            auto group = groups.find(s.group);
            if (group == groups.end()) {
                group = groups.emplace(s.group, m_found.NewGroup()).first;
            }
            MediaCandidate c;
            c.origin = origin;
            c.group = group->second;
            c.type = s.kind == MediaKind::kHls           ? "application/x-mpegurl"
                     : s.kind == MediaKind::kDash        ? "application/dash+xml"
                     : IsVideoKind(KindFromType(s.type)) ? s.type
                                                         : "video/*";
            c.label = s.label;
            c.width = s.width;
            c.height = s.height > 0 ? s.height : HeightFromText(s.label);
            c.bitrate = s.bitrate;
            c.inAside = place.aside || s.aside;
            c.inLink = place.inLink;
            m_found.Add(s.address, c);
        }
    }

    void VisitScript(xmlNode* node) {
        const std::string type = AsciiLower(TrimBlanks(Attr(node, "type")));
        if (type == "application/ld+json") {
            AddJson(ParseJsonOrLiteral(TextContent(node)), JsonMode::kLinkedData, node);
            return;
        }
        if (type.find("json") != std::string::npos) {
            AddJson(ParseJsonOrLiteral(TextContent(node)), JsonMode::kPlayerConfig, node);
            return;
        }
        if (!type.empty() && type.find("javascript") == std::string::npos && type != "module") {
            return;  // templates and other data blocks
        }
        std::string text = TextContent(node);
        if (text.size() > kMaxScriptBytes) {
            text.resize(kMaxScriptBytes);
        }
        ReadPlayerSetups(text, node);
        ReadQuotedAddresses(text, node);
    }

    // Player set-ups written as object literals: setup({...}), sources: [...], playlist: [...].
    void ReadPlayerSetups(const std::string& text, const xmlNode* node) {
        std::size_t tried = 0;
        for (const char* marker : {"setup(", "sources", "playlist"}) {
            for (std::size_t pos = text.find(marker);
                 pos != std::string::npos && tried < kMaxLiteralsPerScript;
                 pos = text.find(marker, pos + 1)) {
                const std::size_t open = text.find_first_of("{[", pos);
                if (open == std::string::npos || open - pos > 24) {
                    continue;
                }
                ++tried;
                std::size_t end = open;
                const std::string json = JsLiteralToJson(text, open, &end);
                if (!json.empty()) {
                    AddJson(ParseJsonOrLiteral(json), JsonMode::kPlayerConfig, node);
                    pos = end;
                }
            }
        }
    }

    // Any quoted string in a script that is the address of a video file or stream.
    void ReadQuotedAddresses(const std::string& text, const xmlNode* node) {
        const std::size_t group = m_found.NewGroup();
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char quote = text[i];
            if (quote != '"' && quote != '\'') {
                continue;
            }
            std::size_t close = i + 1;
            while (close < text.size() && text[close] != quote && text[close] != '\n' &&
                   close - i < 4096) {
                close += text[close] == '\\' ? 2 : 1;
            }
            if (close >= text.size() || text[close] != quote) {
                continue;
            }
            const std::size_t open = i;
            i = close;
            const std::string_view raw(text.data() + open + 1, close - open - 1);
            if (raw.size() < 8 || (raw.substr(0, 4) != "http" && raw.substr(0, 2) != "//" &&
                                   raw.substr(0, 4) != "HTTP")) {
                continue;  // most strings of a script are no address; skip them cheaply
            }
            const std::string value = UndoEscapes(std::string(raw));
            const std::string lower = AsciiLower(value.substr(0, 8));
            if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0 &&
                lower.rfind("//", 0) != 0) {
                continue;
            }
            if (IsVideoKind(KindFromAddress(value))) {
                MediaCandidate c = Sighting(MediaOrigin::kPlayerConfig, node, group);
                // The key written just before it: "paywall_video_url", "relatedVideos".
                const std::size_t from = open > 96 ? open - 96 : 0;
                c.inAside = c.inAside || IsAsideKey(AsciiLower(text.substr(from, open - from)));
                m_found.Add(value, c);
            }
        }
    }

    // data-* attributes that hold a player configuration or a video address.
    void VisitDataAttributes(xmlNode* node) {
        for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
            const char* name = reinterpret_cast<const char*>(attr->name);
            if (name == nullptr || std::string_view(name).rfind("data-", 0) != 0 ||
                std::string_view(name) == "data-src") {
                continue;
            }
            const std::string value = TrimBlanks(Attr(node, name));
            if (value.empty()) {
                continue;
            }
            if (value[0] == '{' || value[0] == '[') {
                AddJson(ParseJsonOrLiteral(UndoEscapes(value)), JsonMode::kPlayerConfig, node);
            } else {
                AddIfVideo(value, MediaOrigin::kPlayerConfig, node);
            }
        }
    }

    Collector& m_found;
    std::unordered_map<xmlNode*, std::size_t> m_videoGroups;
    std::size_t m_ogGroup = 0;
    std::vector<long> m_ogMembers;
    std::string m_ogType;
    std::string m_twitterType;
    long m_twitterIndex = -1;
};

}  // namespace

std::vector<MediaCandidate> CollectMediaCandidates(const std::string& html,
                                                   const std::string& pageUrl) {
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
    Collector found(base, pageUrl);
    PageReader reader(found);
    ForEachElement(root, [&](xmlNode* node) { reader.Visit(node); });
    return found.Take();
}

std::vector<std::string> FindMediaAddresses(const std::string& html, const std::string& pageUrl) {
    std::vector<std::string> addresses;
    for (MediaCandidate& c : CollectMediaCandidates(html, pageUrl)) {
        addresses.push_back(std::move(c.address));
    }
    return addresses;
}

}  // namespace tamsel
