#pragma once
// Byte-wise text helpers shared by the parsers: ASCII case folding and trimming.

#include <string>

namespace tamsel {

inline constexpr const char* kAsciiBlanks = " \t\n\v\f\r";

// A copy with A-Z folded to a-z; other bytes unchanged.
std::string AsciiLower(std::string text);
// A copy without the given blank bytes at either end.
std::string TrimBlanks(const std::string& text, const char* blanks = kAsciiBlanks);

}  // namespace tamsel
