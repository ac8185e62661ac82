// The libFuzzer entry of every target: FUZZ_CASE (one of the checks in FuzzCases.h) on
// every input; a broken invariant aborts. FUZZ_NAME names the target in its message.
#include <libxml/xmlerror.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzCases.h"

namespace {
void IgnoreXmlMessage(void*, const char*, ...) {}
}  // namespace

// libxml2 reports encoding trouble on stderr despite HTML_PARSE_NOERROR; at
// thousands of runs a second that is only noise.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    xmlSetGenericErrorFunc(nullptr, &IgnoreXmlMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string broken = FUZZ_CASE(input);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s: %s\n", FUZZ_NAME, broken.c_str());
        std::abort();
    }
    return 0;
}
