#include "download/DashManifest.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <memory>
#include <string_view>

#include "base/AsciiText.h"
#include "base/UrlResolve.h"

namespace tamsel {

namespace {

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

bool Named(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::string Attr(const xmlNode* node, const char* name) {
    if (node == nullptr) {
        return {};
    }
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return {};
    }
    std::string out(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return out;
}

const xmlNode* Child(const xmlNode* node, const char* name) {
    for (const xmlNode* c = node != nullptr ? node->children : nullptr; c; c = c->next) {
        if (Named(c, name)) {
            return c;
        }
    }
    return nullptr;
}

std::vector<const xmlNode*> Children(const xmlNode* node, const char* name) {
    std::vector<const xmlNode*> out;
    for (const xmlNode* c = node != nullptr ? node->children : nullptr; c; c = c->next) {
        if (Named(c, name)) {
            out.push_back(c);
        }
    }
    return out;
}

std::string Text(const xmlNode* node) {
    if (node == nullptr) {
        return {};
    }
    xmlChar* content = xmlNodeGetContent(node);
    std::string out = content != nullptr ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return TrimBlanks(out);
}

bool Number(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    out = std::stoull(text);
    return true;
}

// An ISO 8601 duration as MPDs write it ("PT1H2M3.5S", "P1DT2H"); seconds, or -1.
double DurationSeconds(const std::string& text) {
    if (text.size() < 2 || text[0] != 'P' || text.size() > 64) {
        return -1;
    }
    double total = 0;
    bool time = false;
    std::string number;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= '0' && c <= '9') || c == '.') {
            number += c;
            continue;
        }
        if (c == 'T') {
            time = true;
            continue;
        }
        if (number.empty()) {
            return -1;
        }
        const double value = std::strtod(number.c_str(), nullptr);
        number.clear();
        if (c == 'D' && !time) {
            total += value * 86400;
        } else if (c == 'H' && time) {
            total += value * 3600;
        } else if (c == 'M' && time) {
            total += value * 60;
        } else if (c == 'S' && time) {
            total += value;
        } else {
            return -1;
        }
    }
    return number.empty() && std::isfinite(total) ? total : -1;
}

// "$Name$" and "$Name%0Nd$" in a template, and "$$".
std::string Expand(const std::string& pattern, const std::string& id, std::uint64_t number,
                   std::uint64_t time, std::uint64_t bandwidth) {
    std::string out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const std::size_t open = pattern.find('$', i);
        if (open == std::string::npos) {
            out += pattern.substr(i);
            break;
        }
        out += pattern.substr(i, open - i);
        const std::size_t close = pattern.find('$', open + 1);
        if (close == std::string::npos) {
            out += pattern.substr(open);
            break;
        }
        std::string name = pattern.substr(open + 1, close - open - 1);
        i = close + 1;
        if (name.empty()) {
            out += '$';
            continue;
        }
        std::size_t width = 0;
        if (const std::size_t percent = name.find('%'); percent != std::string::npos) {
            const std::string format = name.substr(percent);
            name.resize(percent);
            if (format.size() >= 3 && format[1] == '0' && format.back() == 'd') {
                width = std::min<std::size_t>(
                    std::strtoul(format.substr(2, format.size() - 3).c_str(), nullptr, 10), 32);
            }
        }
        std::string value;
        if (name == "RepresentationID") {
            value = id;
        } else if (name == "Number") {
            value = std::to_string(number);
        } else if (name == "Time") {
            value = std::to_string(time);
        } else if (name == "Bandwidth") {
            value = std::to_string(bandwidth);
        } else {
            value = "$" + name + "$";
        }
        if (value.size() < width) {
            value.insert(0, width - value.size(), '0');
        }
        out += value;
    }
    return out;
}

bool ParseRange(const std::string& text, HlsByteRange& range) {
    const std::size_t dash = text.find('-');
    std::uint64_t first = 0, last = 0;
    if (dash == std::string::npos || !Number(text.substr(0, dash), first) ||
        !Number(text.substr(dash + 1), last) || last < first || last == UINT64_MAX) {
        return false;
    }
    range.offset = first;
    range.length = last - first + 1;
    return true;
}

std::string BaseOf(const std::string& base, const xmlNode* node) {
    const std::string ref = Text(Child(node, "BaseURL"));
    if (ref.empty()) {
        return base;
    }
    const std::string resolved = ResolveUrl(base, ref);
    return resolved.empty() ? base : resolved;
}

enum class Kind { Video, Audio, Muxed, Other };

Kind KindOf(const xmlNode* set, const xmlNode* representation) {
    std::string type = Attr(set, "contentType");
    std::string mime = Attr(representation, "mimeType");
    if (mime.empty()) {
        mime = Attr(set, "mimeType");
    }
    std::string codecs = AsciiLower(Attr(representation, "codecs") + "," + Attr(set, "codecs"));
    const bool videoCodec =
        codecs.find("avc") != std::string::npos || codecs.find("hvc") != std::string::npos ||
        codecs.find("hev") != std::string::npos || codecs.find("vp") != std::string::npos ||
        codecs.find("av01") != std::string::npos;
    const bool audioCodec =
        codecs.find("mp4a") != std::string::npos || codecs.find("opus") != std::string::npos ||
        codecs.find("vorbis") != std::string::npos || codecs.find("ac-3") != std::string::npos ||
        codecs.find("ec-3") != std::string::npos;
    if (videoCodec && audioCodec) {
        return Kind::Muxed;
    }
    if (type == "video" || mime.rfind("video/", 0) == 0) {
        return Kind::Video;
    }
    if (type == "audio" || mime.rfind("audio/", 0) == 0) {
        return Kind::Audio;
    }
    return Kind::Other;
}

class Reader {
public:
    explicit Reader(DashStream& out) : m_out(out) {}

    bool Fail(std::string reason) {
        m_out.error = std::move(reason);
        return false;
    }

    bool Add(const std::string& base, const std::string& ref, const HlsByteRange& range) {
        if (m_out.pieces.size() >= kMaxPlaylistSegments) {
            return Fail("the manifest lists too many segments");
        }
        const std::string url = ResolveUrl(base, ref);
        if (url.empty()) {
            return Fail("an address in the manifest is not an http or https address");
        }
        m_out.pieces.push_back({url, range});
        return true;
    }

    bool Template(const xmlNode* tmpl, const std::string& base, const std::string& id,
                  std::uint64_t bandwidth, double periodSeconds) {
        std::uint64_t number = 1, timescale = 1, duration = 0;
        if (!Attr(tmpl, "startNumber").empty() && !Number(Attr(tmpl, "startNumber"), number)) {
            return Fail("a broken startNumber");
        }
        if (!Attr(tmpl, "timescale").empty() &&
            (!Number(Attr(tmpl, "timescale"), timescale) || timescale == 0)) {
            return Fail("a broken timescale");
        }
        const std::string media = Attr(tmpl, "media");
        if (media.empty()) {
            return Fail("a SegmentTemplate without media");
        }
        if (const std::string init = Attr(tmpl, "initialization"); !init.empty()) {
            if (!Add(base, Expand(init, id, number, 0, bandwidth), {})) {
                return false;
            }
        }
        if (const xmlNode* timeline = Child(tmpl, "SegmentTimeline")) {
            std::uint64_t time = 0;
            for (const xmlNode* s : Children(timeline, "S")) {
                std::uint64_t d = 0, t = time;
                if (!Number(Attr(s, "d"), d) || d == 0 ||
                    (!Attr(s, "t").empty() && !Number(Attr(s, "t"), t))) {
                    return Fail("a broken SegmentTimeline");
                }
                long long repeat = 0;
                const std::string r = Attr(s, "r");
                if (r == "-1") {
                    if (periodSeconds <= 0) {
                        return Fail("a SegmentTimeline repeating without an end");
                    }
                    const double end = periodSeconds * static_cast<double>(timescale);
                    const double count =
                        std::ceil((end - static_cast<double>(t)) / static_cast<double>(d));
                    repeat = count >= 1 ? static_cast<long long>(std::min(
                                              count, static_cast<double>(kMaxPlaylistSegments))) -
                                              1
                                        : -1;
                } else if (!r.empty()) {
                    std::uint64_t value = 0;
                    if (!Number(r, value)) {
                        return Fail("a broken SegmentTimeline");
                    }
                    repeat = static_cast<long long>(
                        std::min<std::uint64_t>(value, kMaxPlaylistSegments));
                }
                time = t;
                for (long long k = 0; k <= repeat; ++k) {
                    if (!Add(base, Expand(media, id, number++, time, bandwidth), {})) {
                        return false;
                    }
                    time += d;
                }
            }
            return true;
        }
        if (!Number(Attr(tmpl, "duration"), duration) || duration == 0 || periodSeconds <= 0) {
            return Fail("a SegmentTemplate without a duration or timeline");
        }
        const double count = std::ceil(periodSeconds * static_cast<double>(timescale) /
                                       static_cast<double>(duration));
        if (!(count >= 1) || count > static_cast<double>(kMaxPlaylistSegments)) {
            return Fail("the manifest lists too many segments");
        }
        for (std::uint64_t k = 0; k < static_cast<std::uint64_t>(count); ++k) {
            if (!Add(base, Expand(media, id, number + k, k * duration, bandwidth), {})) {
                return false;
            }
        }
        return true;
    }

    bool List(const xmlNode* list, const std::string& base) {
        if (const xmlNode* init = Child(list, "Initialization")) {
            HlsByteRange range;
            const std::string r = Attr(init, "range");
            if (!r.empty() && !ParseRange(r, range)) {
                return Fail("a broken Initialization range");
            }
            const std::string source = Attr(init, "sourceURL");
            if (!Add(base, source.empty() ? base : source, range)) {
                return false;
            }
        }
        for (const xmlNode* segment : Children(list, "SegmentURL")) {
            HlsByteRange range;
            const std::string r = Attr(segment, "mediaRange");
            if (!r.empty() && !ParseRange(r, range)) {
                return Fail("a broken mediaRange");
            }
            const std::string media = Attr(segment, "media");
            if (!Add(base, media.empty() ? base : media, range)) {
                return false;
            }
        }
        return true;
    }

private:
    DashStream& m_out;
};

}  // namespace

bool LooksLikeDashManifest(const std::string& text) {
    const std::string head = text.substr(0, 4096);
    return head.find("<MPD") != std::string::npos;
}

DashStream ReadDashManifest(const std::string& text, const std::string& baseUrl) {
    DashStream out;
    if (text.size() > kMaxPlaylistBytes) {
        out.error = "the manifest is too large";
        return out;
    }
    // No network, no entity expansion beyond the predefined ones, no DTD loading.
    std::unique_ptr<xmlDoc, DocDeleter> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), baseUrl.c_str(), nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode* mpd = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!Named(mpd, "MPD")) {
        out.error = "not a DASH manifest";
        return out;
    }
    if (Attr(mpd, "type") == "dynamic") {
        out.live = true;
        return out;
    }
    const std::vector<const xmlNode*> periods = Children(mpd, "Period");
    if (periods.size() != 1) {
        out.error =
            periods.empty() ? "the manifest has no period" : "the manifest has several periods";
        return out;
    }
    const xmlNode* period = periods[0];
    double seconds = DurationSeconds(Attr(period, "duration"));
    if (seconds <= 0) {
        seconds = DurationSeconds(Attr(mpd, "mediaPresentationDuration"));
    }
    const std::string periodBase = BaseOf(BaseOf(baseUrl, mpd), period);

    // The sets that carry picture or sound; subtitles and the like are left out.
    const xmlNode* chosenSet = nullptr;
    const xmlNode* chosen = nullptr;
    std::uint64_t best = 0;
    bool video = false, audio = false;
    for (const xmlNode* set : Children(period, "AdaptationSet")) {
        for (const xmlNode* representation : Children(set, "Representation")) {
            const Kind kind = KindOf(set, representation);
            video = video || kind == Kind::Video;
            audio = audio || kind == Kind::Audio;
            if (kind != Kind::Muxed && kind != Kind::Video) {
                continue;
            }
            std::uint64_t bandwidth = 0;
            Number(Attr(representation, "bandwidth"), bandwidth);
            if (chosen == nullptr || bandwidth > best) {
                chosenSet = set;
                chosen = representation;
                best = bandwidth;
            }
        }
    }
    if (video && audio) {
        out.split = true;
        return out;
    }
    if (chosen == nullptr) {
        out.error = "the manifest has no video representation";
        return out;
    }
    if (Child(chosenSet, "ContentProtection") || Child(chosen, "ContentProtection")) {
        out.protectedContent = true;
        return out;
    }
    std::string mime = Attr(chosen, "mimeType");
    if (mime.empty()) {
        mime = Attr(chosenSet, "mimeType");
    }
    out.extension = mime == "video/webm" ? ".webm" : mime == "video/mp2t" ? ".ts" : ".mp4";

    const std::string base = BaseOf(BaseOf(periodBase, chosenSet), chosen);
    const std::string id = Attr(chosen, "id");
    Reader reader(out);
    const xmlNode* tmpl = Child(chosen, "SegmentTemplate");
    if (tmpl == nullptr) {
        tmpl = Child(chosenSet, "SegmentTemplate");
    }
    const xmlNode* list = Child(chosen, "SegmentList");
    if (list == nullptr) {
        list = Child(chosenSet, "SegmentList");
    }
    if (tmpl != nullptr) {
        reader.Template(tmpl, base, id, best, seconds);
    } else if (list != nullptr) {
        reader.List(list, base);
    } else {
        // SegmentBase or nothing: one file, which some BaseURL must name.
        if (base == baseUrl) {
            reader.Fail("the manifest names no media file");
        } else {
            reader.Add(base, base, {});
        }
    }
    if (!out.error.empty()) {
        out.pieces.clear();
    }
    return out;
}

}  // namespace tamsel
