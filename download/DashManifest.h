#pragma once
// Reads a DASH manifest (MPD) whose picture and sound come in one muxed representation
// into the list of pieces to fetch in order: SegmentTemplate ($Number$ or $Time$, with
// or without a SegmentTimeline), SegmentList, or SegmentBase / a bare BaseURL as one
// file. A manifest that keeps sound and picture apart is refused, as is a live or
// protected one.

#include <cstdint>
#include <string>
#include <vector>

#include "download/HlsPlaylist.h"

namespace tamsel {

struct DashPiece {
    std::string url;
    HlsByteRange range;  // length 0: the whole resource
};

struct DashStream {
    std::vector<DashPiece> pieces;  // initialisation first
    std::string extension;          // ".mp4", ".webm" or ".ts"
    bool live = false;
    bool protectedContent = false;
    bool split = false;  // picture and sound in separate adaptation sets
    std::string error;   // why it cannot be read otherwise; "" when fine
};

// True when `text` looks like an MPD document rather than a playlist.
bool LooksLikeDashManifest(const std::string& text);

DashStream ReadDashManifest(const std::string& text, const std::string& baseUrl);

}  // namespace tamsel
