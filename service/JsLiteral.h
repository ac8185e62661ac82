#pragma once
// A bounded, forgiving reader for JavaScript object and array literals, as pages
// write player set-ups (jwplayer(...).setup({file: '...', sources: [...]})): it
// rewrites the literal as JSON so a JSON parser can read it.

#include <cstddef>
#include <string>
#include <string_view>

namespace tamsel {

inline constexpr std::size_t kMaxLiteralBytes = 1 << 20;  // longer literals are not read
inline constexpr int kMaxLiteralDepth = 48;               // deeper nesting is not read

// The literal that opens at text[start] ('{' or '['), as JSON text; "" when it is
// not one, is cut off, or passes the bounds. Unquoted and single-quoted keys and
// strings, comments and trailing commas are accepted; values that are not data
// (functions, variables, calls) become null. `end`, when given, receives the
// position after the literal. Iterative: no recursion, however deep the input.
std::string JsLiteralToJson(std::string_view text, std::size_t start, std::size_t* end = nullptr);

}  // namespace tamsel
