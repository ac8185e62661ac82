// How long the address resolver takes on hostile lengths: a 4 MB address (over the
// cap, refused), a 60 KB one full of dot segments (resolved), and a page whose one
// link is 4 MB, read the way the hidden browser reads it.
//
//   resolve_long_address [rounds]      (default 20)
//
// Each line gives the median time of one call over the rounds.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/UrlResolve.h"
#include "bench/Median.h"
#include "resolve/HtmlDocument.h"

using namespace tamsel;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string base = "http://video.example/dir/page.html";

    const std::string huge = "http://video.example/" + std::string(4 << 20, 'a') + ".flv";
    std::size_t resultSize = 0;
    const double hugeMs =
        MedianMilliseconds(rounds, [&] { resultSize = ResolveUrl(base, huge).size(); });
    std::printf("4 MB address:                 %9.3f ms (result %zu bytes, cap %zu)\n", hugeMs,
                resultSize, kMaxUrlLength);

    std::string dotted;
    while (dotted.size() < 60 * 1024) {
        dotted += "a/./b/../../c/";
    }
    dotted += "v.flv";
    const double dottedMs =
        MedianMilliseconds(rounds, [&] { resultSize = ResolveUrl(base, dotted).size(); });
    std::printf("60 KB of dot segments:        %9.3f ms (result %zu bytes)\n", dottedMs,
                resultSize);

    const std::string page = "<a href='" + huge + "'>Download</a><a href='ok.flv'>ok</a>";
    const double pageMs = MedianMilliseconds(
        rounds, [&] { resultSize = ParseHtmlDocument(page, base).m_links.size(); });
    std::printf("page with a 4 MB link:        %9.3f ms (%zu links)\n", pageMs, resultSize);
    return 0;
}
