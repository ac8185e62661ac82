// libFuzzer entry: fuzzcases::HtmlDocument on every input; a broken invariant aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzCases.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string broken = fuzzcases::HtmlDocument(input);
    if (!broken.empty()) {
        std::fprintf(stderr, "fuzz_html_document: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
