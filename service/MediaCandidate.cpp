#include "service/MediaCandidate.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "base/AsciiText.h"

namespace tamsel {

int HeightFromText(const std::string& text) {
    static const int kHeights[] = {144, 180, 240, 270, 288,  360,  404,  432,  480, 540,
                                   576, 640, 720, 900, 1080, 1200, 1440, 2160, 4320};
    const std::string lower = AsciiLower(text);
    int best = 0;
    for (std::size_t i = 0; i < lower.size();) {
        if (!std::isdigit(static_cast<unsigned char>(lower[i]))) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < lower.size() && std::isdigit(static_cast<unsigned char>(lower[j])) &&
               j - i < 6) {
            ++j;
        }
        const bool digitBefore = i > 0 && std::isdigit(static_cast<unsigned char>(lower[i - 1]));
        const bool digitAfter =
            j < lower.size() && std::isdigit(static_cast<unsigned char>(lower[j]));
        if (!digitBefore && !digitAfter && j - i <= 4) {
            const int value = std::stoi(lower.substr(i, j - i));
            if (std::find(std::begin(kHeights), std::end(kHeights), value) != std::end(kHeights)) {
                best = std::max(best, value);
            }
        }
        i = j;
        while (i < lower.size() && std::isdigit(static_cast<unsigned char>(lower[i]))) {
            ++i;
        }
    }
    return best;
}

}  // namespace tamsel
