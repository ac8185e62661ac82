// libFuzzer entry for the hidden browser's pure parts: any bytes as a page, as an
// address pair and through form submission must neither crash nor hang.

#include <cstddef>
#include <cstdint>
#include <string>

#include "resolve/HtmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string base = split == std::string::npos ? input : input.substr(0, split);
    const std::string rest = split == std::string::npos ? std::string() : input.substr(split + 1);

    ResolveHref(base, rest);
    ResolveHref("http://h/a/b?q#f", input);
    CHtmlDocument doc = ParseHtmlDocument(rest, base);
    for (CHtmlForm& form : doc.m_forms) {
        if (CHtmlFormElement* element = form.item(0)) {
            element->SetValue(base);
        }
        BuildFormSubmission(form);
    }
    return 0;
}
