#pragma once
// The checks the fuzz targets run on one input. Each returns "" when every
// invariant holds, else a description of the first one broken. The fuzz targets
// abort on a description; the hostile-input suite replays stored inputs through
// the same functions.

#include <string>

namespace fuzzcases {

// Parses a page (first byte picks the charset the server would name) and walks
// its forms and links: form data, encoding, submissions.
std::string HtmlDocument(const std::string& input);

// Parses a result page of the extraction service and reads its Download links.
std::string ResultLinks(const std::string& input);

// Collects title lines from a page, with the program's limits and small ones, and
// names a file after them.
std::string Title(const std::string& input);

// Finds media addresses in a page.
std::string MediaFinder(const std::string& input);

// The New Task dialog's address check and the address parser.
std::string TaskUrl(const std::string& input);

// Reads an HLS playlist and chooses its variant.
std::string HlsPlaylist(const std::string& input);

// The checks above by target name ("fuzz_title" ...); null for an unknown name.
using CaseFunction = std::string (*)(const std::string&);
CaseFunction CaseByTarget(const std::string& target);

}  // namespace fuzzcases
