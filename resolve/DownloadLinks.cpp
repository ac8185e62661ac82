#include "resolve/DownloadLinks.h"

namespace tamsel {

namespace {

constexpr const char* kDownloadText = "Download";
constexpr const char* kMovedText = "The document has moved here.";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

std::map<std::string, std::string> CollectDownloadLinksFrom(const CHtmlDocument& document,
                                                            const std::string& pageUrl,
                                                            const std::string& baseAddress) {
    std::map<std::string, std::string> found;
    for (const CHtmlLink& link : document.m_links) {
        if (link.m_bArea || Contains(link.m_strHref, baseAddress) ||
            Contains(link.m_strHref, kMovedText)) {
            continue;
        }
        if (Contains(link.m_strInnerText, kDownloadText)) {
            found.emplace(link.m_strHref, pageUrl);
        }
    }
    return found;
}

}  // namespace tamsel
