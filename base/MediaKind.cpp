#include "base/MediaKind.h"

#include <algorithm>
#include <initializer_list>

#include "base/AsciiText.h"

namespace tamsel {

namespace {

bool EndsWith(const std::string& text, const char* end) {
    const std::string e(end);
    return text.size() > e.size() && text.compare(text.size() - e.size(), e.size(), e) == 0;
}

bool EndsWithAny(const std::string& text, std::initializer_list<const char*> ends) {
    return std::any_of(ends.begin(), ends.end(), [&](const char* e) { return EndsWith(text, e); });
}

// The lower-cased path of an absolute or relative address.
std::string PathOf(const std::string& address) {
    std::string path = address.substr(0, address.find_first_of("?#"));
    const std::size_t scheme = path.find("://");
    if (scheme != std::string::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? std::string() : path.substr(slash);
    }
    return AsciiLower(path);
}

}  // namespace

MediaKind KindFromType(const std::string& rawType) {
    const std::string type = AsciiLower(TrimBlanks(rawType.substr(0, rawType.find(';'))));
    if (type.empty()) {
        return MediaKind::kUnknown;
    }
    if (type == "application/x-mpegurl" || type == "application/vnd.apple.mpegurl" ||
        type == "audio/mpegurl" || type == "audio/x-mpegurl" || type == "hls") {
        return MediaKind::kHls;
    }
    if (type == "application/dash+xml" || type == "dash") {
        return MediaKind::kDash;
    }
    if (type == "video/x-flv" || type == "video/flv") {
        return MediaKind::kProgressive;
    }
    if (type.rfind("video/", 0) == 0 || type == "mp4" || type == "mpeg4" || type == "webm") {
        return MediaKind::kProgressive;
    }
    if (type == "text/html" || type == "application/x-shockwave-flash" ||
        type == "application/xhtml+xml") {
        return MediaKind::kPlayerPage;
    }
    if (type.rfind("image/", 0) == 0) {
        return MediaKind::kImage;
    }
    if (type.rfind("audio/", 0) == 0) {
        return MediaKind::kAudio;
    }
    return MediaKind::kOther;
}

MediaKind KindFromAddress(const std::string& address) {
    const std::string path = PathOf(address);
    if (path.find("/embed/") != std::string::npos || EndsWith(path, "/embed")) {
        return MediaKind::kPlayerPage;
    }
    if (EndsWithAny(path, {".mp4", ".m4v", ".webm", ".mov", ".flv", ".f4v", ".3gp", ".ogv", ".mkv",
                           ".avi", ".wmv", ".mpg", ".mpeg", ".gifv"})) {
        return EndsWith(path, ".gifv") ? MediaKind::kPlayerPage : MediaKind::kProgressive;
    }
    if (EndsWith(path, ".m3u8") || EndsWith(path, ".m3u")) {
        return MediaKind::kHls;
    }
    if (EndsWith(path, ".mpd")) {
        return MediaKind::kDash;
    }
    if (EndsWithAny(path, {".jpg", ".jpeg", ".png", ".gif", ".webp", ".svg", ".avif", ".ico",
                           ".bmp", ".heic"})) {
        return MediaKind::kImage;
    }
    if (EndsWithAny(path, {".mp3", ".m4a", ".aac", ".ogg", ".oga", ".opus", ".wav", ".flac"})) {
        return MediaKind::kAudio;
    }
    if (EndsWithAny(path, {".swf", ".html", ".htm", ".php", ".aspx"})) {
        return MediaKind::kPlayerPage;
    }
    if (EndsWithAny(path, {".vtt", ".srt", ".js", ".css", ".json", ".xml", ".txt", ".pdf"})) {
        return MediaKind::kOther;
    }
    return MediaKind::kUnknown;
}

MediaKind KindOf(const std::string& address, const std::string& type) {
    const MediaKind byType = KindFromType(type);
    const MediaKind byAddress = KindFromAddress(address);
    if (byType == MediaKind::kUnknown || byType == MediaKind::kOther) {
        return byAddress == MediaKind::kUnknown ? byType : byAddress;
    }
    // "video/mp4" on an .m3u8 address: the address tells what a player would fetch.
    if (byType == MediaKind::kProgressive && IsStreamKind(byAddress)) {
        return byAddress;
    }
    return byType;
}

}  // namespace tamsel
