#include "service/JsonMedia.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>

#include "base/AsciiText.h"
#include "service/JsLiteral.h"

namespace tamsel {

namespace {

constexpr int kMaxDepth = 64;

std::string Lower(const QString& text) {
    return AsciiLower(text.toStdString());
}

// Keys under which a page keeps sound, not video (a clip's music, a podcast).
bool IsAudioKey(const std::string& key) {
    return key.find("music") != std::string::npos || key.find("audio") != std::string::npos ||
           key.find("sound") != std::string::npos || key.find("podcast") != std::string::npos;
}

bool LooksLikeAddress(const std::string& text) {
    if (text.size() < 4 || text.size() > 8192) {
        return false;
    }
    const std::string lower = AsciiLower(text.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0 ||
           (text[0] == '/' && text[1] != ' ');
}

}  // namespace

bool IsAsideKey(const std::string& key) {
    static const char* const kParts[] = {"related", "recommend", "advert",  "promo", "sponsor",
                                         "upnext",  "suggest",   "paywall", "upsell"};
    return key == "ads" || key == "ad" ||
           std::any_of(std::begin(kParts), std::end(kParts),
                       [&](const char* part) { return key.find(part) != std::string::npos; });
}

namespace {

// The kind a key alone implies for an address without a telling extension.
MediaKind KindFromKey(const std::string& key) {
    if (key == "hls" || key == "hlsurl" || key == "m3u8" || key == "hls_url" ||
        key == "hlsmanifesturl") {
        return MediaKind::kHls;
    }
    if (key == "dash" || key == "dashurl" || key == "mpd" || key == "dash_url" ||
        key == "dashmanifesturl") {
        return MediaKind::kDash;
    }
    if (key == "playaddr" || key == "playurl" || key == "downloadaddr" || key == "videourl" ||
        key == "video_url" || key == "videosrc" || key == "mp4" || key == "mp4url" ||
        key == "mp4_url" || key == "streamurl" || key == "stream_url" || key == "videofile") {
        return MediaKind::kProgressive;
    }
    return MediaKind::kUnknown;
}

bool IsAddressKey(const std::string& key) {
    return key == "file" || key == "src" || key == "url" || key == "source" || key == "publicurl" ||
           key == "contenturl" || key == "href" || key == "uri";
}

std::string StringField(const QJsonObject& object, std::initializer_list<const char*> keys) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = Lower(it.key());
        for (const char* want : keys) {
            if (key == want) {
                if (it.value().isString()) {
                    return it.value().toString().toStdString();
                }
                if (it.value().isDouble()) {
                    return std::to_string(static_cast<long long>(it.value().toDouble()));
                }
            }
        }
    }
    return {};
}

long long NumberField(const QJsonObject& object, std::initializer_list<const char*> keys) {
    const std::string text = StringField(object, keys);
    long long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > (1LL << 40)) {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

bool IsVideoObject(const QJsonObject& object) {
    const QJsonValue type = object.value("@type");
    if (type.isString()) {
        return type.toString() == "VideoObject";
    }
    if (type.isArray()) {
        const QJsonArray types = type.toArray();
        return std::any_of(types.begin(), types.end(),
                           [](const QJsonValue& t) { return t.toString() == "VideoObject"; });
    }
    return false;
}

struct Frame {
    QJsonValue value;
    std::string key;  // lower case; "" for array elements
    int depth = 0;
    std::size_t group = 0;
    bool aside = false;
};

class Walker {
public:
    Walker(JsonMode mode, std::size_t cap) : m_mode(mode), m_cap(cap) {}

    std::vector<JsonSighting> Run(const QJsonValue& root) {
        std::vector<Frame> stack;
        stack.push_back({root, {}, 0, NewGroup(), false});
        std::size_t visited = 0;
        while (!stack.empty() && m_found.size() < m_cap && ++visited <= kMaxJsonNodes) {
            Frame frame = std::move(stack.back());
            stack.pop_back();
            if (frame.depth >= kMaxDepth) {
                continue;
            }
            std::vector<Frame> children;
            if (frame.value.isObject()) {
                const QJsonObject object = frame.value.toObject();
                const std::size_t group = frame.key.empty() ? frame.group : NewGroup();
                Examine(object, group, frame.aside);
                for (auto it = object.begin(); it != object.end(); ++it) {
                    if (it.value().isObject() || it.value().isArray()) {
                        const std::string key = Lower(it.key());
                        if (IsAudioKey(key)) {
                            continue;
                        }
                        children.push_back({it.value(), key, frame.depth + 1, group,
                                            frame.aside || IsAsideKey(key)});
                    }
                }
            } else if (frame.value.isArray()) {
                const QJsonArray array = frame.value.toArray();
                const std::size_t group = NewGroup();  // one list of renditions or items
                for (const QJsonValue& item : array) {
                    if (item.isObject() || item.isArray()) {
                        children.push_back({item, {}, frame.depth + 1, group, frame.aside});
                    } else if (item.isString() && m_mode == JsonMode::kPlayerConfig) {
                        AddPlain(item.toString().toStdString(), frame.key, group, frame.aside);
                    }
                }
            }
            // Reversed, so that the stack hands them out in document order.
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                stack.push_back(std::move(*it));
            }
        }
        return std::move(m_found);
    }

private:
    std::size_t NewGroup() { return ++m_nGroups; }

    void Examine(const QJsonObject& object, std::size_t group, bool aside) {
        if (m_mode == JsonMode::kLinkedData) {
            if (!IsVideoObject(object)) {
                return;
            }
            const QJsonValue content = object.value("contentUrl");
            std::vector<std::string> addresses;
            if (content.isString()) {
                addresses.push_back(content.toString().toStdString());
            } else if (content.isArray()) {
                for (const QJsonValue& item : content.toArray()) {
                    if (item.isString()) {
                        addresses.push_back(item.toString().toStdString());
                    }
                }
            }
            for (const std::string& address : addresses) {
                JsonSighting s = Describe(object, address, group, aside);
                if (s.kind == MediaKind::kUnknown) {
                    s.kind = MediaKind::kProgressive;  // a VideoObject's content is the video
                }
                Keep(std::move(s));
            }
            return;
        }
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.value().isString()) {
                continue;
            }
            const std::string address = it.value().toString().toStdString();
            if (!LooksLikeAddress(address)) {
                continue;
            }
            const std::string key = Lower(it.key());
            if (IsAudioKey(key)) {
                continue;
            }
            const MediaKind byKey = KindFromKey(key);
            const MediaKind byAddress = KindFromAddress(address);
            if (byAddress == MediaKind::kUnknown && byKey == MediaKind::kUnknown &&
                !IsAddressKey(key)) {
                continue;  // "thumbnail", "poster", "link": their type does not describe them
            }
            if (byAddress != MediaKind::kUnknown && !IsVideoKind(byAddress)) {
                continue;  // a picture, a caption file, a page
            }
            JsonSighting s = Describe(object, address, group, aside || IsAsideKey(key));
            if (byAddress != MediaKind::kUnknown) {
                s.kind =
                    byAddress == MediaKind::kProgressive && IsStreamKind(byKey) ? byKey : byAddress;
            } else if (byKey != MediaKind::kUnknown) {
                s.kind = byKey;
            }
            if (IsVideoKind(s.kind)) {
                Keep(std::move(s));
            }
        }
    }

    // A string in a list: kept when its address shows a video kind.
    void AddPlain(const std::string& address, const std::string& key, std::size_t group,
                  bool aside) {
        if (!LooksLikeAddress(address)) {
            return;
        }
        JsonSighting s;
        s.address = address;
        s.kind = KindFromAddress(address);
        if (s.kind == MediaKind::kUnknown) {
            s.kind = KindFromKey(key);
        }
        s.group = group;
        s.aside = aside;
        if (IsVideoKind(s.kind)) {
            Keep(std::move(s));
        }
    }

    JsonSighting Describe(const QJsonObject& object, const std::string& address, std::size_t group,
                          bool aside) const {
        JsonSighting s;
        s.address = address;
        s.type = AsciiLower(StringField(
            object, {"type", "mimetype", "mime_type", "format", "encodingformat", "contenttype"}));
        s.kind = KindOf(address, s.type);
        s.label = StringField(object, {"label", "quality", "qualitylabel", "res", "resolution"});
        s.width = static_cast<int>(NumberField(object, {"width"}));
        s.height = static_cast<int>(NumberField(object, {"height"}));
        s.bitrate = NumberField(object, {"bitrate", "bit_rate", "averagebitrate"});
        s.group = group;
        s.aside = aside;
        return s;
    }

    void Keep(JsonSighting s) {
        if (m_found.size() < m_cap) {
            m_found.push_back(std::move(s));
        }
    }

    const JsonMode m_mode;
    const std::size_t m_cap;
    std::size_t m_nGroups = 0;
    std::vector<JsonSighting> m_found;
};

}  // namespace

std::vector<JsonSighting> FindJsonMedia(const QJsonValue& root, JsonMode mode, std::size_t cap) {
    return Walker(mode, cap).Run(root);
}

QJsonValue ParseJsonOrLiteral(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || (text[start] != '{' && text[start] != '[')) {
        return {};
    }
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (doc.isNull()) {
        const std::string json = JsLiteralToJson(text, start);
        if (json.empty()) {
            return {};
        }
        doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    }
    if (doc.isObject()) {
        return doc.object();
    }
    if (doc.isArray()) {
        return doc.array();
    }
    return {};
}

}  // namespace tamsel
