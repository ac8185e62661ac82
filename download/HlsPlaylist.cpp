#include "download/HlsPlaylist.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include "base/AsciiText.h"
#include "base/UrlResolve.h"

namespace tamsel {

namespace {

using Attributes = std::map<std::string, std::string, std::less<>>;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// An attribute list: NAME=VALUE pairs separated by commas, a value either a quoted
// string (which may hold commas) or running to the next comma. Quotes are removed.
Attributes ParseAttributes(std::string_view text) {
    Attributes out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t equals = text.find('=', i);
        if (equals == std::string_view::npos) {
            break;
        }
        std::string name(TrimBlanks(std::string(text.substr(i, equals - i))));
        std::size_t j = equals + 1;
        std::string value;
        if (j < text.size() && text[j] == '"') {
            const std::size_t close = text.find('"', j + 1);
            const std::size_t end = close == std::string_view::npos ? text.size() : close;
            value = std::string(text.substr(j + 1, end - j - 1));
            j = text.find(',', end);
        } else {
            const std::size_t comma = text.find(',', j);
            value = TrimBlanks(std::string(text.substr(j, comma - j)));
            j = comma;
        }
        out.emplace(std::move(name), std::move(value));
        if (j == std::string_view::npos) {
            break;
        }
        i = j + 1;
    }
    return out;
}

std::string Attribute(const Attributes& attributes, std::string_view name) {
    const auto it = attributes.find(name);
    return it == attributes.end() ? std::string() : it->second;
}

// A decimal-integer of at most 19 digits, so it fits without overflow.
bool ParseDecimal(std::string_view text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    out = value;
    return true;
}

bool ParseResolution(std::string_view text, std::uint32_t& width, std::uint32_t& height) {
    const std::size_t x = text.find_first_of("xX");
    std::uint64_t w = 0, h = 0;
    if (x == std::string_view::npos || !ParseDecimal(text.substr(0, x), w) ||
        !ParseDecimal(text.substr(x + 1), h) || w > 1000000 || h > 1000000) {
        return false;
    }
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
    return true;
}

// "0x" and up to 32 hex digits, right-aligned into 16 bytes.
bool ParseIv(std::string_view text, std::array<unsigned char, 16>& iv) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        return false;
    }
    const std::string_view digits = text.substr(2);
    if (digits.size() > 32) {
        return false;
    }
    iv.fill(0);
    std::size_t nibble = 0;  // counted from the right
    for (std::size_t k = digits.size(); k-- > 0; ++nibble) {
        const char c = digits[k];
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else {
            return false;
        }
        iv[15 - nibble / 2] |= static_cast<unsigned char>(nibble % 2 == 0 ? v : v << 4);
    }
    return true;
}

// "<n>[@<o>]"; without an offset the range follows `previousEnd`.
bool ParseByteRange(std::string_view text, std::uint64_t previousEnd, HlsByteRange& range) {
    const std::size_t at = text.find('@');
    std::uint64_t length = 0, offset = previousEnd;
    if (!ParseDecimal(TrimBlanks(std::string(text.substr(0, at))), length) || length == 0) {
        return false;
    }
    if (at != std::string_view::npos && !ParseDecimal(text.substr(at + 1), offset)) {
        return false;
    }
    if (offset > UINT64_MAX - length) {
        return false;
    }
    range.offset = offset;
    range.length = length;
    return true;
}

bool IsVideoCodec(std::string_view codec) {
    static constexpr std::string_view kVideo[] = {"avc1", "avc3", "hvc1", "hev1", "vp09", "vp8",
                                                  "vp9",  "av01", "dvh1", "dvhe", "mp4v", "avc"};
    for (const std::string_view prefix : kVideo) {
        if (StartsWith(codec, prefix)) {
            return true;
        }
    }
    return false;
}

bool CodecsNameNoVideo(const std::string& codecs) {
    const std::string lower = AsciiLower(codecs);
    std::size_t i = 0;
    while (i <= lower.size()) {
        const std::size_t comma = std::min(lower.find(',', i), lower.size());
        if (IsVideoCodec(TrimBlanks(lower.substr(i, comma - i)))) {
            return false;
        }
        i = comma + 1;
    }
    return true;
}

class Reader {
public:
    Reader(const std::string& base, HlsPlaylist& out) : m_base(base), m_out(out) {}

    bool Line(std::string_view line) {
        if (line.empty()) {
            return true;
        }
        if (line[0] == '#') {
            return StartsWith(line, "#EXT") ? Tag(line) : true;
        }
        return Address(line);
    }

    bool Finish() {
        if (m_bWantVariantUri) {
            return Fail("EXT-X-STREAM-INF without an address");
        }
        if (!m_out.master && !m_out.variants.empty()) {
            m_out.master = true;
        }
        if (m_out.master) {
            if (!m_out.segments.empty()) {
                return Fail("the playlist lists both variants and segments");
            }
            for (std::size_t i = 0; i < m_out.variants.size(); ++i) {
                m_out.variants[i].separateAudio =
                    !m_variantAudio[i].empty() &&
                    m_separateAudioGroups.count(m_variantAudio[i]) > 0;
            }
        }
        return true;
    }

private:
    bool Fail(std::string reason) {
        m_out.error = std::move(reason);
        return false;
    }

    bool Resolve(std::string_view ref, std::string& url) {
        url = ResolveUrl(m_base, std::string(TrimBlanks(std::string(ref))));
        if (url.empty()) {
            return Fail("an address in the playlist is not an http or https address");
        }
        return true;
    }

    bool Tag(std::string_view line) {
        const std::size_t colon = line.find(':');
        const std::string_view name = line.substr(0, colon);
        const std::string_view value =
            colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        if (name == "#EXT-X-STREAM-INF") {
            return StreamInf(value);
        }
        if (name == "#EXT-X-MEDIA") {
            const Attributes a = ParseAttributes(value);
            if (Attribute(a, "TYPE") == "AUDIO" && !Attribute(a, "URI").empty()) {
                m_separateAudioGroups.insert(Attribute(a, "GROUP-ID"));
            }
            return true;
        }
        if (name == "#EXTINF") {
            m_bSawSegmentTag = true;
            return true;
        }
        if (name == "#EXT-X-BYTERANGE") {
            m_bPendingRange = true;
            m_pendingRange = std::string(value);
            return true;
        }
        if (name == "#EXT-X-DISCONTINUITY") {
            m_bDiscontinuity = true;
            return true;
        }
        if (name == "#EXT-X-ENDLIST") {
            m_out.endList = true;
            return true;
        }
        if (name == "#EXT-X-MEDIA-SEQUENCE") {
            if (!ParseDecimal(value, m_out.mediaSequence)) {
                return Fail("EXT-X-MEDIA-SEQUENCE is not a number");
            }
            m_nextSequence = m_out.mediaSequence;
            return true;
        }
        if (name == "#EXT-X-KEY") {
            return Key(value);
        }
        if (name == "#EXT-X-MAP") {
            return Map(value);
        }
        return true;  // tags that change nothing in the bytes we store
    }

    bool StreamInf(std::string_view value) {
        if (m_out.variants.size() >= kMaxPlaylistVariants) {
            return Fail("the playlist lists too many variants");
        }
        const Attributes a = ParseAttributes(value);
        HlsVariant variant;
        if (!ParseDecimal(Attribute(a, "BANDWIDTH"), variant.bandwidth)) {
            return Fail("EXT-X-STREAM-INF without a BANDWIDTH");
        }
        const std::string resolution = Attribute(a, "RESOLUTION");
        if (!resolution.empty() && !ParseResolution(resolution, variant.width, variant.height)) {
            return Fail("EXT-X-STREAM-INF with a broken RESOLUTION");
        }
        variant.codecs = Attribute(a, "CODECS");
        variant.audioOnly =
            resolution.empty() && !variant.codecs.empty() && CodecsNameNoVideo(variant.codecs);
        m_out.master = true;
        m_out.variants.push_back(std::move(variant));
        m_variantAudio.push_back(Attribute(a, "AUDIO"));
        m_bWantVariantUri = true;
        return true;
    }

    bool Key(std::string_view value) {
        const Attributes a = ParseAttributes(value);
        HlsKey key;
        const std::string method = Attribute(a, "METHOD");
        if (method == "NONE") {
            m_nKey = -1;
            return true;
        }
        key.method = method == "AES-128"                ? HlsKeyMethod::Aes128
                     : StartsWith(method, "SAMPLE-AES") ? HlsKeyMethod::SampleAes
                                                        : HlsKeyMethod::Other;
        key.keyFormat = Attribute(a, "KEYFORMAT");
        const std::string iv = Attribute(a, "IV");
        if (!iv.empty()) {
            if (!ParseIv(iv, key.iv)) {
                return Fail("EXT-X-KEY with a broken IV");
            }
            key.hasIv = true;
        }
        const std::string uri = Attribute(a, "URI");
        if (key.IsClearKey()) {
            if (uri.empty()) {
                return Fail("EXT-X-KEY without a URI");
            }
            if (!Resolve(uri, key.url)) {
                return false;
            }
        } else {
            key.url = uri;  // DRM: never fetched, the address is kept only as read
        }
        if (m_out.keys.size() >= kMaxPlaylistSegments) {
            return Fail("the playlist lists too many keys");
        }
        m_out.keys.push_back(std::move(key));
        m_nKey = static_cast<int>(m_out.keys.size()) - 1;
        return true;
    }

    bool Map(std::string_view value) {
        const Attributes a = ParseAttributes(value);
        HlsInit init;
        const std::string uri = Attribute(a, "URI");
        if (uri.empty()) {
            return Fail("EXT-X-MAP without a URI");
        }
        if (!Resolve(uri, init.url)) {
            return false;
        }
        const std::string range = Attribute(a, "BYTERANGE");
        if (!range.empty() && !ParseByteRange(range, 0, init.range)) {
            return Fail("EXT-X-MAP with a broken BYTERANGE");
        }
        init.key = m_nKey;
        if (m_out.inits.size() >= kMaxPlaylistSegments) {
            return Fail("the playlist lists too many initialisation sections");
        }
        m_out.inits.push_back(std::move(init));
        m_nInit = static_cast<int>(m_out.inits.size()) - 1;
        return true;
    }

    bool Address(std::string_view line) {
        if (m_bWantVariantUri) {
            m_bWantVariantUri = false;
            return Resolve(line, m_out.variants.back().url);
        }
        if (!m_bSawSegmentTag) {
            return Fail("a segment address without EXTINF");
        }
        if (m_out.segments.size() >= kMaxPlaylistSegments) {
            return Fail("the playlist lists too many segments");
        }
        HlsSegment segment;
        if (!Resolve(line, segment.url)) {
            return false;
        }
        if (m_bPendingRange) {
            const std::uint64_t previousEnd = segment.url == m_previousUrl ? m_previousRangeEnd : 0;
            if (!ParseByteRange(m_pendingRange, previousEnd, segment.range)) {
                return Fail("EXT-X-BYTERANGE is broken");
            }
            m_previousRangeEnd = segment.range.offset + segment.range.length;
        } else {
            m_previousRangeEnd = 0;
        }
        m_previousUrl = segment.url;
        segment.sequence = m_nextSequence++;
        segment.discontinuity = m_bDiscontinuity;
        segment.key = m_nKey;
        segment.init = m_nInit;
        m_out.segments.push_back(std::move(segment));
        m_bSawSegmentTag = m_bPendingRange = m_bDiscontinuity = false;
        return true;
    }

    const std::string& m_base;
    HlsPlaylist& m_out;
    bool m_bWantVariantUri = false;
    bool m_bSawSegmentTag = false;
    bool m_bPendingRange = false;
    bool m_bDiscontinuity = false;
    std::string m_pendingRange;
    std::string m_previousUrl;
    std::uint64_t m_previousRangeEnd = 0;
    std::uint64_t m_nextSequence = 0;
    int m_nKey = -1;
    int m_nInit = -1;
    std::vector<std::string> m_variantAudio;
    std::set<std::string> m_separateAudioGroups;
};

}  // namespace

bool HlsKey::IsClearKey() const {
    return method == HlsKeyMethod::Aes128 && (keyFormat.empty() || keyFormat == "identity");
}

HlsPlaylist ParseHlsPlaylist(const std::string& text, const std::string& baseUrl) {
    HlsPlaylist out;
    if (text.size() > kMaxPlaylistBytes) {
        out.error = "the playlist is too large";
        return out;
    }
    std::string_view rest(text);
    if (StartsWith(rest, "\xEF\xBB\xBF")) {
        rest.remove_prefix(3);
    }
    if (!StartsWith(rest, "#EXTM3U")) {
        out.error = "not an HLS playlist";
        return out;
    }
    Reader reader(baseUrl, out);
    while (!rest.empty()) {
        const std::size_t newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (!reader.Line(line)) {
            return out;
        }
    }
    reader.Finish();
    return out;
}

int ChooseHlsVariant(const std::vector<HlsVariant>& variants) {
    int best = -1;
    for (std::size_t i = 0; i < variants.size(); ++i) {
        const HlsVariant& v = variants[i];
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const HlsVariant& b = variants[static_cast<std::size_t>(best)];
        if (v.audioOnly != b.audioOnly) {
            if (!v.audioOnly) {
                best = static_cast<int>(i);
            }
            continue;
        }
        const std::uint64_t area = std::uint64_t{v.width} * v.height;
        const std::uint64_t bestArea = std::uint64_t{b.width} * b.height;
        if (v.bandwidth > b.bandwidth || (v.bandwidth == b.bandwidth && area > bestArea)) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

}  // namespace tamsel
