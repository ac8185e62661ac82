#pragma once
// Reading a result page: which of its links are the media addresses it offers.

#include <map>
#include <string>

#include "resolve/HtmlDocument.h"

namespace tamsel {

// The "Download" links of a loaded result page, each mapped to `pageUrl` (the page
// address the result belongs to). Image-map areas, links back into the service at
// `baseAddress` and redirect notices ("The document has moved here.") are not media.
std::map<std::string, std::string> CollectDownloadLinksFrom(const CHtmlDocument& document,
                                                            const std::string& pageUrl,
                                                            const std::string& baseAddress);

}  // namespace tamsel
