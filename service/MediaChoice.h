#pragma once
// Ranks a page's media candidates and decides what the result page offers: one
// "Download" link, the main video at its best progressive quality, then the
// other renditions and candidates under other words.

#include <cstddef>
#include <string>
#include <vector>

#include "service/MediaCandidate.h"

namespace tamsel {

inline constexpr std::size_t kMaxOfferedLinks = 40;  // links on one result page

struct OfferedMedia {
    std::string address;
    std::string text;   // the link's words; only the first holds "Download"
    std::string title;  // the link's title; starts with kStreamLinkTitle for a stream
    bool stream = false;
};

// How much the evidence says this is the page's own video; higher is more.
int EvidenceScore(const MediaCandidate& candidate);

// What to offer for `candidates` (as CollectMediaCandidates gives them): empty when
// none is the page's own video; otherwise the chosen one first.
std::vector<OfferedMedia> ChooseMedia(const std::vector<MediaCandidate>& candidates);

}  // namespace tamsel
