#pragma once
// The HTML pages the extraction service serves. Everything echoed is escaped.

#include <string>
#include <vector>

#include "service/MediaChoice.h"

namespace tamsel {

std::string EscapeHtml(const std::string& text);

// The form page at "/". `formKey` travels in a hidden field of every form (none
// when empty); the service reads page addresses only from a form carrying it.
std::string RenderHomePage(const std::string& formKey);

// The page for "/?url=ADDRESS": the same form, then the offered links with their
// words and titles (only the first says "Download"), or `message` in plain words
// when there is none.
std::string RenderResultPage(const std::string& pageUrl, const std::vector<OfferedMedia>& media,
                             const std::string& message, const std::string& formKey = {});

// What Tamsel is and how to use it ("/about"), pointing at the sample page.
std::string RenderAboutPage(const std::string& samplePageAddress, const std::string& formKey);

// A page with a title and one video element playing `mediaAddress`.
std::string RenderSamplePage(const std::string& mediaAddress);

// A short page for errors such as 403 and 404.
std::string RenderErrorPage(int status, const std::string& message);

}  // namespace tamsel
