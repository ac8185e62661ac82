#pragma once
// One address a page names as possibly its video, with the evidence for it: where
// it came from, what kind of thing it is, and what is known of its quality and
// its place in the page. The finder collects these; the choice ranks them.

#include <cstddef>
#include <string>

#include "base/MediaKind.h"

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

// The height a rendition label or an address names ("720p", "1080", "hd720",
// ".../480.mp4"), 0 when none.
int HeightFromText(const std::string& text);

}  // namespace tamsel
