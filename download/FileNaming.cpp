#include "download/FileNaming.h"

#include <pwd.h>
#include <unistd.h>

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

std::string ApplyTakenNameRule(const std::string& folder, const std::string& name) {
    std::error_code error;
    if (!std::filesystem::exists(folder + "/" + name, error)) {
        return name;
    }
    static const std::string kFrom = ".flv";
    static const std::string kTo = "[2].flv";
    std::string renamed;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = name.find(kFrom, pos)) != std::string::npos;
         pos = hit + kFrom.size()) {
        renamed.append(name, pos, hit - pos);
        renamed += kTo;
    }
    renamed.append(name, pos, std::string::npos);
    // Every ".flv" grew by three bytes; past the file system's 255 the download could
    // not even open its file, so the text before the last "[2].flv" gives way.
    static const std::size_t kMaxNameBytes = 255;
    if (renamed.size() > kMaxNameBytes && renamed.size() >= kTo.size() &&
        renamed.compare(renamed.size() - kTo.size(), kTo.size(), kTo) == 0) {
        std::size_t end = kMaxNameBytes - kTo.size();
        while (end > 0 && (static_cast<unsigned char>(renamed[end]) & 0xC0) == 0x80) {
            --end;  // never split a UTF-8 character
        }
        renamed = renamed.substr(0, end) + kTo;
    }
    return renamed;
}

}  // namespace tamsel
