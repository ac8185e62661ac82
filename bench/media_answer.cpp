// How long the service takes to answer for a page once it has its bytes: finding
// the candidates, choosing the Download and writing the result page, on generated
// pages shaped like real video pages (a 500 KB page with a large inline JSON
// state, a player set-up, related-video previews and many links; a 4 MB page of
// nothing but scripts and links).
//
//   media_answer [rounds]      (default 30)
//
// Each line gives the median time of one answer over the rounds; the goal is
// under 20 ms for the ordinary page.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/Median.h"
#include "service/MediaChoice.h"
#include "service/MediaFinder.h"
#include "service/ServicePages.h"

using namespace tamsel;

namespace {

const char kPage[] = "https://video.example/watch/42";

std::string OrdinaryPage() {
    std::string html =
        "<html><head><meta property=\"og:video\" content=\"https://cdn.example/v/42.mp4\">"
        "<meta property=\"og:video:type\" content=\"video/mp4\">"
        "<script type=\"application/ld+json\">{\"@type\":\"VideoObject\",\"contentUrl\":"
        "\"https://cdn.example/v/42.mp4\"}</script></head><body>";
    html += "<script id=\"__NEXT_DATA__\" type=\"application/json\">{\"props\":{\"items\":[";
    for (int i = 0; i < 1500; ++i) {
        html += (i ? "," : "") + std::string("{\"id\":") + std::to_string(i) +
                ",\"title\":\"an item with some words in it\",\"thumb\":\"https:\\/\\/img."
                "example\\/t\\/" +
                std::to_string(i) + ".jpg\",\"flags\":{\"a\":true,\"b\":null}}";
    }
    html +=
        "],\"video\":{\"sources\":[{\"src\":\"https://cdn.example/v/42/720.mp4\","
        "\"type\":\"video/mp4\",\"height\":720},{\"src\":\"https://cdn.example/v/42/"
        "hls.m3u8\"}]}}}</script>";
    html +=
        "<script>jwplayer('p').setup({playlist: [{sources: [{file: "
        "'https://cdn.example/v/42/480.mp4', label: '480p'}]}], width: '100%'});</script>";
    for (int i = 0; i < 400; ++i) {
        html += "<div class=\"related\"><a href=\"/watch/" + std::to_string(i) +
                "\"><video muted loop><source src=\"https://cdn.example/p/" + std::to_string(i) +
                ".mp4\"></video><img src=\"/t/" + std::to_string(i) + ".jpg\">title " +
                std::to_string(i) + "</a></div>";
    }
    for (int i = 0; i < 2000; ++i) {
        html += "<p><a href=\"/page/" + std::to_string(i) + "\" data-track=\"x\">link</a></p>";
    }
    return html + "</body></html>";
}

std::string ScriptHeavyPage() {
    std::string html = "<html><body>";
    for (int i = 0; i < 200; ++i) {
        html += "<script>var s" + std::to_string(i) + " = {sources: [";
        for (int j = 0; j < 100; ++j) {
            html += "{file: 'https://cdn.example/" + std::to_string(i) + "/" + std::to_string(j) +
                    ".mp4'}, ";
        }
        html += "]};</script>";
    }
    html += std::string(2 << 20, ' ');
    return html + "</body></html>";
}

void Measure(const char* name, const std::string& html, int rounds) {
    std::size_t links = 0;
    const double ms = MedianMilliseconds(rounds, [&] {
        const std::vector<OfferedMedia> offered = ChooseMedia(CollectMediaCandidates(html, kPage));
        links = offered.size();
        const std::string page = RenderResultPage(kPage, offered, "none");
        if (page.empty()) {
            std::abort();
        }
    });
    std::printf("%-34s %8zu bytes  %3zu links  median %7.2f ms\n", name, html.size(), links, ms);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    Measure("ordinary video page", OrdinaryPage(), rounds);
    Measure("script-heavy page (caps)", ScriptHeavyPage(), rounds);
    return 0;
}
