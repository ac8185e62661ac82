#include "download/FileNaming.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tamsel {

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs (shell syntax: a quoted path,
// "$HOME/..." or absolute), or "" when the file or the entry is missing.
std::string DocumentsFromUserDirs(const std::string& home) {
    std::string configHome;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        configHome = xdg;
    } else {
        configHome = home + "/.config";
    }
    std::ifstream in(configHome + "/user-dirs.dirs");
    std::string line;
    static const std::string kKey = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line.compare(first, kKey.size(), kKey) != 0) {
            continue;
        }
        std::string raw = line.substr(first + kKey.size());
        const std::size_t open = raw.find('"');
        const std::size_t close = open == std::string::npos ? open : raw.rfind('"');
        if (open == std::string::npos || close <= open) {
            continue;
        }
        raw = raw.substr(open + 1, close - open - 1);
        std::string value;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size()) {
                value.push_back(raw[++i]);
            } else {
                value.push_back(raw[i]);
            }
        }
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
            value = home + value.substr(5);
        }
        if (!value.empty() && value[0] == '/') {
            return WithoutTrailingSlashes(value);
        }
    }
    return {};
}

}  // namespace

std::string MakeTimeName(const std::string& suffix) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char buffer[128] = {};
    if (localtime_r(&now, &local) == nullptr ||
        std::strftime(buffer, sizeof buffer, "%Y%m%d%H%M%S", &local) == 0) {
        buffer[0] = '\0';
    }
    return buffer + suffix;
}

std::string GetDefaultFolder() {
    const std::string home = WithoutTrailingSlashes(HomeFolder());
    if (home.empty()) {
        return {};
    }
    std::string documents = DocumentsFromUserDirs(home);
    if (documents.empty()) {
        documents = home + "/Documents";
    }
    const std::string folder = (documents == "/" ? "" : documents) + "/Vorrel";
    std::error_code ignored;
    if (!std::filesystem::exists(folder, ignored)) {
        std::filesystem::create_directories(folder, ignored);
    }
    return folder;
}

namespace {

std::string CutToBytes(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;  // never split a UTF-8 character
    }
    return text.substr(0, end);
}

bool OnDisk(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 || errno != ENOENT;
}

constexpr const char* kVideoExtensions[] = {".flv", ".mp4", ".m4v", ".webm",
                                            ".mov", ".3gp", ".ogv", ".ts"};

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

std::string NumberedName(const std::string& name, int n) {
    if (n < 2) {
        return name;
    }
    const std::size_t dot = name.rfind('.');
    const std::size_t split = dot == std::string::npos || dot == 0 ? name.size() : dot;
    const std::string tail = "[" + std::to_string(n) + "]" + name.substr(split);
    if (tail.size() >= kMaxFileNameBytes) {
        return CutToBytes(name.substr(0, split) + tail, kMaxFileNameBytes);
    }
    return CutToBytes(name.substr(0, split), kMaxFileNameBytes - tail.size()) + tail;
}

std::string PartNameFor(const std::string& name) {
    static const std::string kPart = ".part";
    return CutToBytes(name, kMaxFileNameBytes - kPart.size()) + kPart;
}

std::string ApplyTakenNameRule(const std::string& folder, const std::string& name,
                               const NameTakenByTask& taken) {
    // Bounded so a folder full of hostile names cannot keep us counting; the download
    // itself still refuses to overwrite whatever name this returns.
    constexpr int kMaxNumber = 100000;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::string candidate = name;
    for (int n = 2; n <= kMaxNumber; ++n) {
        const bool free = !OnDisk(prefix + candidate) && !OnDisk(prefix + PartNameFor(candidate)) &&
                          !(taken && taken(candidate));
        if (free) {
            break;
        }
        candidate = NumberedName(name, n);
    }
    return candidate;
}

bool IsVideoExtension(const std::string& extension) {
    const std::string lower = LowerAscii(extension);
    for (const char* known : kVideoExtensions) {
        if (lower == known) {
            return true;
        }
    }
    return false;
}

bool HasVideoExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 && IsVideoExtension(name.substr(dot));
}

std::string ExtensionFromAddress(const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    const std::size_t scheme = path.find("://");
    const std::size_t pathStart = path.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (pathStart == std::string::npos) {
        return {};
    }
    path = path.substr(pathStart);
    const std::string segment = path.substr(path.rfind('/') + 1);
    const std::size_t dot = segment.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return {};
    }
    const std::string extension = LowerAscii(segment.substr(dot));
    return IsVideoExtension(extension) ? extension : std::string();
}

std::string ExtensionFromContentType(const std::string& contentType) {
    static const struct {
        const char* type;
        const char* extension;
    } kTypes[] = {
        {"video/x-flv", ".flv"}, {"video/mp4", ".mp4"},       {"video/x-m4v", ".m4v"},
        {"video/webm", ".webm"}, {"video/quicktime", ".mov"}, {"video/3gpp", ".3gp"},
        {"video/ogg", ".ogv"},   {"video/mp2t", ".ts"},
    };
    std::string type = LowerAscii(contentType.substr(0, contentType.find(';')));
    type.erase(0, type.find_first_not_of(" \t"));
    type.erase(type.find_last_not_of(" \t") + 1);
    for (const auto& known : kTypes) {
        if (type == known.type) {
            return known.extension;
        }
    }
    return {};
}

std::string WithMediaExtension(const std::string& name, const std::string& extension) {
    static const std::string kDefault = ".flv";
    if (extension.empty() || name.size() <= kDefault.size() ||
        LowerAscii(name.substr(name.size() - kDefault.size())) != kDefault) {
        return name;
    }
    return CutToBytes(name.substr(0, name.size() - kDefault.size()),
                      kMaxFileNameBytes - extension.size()) +
           extension;
}

std::string WithContainerExtension(const std::string& name, const std::string& extension) {
    const std::string stem = HasVideoExtension(name) ? name.substr(0, name.rfind('.')) : name;
    return stem + extension;
}

}  // namespace tamsel
