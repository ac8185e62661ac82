#pragma once
// Finds the addresses a web page names for its video, with the evidence for each.

#include <string>
#include <vector>

#include "service/MediaCandidate.h"

namespace tamsel {

inline constexpr std::size_t kMaxCandidates = 256;  // per page; more are not collected

// Every video file or stream the page names, once each, in page order: video and
// source elements (src and lazy data-src), Open Graph and Twitter player tags
// with their declared types, JSON-LD VideoObjects, inline JSON and JavaScript
// player set-ups, data-* attributes, embed/object flash variables and links to
// media files. Images, audio, player pages, placeholders and the page's own
// address are left out. Relative addresses resolve against the page's
// <base href>, else `pageUrl`. Any input is safe, empty and junk too.
std::vector<MediaCandidate> CollectMediaCandidates(const std::string& html,
                                                   const std::string& pageUrl);

// The addresses of CollectMediaCandidates, in the same order.
std::vector<std::string> FindMediaAddresses(const std::string& html, const std::string& pageUrl);

}  // namespace tamsel
