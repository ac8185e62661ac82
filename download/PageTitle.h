#pragma once
// Reading a video page's title and turning it into a file name.

#include <atomic>
#include <cstddef>
#include <string>

namespace tamsel {

// Bounds on one title read. The defaults are the program's; tests shorten them.
struct TitleReadLimits {
    long totalTimeoutMs = 15000;                 // whole read, connect included
    std::size_t maxLineBytes = 64 * 1024;        // longer lines are cut
    std::size_t maxTextBytes = 64 * 1024;        // collected title text
    std::size_t maxPageBytes = 2 * 1024 * 1024;  // reading stops here, like the page's end
};

// Reads the page (http or https only, redirects followed, agent "Tamsel") line by
// line and returns the lines from the one that opens the title to the one that
// closes it, joined without separator, as valid UTF-8. Empty when the page cannot
// be opened, answers with a status of 400 or above, or holds no "<title>" in its
// first 500 lines. Returns promptly once `cancel` becomes true.
std::string ReadTitleLines(const std::string& pageUrl, const std::atomic<bool>& cancel);
std::string ReadTitleLines(const std::string& pageUrl, const std::atomic<bool>& cancel,
                           const TitleReadLimits& limits);

// What ReadTitleLines returns for a page whose bytes are `page`: the same line
// collection and limits (the time limit aside), without the network.
std::string CollectTitleLines(const std::string& page, const TitleReadLimits& limits = {});

// Cuts the title out of the text ReadTitleLines returned and makes it a safe file
// name ending in ".flv": entities decoded, control and forbidden characters
// removed, hidden format characters (bidirectional controls, zero-width) dropped,
// blanks trimmed, at most 255 bytes. Never contains "/". Empty when nothing would be
// left before the extension or the name would start with a dot (a hidden file).
std::string TitleToFileName(const std::string& text);

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string ToValidUtf8(const std::string& text);

}  // namespace tamsel
