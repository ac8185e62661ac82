#pragma once
// One address a page names as possibly its video, with the evidence for it: where
// it came from, what kind of thing it is, and what is known of its quality and
// its place in the page. The finder collects these; the choice ranks them.

#include <cstddef>
#include <string>

namespace tamsel {

// Where a candidate was declared, strongest first in intent.
enum class MediaOrigin {
    kOpenGraph,     // og:video, og:video:url, og:video:secure_url
    kTwitter,       // twitter:player:stream
    kJsonLd,        // contentUrl of a VideoObject
    kVideoElement,  // <video src>, <source> inside a video
    kPlayerConfig,  // inline JSON or a JavaScript player set-up, data-* attributes
    kEmbed,         // embed/object elements and their flash variables
    kLink,          // a plain <a href> to a media file
};

enum class MediaKind {
    kUnknown,      // nothing tells; kept only when its origin says "video"
    kProgressive,  // a whole file: mp4, webm, flv, ...
    kHls,          // .m3u8 playlist
    kDash,         // .mpd manifest
    kPlayerPage,   // text/html, Flash, /embed/ pages: a player, not the media
    kImage,
    kAudio,
    kOther,  // captions, scripts, style sheets: never media
};

struct MediaCandidate {
    std::string address;                      // absolute http(s)
    MediaOrigin origin = MediaOrigin::kLink;  // the strongest of its sightings
    unsigned origins = 0;                     // one bit per MediaOrigin it was seen from
    MediaKind kind = MediaKind::kUnknown;
    std::string type;   // declared MIME type, lower case, "" when none
    std::string label;  // a rendition's name as the page gives it ("720p", "HD")
    int width = 0;
    int height = 0;
    long long bitrate = 0;
    std::size_t position = 0;  // order of discovery in the page
    std::size_t group = 0;     // candidates of one player, source list or object share it
    bool inAside = false;      // inside an ad, promo, related-video or recommendation block
    bool inLink = false;       // a video inside a link: a preview of another page
    bool background = false;   // muted, looping, autoplaying, without controls
};

// The kind a MIME type names; kUnknown when it names none.
MediaKind KindFromType(const std::string& type);
// The kind an address's path (query and fragment ignored) shows by its extension
// or shape; kUnknown when it shows none.
MediaKind KindFromAddress(const std::string& address);
// Both together: a declared type wins over the address.
MediaKind KindOf(const std::string& address, const std::string& type);

// True for kinds a person could download as a video: progressive, HLS, DASH.
inline bool IsVideoKind(MediaKind kind) {
    return kind == MediaKind::kProgressive || kind == MediaKind::kHls || kind == MediaKind::kDash;
}
inline bool IsStreamKind(MediaKind kind) {
    return kind == MediaKind::kHls || kind == MediaKind::kDash;
}

// The height a rendition label or an address names ("720p", "1080", "hd720",
// ".../480.mp4"), 0 when none.
int HeightFromText(const std::string& text);

}  // namespace tamsel
