#include "fuzz/FuzzCases.h"

#include <set>

#include "base/UrlParse.h"
#include "base/UrlResolve.h"
#include "download/HlsPlaylist.h"
#include "download/PageTitle.h"
#include "resolve/DownloadLinks.h"
#include "resolve/HtmlDocument.h"
#include "service/MediaFinder.h"

using namespace tamsel;

namespace fuzzcases {
namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != static_cast<unsigned char>(prefix[i])) {
            return false;
        }
    }
    return true;
}

// An absolute http or https address whose authority names a host.
bool IsAbsoluteHttp(const std::string& address) {
    std::size_t rest = 0;
    if (StartsWithNoCase(address, "http://")) {
        rest = 7;
    } else if (StartsWithNoCase(address, "https://")) {
        rest = 8;
    } else {
        return false;
    }
    std::string authority = address.substr(rest, address.find_first_of("/?#", rest) - rest);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        return close != std::string::npos && close > 1;
    }
    return !authority.empty() && authority[0] != ':';
}

// What the resolver gives must be fetchable as it is: a fixed point of the resolver
// that the address parser accepts, with nothing left to encode.
std::string CheckResolved(const std::string& address) {
    if (address.empty()) {
        return {};
    }
    if (!IsAbsoluteHttp(address) || address.size() > kMaxUrlLength) {
        return "resolved address is not absolute http/https or is over the cap";
    }
    // A host may stay in UTF-8 (curl turns it into punycode when it connects).
    const std::size_t hostStart = address.find("://") + 3;
    const std::size_t hostEnd = address.find('/', hostStart);
    for (std::size_t i = 0; i < address.size(); ++i) {
        const auto u = static_cast<unsigned char>(address[i]);
        if (u <= 0x20 || u == 0x7F || (u > 0x7F && (i < hostStart || i >= hostEnd))) {
            return "resolved address holds a blank, control or non-ASCII byte";
        }
    }
    if (ResolveUrl(std::string(), address) != address) {
        return "resolving a resolved address changed it";
    }
    ParsedUrl parsed;
    if (!ParseUrl(address, parsed)) {
        return "the address parser refuses a resolved address";
    }
    return {};
}

bool IsValidUtf8(const std::string& text) {
    return ToValidUtf8(text) == text;
}

// The character (as UTF-8) that makes `name` unfit as a file name, or "".
std::string UnfitCharacter(const std::string& name) {
    static const std::string kForbidden = ":*?<>|/\"\\";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || kForbidden.find(static_cast<char>(c)) != std::string::npos) {
            return name.substr(i, 1);
        }
        // U+0080..U+009F, the C1 controls.
        if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
            return name.substr(i, 2);
        }
    }
    return {};
}

std::string CheckFileName(const std::string& name, const char* what) {
    const std::string where = std::string(what) + ": ";
    if (name.empty()) {
        return {};  // no name: the task keeps its time name
    }
    if (name[0] == '.') {
        return where + "name would be a hidden file";
    }
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".flv") != 0) {
        return where + "name does not end with .flv";
    }
    if (name.size() > 255) {
        return where + "name longer than 255 bytes";
    }
    if (!IsValidUtf8(name)) {
        return where + "name is not valid UTF-8";
    }
    if (const std::string bad = UnfitCharacter(name); !bad.empty()) {
        return where + "name holds an unfit character";
    }
    return {};
}

}  // namespace

std::string HtmlDocument(const std::string& input) {
    static const char* const kCharsets[] = {"",          "utf-8",  "iso-8859-1",     "windows-1252",
                                            "shift_jis", "utf-16", "no-such-charset"};
    std::string charset;
    std::string html = input;
    if (!html.empty()) {
        charset = kCharsets[static_cast<unsigned char>(html[0]) % std::size(kCharsets)];
        html.erase(0, 1);
    }
    const std::string pageUrl = "http://video.example/dir/page.html?id=7#top";
    const CHtmlDocument doc = ParseHtmlDocument(html, pageUrl, charset);
    if (doc.m_strUrl != pageUrl) {
        return "document forgot its address";
    }
    for (const CHtmlForm& form : doc.m_forms) {
        if (form.m_strMethod != "GET" && form.m_strMethod != "POST") {
            return "form method is neither GET nor POST";
        }
        const auto pairs = CollectFormData(form);
        const std::string encoded = EncodeFormData(pairs);
        for (const char c : encoded) {
            const auto u = static_cast<unsigned char>(c);
            if (u <= 0x20 || u >= 0x7F) {
                return "form encoding left a blank, control or non-ASCII byte";
            }
        }
        const FormSubmission submission = BuildFormSubmission(form);
        if (submission.m_bPost != (form.m_strMethod == "POST")) {
            return "submission method differs from the form's";
        }
    }
    for (const CHtmlLink& link : doc.m_links) {
        if (std::string e = CheckResolved(ResolveUrl(doc.m_strBaseUrl, link.m_strHref));
            !e.empty()) {
            return e;
        }
    }
    return {};
}

std::string ResultLinks(const std::string& input) {
    const std::string base = "http://127.0.0.1:17603/";
    const std::string pageUrl = "http://video.example/watch?v=42";
    const CHtmlDocument doc =
        ParseHtmlDocument(input, base + "?url=http%3A%2F%2Fvideo.example%2Fwatch%3Fv%3D42");
    const auto links = CollectDownloadLinksFrom(doc, pageUrl, base);
    for (const auto& [href, page] : links) {
        if (page != pageUrl) {
            return "link mapped to another page";
        }
        if (href.find(base) != std::string::npos) {
            return "link back into the service taken as media";
        }
    }
    return {};
}

std::string Title(const std::string& input) {
    if (std::string e = CheckFileName(TitleToFileName(input), "raw text"); !e.empty()) {
        return e;
    }
    const std::string lines = CollectTitleLines(input);
    if (!IsValidUtf8(lines)) {
        return "title lines are not valid UTF-8";
    }
    if (std::string e = CheckFileName(TitleToFileName(lines), "page"); !e.empty()) {
        return e;
    }
    TitleReadLimits small;
    small.maxLineBytes = 64;
    small.maxTextBytes = 96;
    small.maxPageBytes = 4096;
    const std::string cut = CollectTitleLines(input, small);
    if (cut.size() > 3 * small.maxTextBytes) {
        return "title text past its limit";
    }
    return CheckFileName(TitleToFileName(cut), "page with small limits");
}

std::string MediaFinder(const std::string& input) {
    const auto found = FindMediaAddresses(input, "http://video.example/watch/clip?id=7");
    std::set<std::string> seen;
    for (const std::string& address : found) {
        if (address.empty()) {
            return "empty media address";
        }
        if (std::string e = CheckResolved(address); !e.empty()) {
            return e;
        }
        if (!seen.insert(address).second) {
            return "media address repeated";
        }
    }
    return {};
}

std::string TaskUrl(const std::string& input) {
    ParsedUrl parsed;
    const bool parses = ParseUrl(input, parsed);
    const bool valid = IsValidTaskUrl(input);
    if (parses) {
        if (!valid) {
            return "a parsed address is not a valid task address";
        }
        if ((parsed.scheme != "http" && parsed.scheme != "https") || parsed.host.empty() ||
            parsed.port == 0 || parsed.object.empty() || parsed.object[0] != '/') {
            return "parsed address lacks scheme, host, port or path";
        }
    }
    if (input.find('\0') != std::string::npos && parses) {
        return "address with a NUL parsed";
    }
    return {};
}

std::string HlsPlaylist(const std::string& input) {
    const tamsel::HlsPlaylist p = ParseHlsPlaylist(input, "https://cdn.example/v/index.m3u8");
    if (p.segments.size() > kMaxPlaylistSegments || p.variants.size() > kMaxPlaylistVariants) {
        return "playlist over its caps";
    }
    if (!p.error.empty()) {
        return {};
    }
    if (p.master != !p.variants.empty() || (p.master && !p.segments.empty())) {
        return "master playlist with segments, or variants in a media playlist";
    }
    const int chosen = ChooseHlsVariant(p.variants);
    if (chosen < -1 || chosen >= static_cast<int>(p.variants.size()) ||
        (chosen == -1) != p.variants.empty()) {
        return "chosen variant out of range";
    }
    for (const auto& variant : p.variants) {
        if (std::string e = CheckResolved(variant.url); !e.empty() || variant.url.empty()) {
            return "variant address: " + e;
        }
    }
    std::uint64_t sequence = p.mediaSequence;
    for (const auto& segment : p.segments) {
        if (std::string e = CheckResolved(segment.url); !e.empty() || segment.url.empty()) {
            return "segment address: " + e;
        }
        if (segment.sequence != sequence++) {
            return "segment sequence numbers do not count up from the media sequence";
        }
        if (segment.key >= static_cast<int>(p.keys.size()) ||
            segment.init >= static_cast<int>(p.inits.size())) {
            return "segment refers to a missing key or initialisation section";
        }
        if (segment.range.offset > UINT64_MAX - segment.range.length) {
            return "byte range past 2^64";
        }
    }
    for (const auto& key : p.keys) {
        if (key.IsClearKey() && !CheckResolved(key.url).empty()) {
            return "key address not absolute";
        }
    }
    return {};
}

CaseFunction CaseByTarget(const std::string& target) {
    if (target == "fuzz_hls_playlist")
        return &HlsPlaylist;
    if (target == "fuzz_html_document")
        return &HtmlDocument;
    if (target == "fuzz_result_links")
        return &ResultLinks;
    if (target == "fuzz_title")
        return &Title;
    if (target == "fuzz_media_finder")
        return &MediaFinder;
    if (target == "fuzz_task_url")
        return &TaskUrl;
    return nullptr;
}

}  // namespace fuzzcases
