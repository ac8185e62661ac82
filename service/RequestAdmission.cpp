#include "service/RequestAdmission.h"

#include <sys/random.h>

#include <cstdint>
#include <random>

#include "base/AsciiText.h"
#include "service/ServiceContract.h"

namespace tamsel {

std::string NewFormKey() {
    unsigned char bytes[16] = {};
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled < sizeof bytes) {
        std::random_device device;  // getrandom is missing only on very old kernels
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(device());
        }
    }
    static const char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char b : bytes) {
        key += kHex[b >> 4];
        key += kHex[b & 0x0F];
    }
    return key;
}

bool FormKeyMatches(const std::string& given, const std::string& expected) {
    if (expected.empty() || given.size() != expected.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
    }
    return difference == 0;
}

std::string PageRequestRefusal(const std::string& formKey, const std::string& expectedKey,
                               const std::string& secFetchSite, const std::string& origin,
                               int port) {
    // Browsers send Sec-Fetch-Site; "same-origin" and "none" (typed or bookmarked) are ours.
    const std::string site = AsciiLower(TrimBlanks(secFetchSite));
    if (!site.empty() && site != "same-origin" && site != "none") {
        return "Requests from other web sites are not served.";
    }
    const std::string from = AsciiLower(TrimBlanks(origin));
    const std::string suffix = ":" + std::to_string(port);
    if (!from.empty() && from != "http://" + std::string(kServiceHost) + suffix &&
        from != "http://localhost" + suffix) {
        return "Requests from other web sites are not served.";
    }
    if (!FormKeyMatches(formKey, expectedKey)) {
        return "This address works only from the form on the service's home page; "
               "open the home page and submit the address there.";
    }
    return {};
}

}  // namespace tamsel
