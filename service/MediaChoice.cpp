#include "service/MediaChoice.h"

#include <algorithm>
#include <bitset>
#include <tuple>

#include "service/ServiceContract.h"

namespace tamsel {

namespace {

int OriginWeight(MediaOrigin origin) {
    switch (origin) {
        case MediaOrigin::kOpenGraph:
        case MediaOrigin::kJsonLd:
            return 50;
        case MediaOrigin::kTwitter:
            return 45;
        case MediaOrigin::kVideoElement:
            return 35;
        case MediaOrigin::kPlayerConfig:
            return 30;
        case MediaOrigin::kEmbed:
            return 25;
        case MediaOrigin::kLink:
            return 10;
    }
    return 0;
}

// A candidate that may be the "Download": not in an ad, promo or related block.
// A preview inside a link only ranks low: it may still be all the page has.
bool MayBeMain(const MediaCandidate& c) {
    return !c.inAside;
}

// Height first, then bitrate, then width; the label or the file name when the
// page gives no size.
std::tuple<int, long long, int> Quality(const MediaCandidate& c) {
    int height = c.height;
    if (height == 0) {
        height = HeightFromText(c.label);
    }
    if (height == 0) {
        const std::string path = c.address.substr(0, c.address.find_first_of("?#"));
        height = HeightFromText(path.substr(path.find_last_of('/') + 1));
    }
    return {height, c.bitrate, c.width};
}

std::string StreamName(MediaKind kind) {
    return kind == MediaKind::kDash ? "DASH" : "HLS";
}

std::string QualityText(const MediaCandidate& c) {
    if (!c.label.empty() && c.label.size() <= 24) {
        return c.label;
    }
    const int height = std::get<0>(Quality(c));
    if (height > 0) {
        return std::to_string(height) + "p";
    }
    return c.kind == MediaKind::kProgressive ? "file" : StreamName(c.kind) + " stream";
}

OfferedMedia Offer(const MediaCandidate& c, std::string text) {
    OfferedMedia offer;
    offer.address = c.address;
    offer.text = std::move(text);
    offer.stream = IsStreamKind(c.kind);
    offer.title = offer.stream ? std::string(kStreamLinkTitle) + " (" + StreamName(c.kind) + ")"
                               : "video file";
    return offer;
}

}  // namespace

int EvidenceScore(const MediaCandidate& c) {
    int score = OriginWeight(c.origin);
    score += 6 * (static_cast<int>(std::bitset<8>(c.origins).count()) - 1);
    if (c.inAside) {
        score -= 60;
    }
    if (c.inLink) {
        score -= 40;
    }
    if (c.background) {
        score -= 15;
    }
    return score;
}

std::vector<OfferedMedia> ChooseMedia(const std::vector<MediaCandidate>& candidates) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return EvidenceScore(candidates[a]) > EvidenceScore(candidates[b]);
    });
    const auto first = std::find_if(order.begin(), order.end(),
                                    [&](std::size_t i) { return MayBeMain(candidates[i]); });
    if (first == order.end()) {
        return {};
    }
    std::size_t chosen = *first;
    // A stream is the "Download" only when no progressive file of the page exists.
    if (IsStreamKind(candidates[chosen].kind)) {
        const MediaCandidate& stream = candidates[chosen];
        std::size_t best = candidates.size();
        for (std::size_t i : order) {
            const MediaCandidate& c = candidates[i];
            if (c.kind == MediaKind::kProgressive && MayBeMain(c) &&
                (best == candidates.size() ||
                 (c.group == stream.group && candidates[best].group != stream.group))) {
                best = i;
            }
        }
        if (best < candidates.size()) {
            chosen = best;
        }
    }
    // The best progressive rendition of the same player or source list.
    const std::size_t group = candidates[chosen].group;
    for (std::size_t i : order) {
        const MediaCandidate& c = candidates[i];
        if (c.group == group && c.kind == MediaKind::kProgressive && MayBeMain(c) &&
            candidates[chosen].kind == MediaKind::kProgressive &&
            Quality(c) > Quality(candidates[chosen])) {
            chosen = i;
        }
    }

    std::vector<OfferedMedia> offered;
    const MediaCandidate& main = candidates[chosen];
    offered.push_back(Offer(main, IsStreamKind(main.kind)
                                      ? "Download video (" + StreamName(main.kind) + " stream)"
                                      : "Download video (" + QualityText(main) + ")"));
    for (std::size_t i : order) {
        if (i == chosen || offered.size() >= kMaxOfferedLinks) {
            continue;
        }
        const MediaCandidate& c = candidates[i];
        offered.push_back(Offer(c, c.group == group ? "Other quality: " + QualityText(c)
                                                    : "Other video: " + QualityText(c)));
    }
    return offered;
}

}  // namespace tamsel
