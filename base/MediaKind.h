#pragma once
// What kind of media an address or a MIME type names: a whole file, an HLS or DASH
// stream, a player page, a picture, sound, or nothing to play. The finder ranks page
// candidates by it; the fetcher chooses the stream road by it.

#include <string>

namespace tamsel {

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

}  // namespace tamsel
