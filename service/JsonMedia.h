#pragma once
// Media addresses that JSON data names: JSON-LD (contentUrl of VideoObjects only,
// wherever they nest) and player configurations (sources lists, playAddr, mp4/hls
// fields, renditions with their sizes).

#include <QJsonValue>
#include <cstddef>
#include <string>
#include <vector>

#include "service/MediaCandidate.h"

namespace tamsel {

enum class JsonMode {
    kLinkedData,    // application/ld+json: contentUrl of VideoObjects
    kPlayerConfig,  // any other JSON a page carries
};

// What one JSON value says about an address; `address` is as written (unresolved).
struct JsonSighting {
    std::string address;
    MediaKind kind = MediaKind::kUnknown;  // from type, key and extension together
    std::string type;
    std::string label;
    int width = 0;
    int height = 0;
    long long bitrate = 0;
    std::size_t group = 0;  // local: equal for one object or one list of renditions
    bool aside = false;     // under a key such as "related" or "ads"
};

inline constexpr std::size_t kMaxJsonNodes = 200000;  // nodes visited per document

// The video addresses `root` names, in document order, at most `cap` of them.
std::vector<JsonSighting> FindJsonMedia(const QJsonValue& root, JsonMode mode, std::size_t cap);

// True for a (lower-case) key that names an ad, promo, paywall or related-items block.
bool IsAsideKey(const std::string& key);

// Parses JSON text, or failing that a JavaScript literal at its start; null on failure.
QJsonValue ParseJsonOrLiteral(const std::string& text);

}  // namespace tamsel
