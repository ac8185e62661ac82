#pragma once
// Finds the addresses of the media a web page plays.

#include <string>
#include <vector>

namespace tamsel {

// The absolute http/https media addresses in `html`, in page order without
// repeats. Looks at video and source elements, Open Graph and Twitter player meta
// tags, embed and object elements with their flash variables, JSON-LD contentUrl
// and links to files with a media extension. Relative addresses resolve against
// the page's <base href>, else `pageUrl`. Any input is safe, empty and junk too.
std::vector<std::string> FindMediaAddresses(const std::string& html, const std::string& pageUrl);

// True when the address's path (query and fragment ignored) ends in a media extension.
bool HasMediaExtension(const std::string& address);

}  // namespace tamsel
