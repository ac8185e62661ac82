#include "service/ServicePages.h"

#include "service/ServiceContract.h"

namespace tamsel {

namespace {

const char kStyle[] = R"(<style>
body{margin:0;font:15px/1.5 "Segoe UI",Helvetica,Arial,sans-serif;color:#1d2b3a;background:#eef4fb}
header{background:#1f6fc5;color:#fff;padding:14px 28px}
header a{color:#fff;text-decoration:none;font-weight:600;font-size:18px}
header nav{float:right}header nav a{font-size:14px;font-weight:400;margin-left:16px}
main{max-width:760px;margin:28px auto;background:#fff;border:1px solid #cfe0f3;border-radius:8px;padding:24px 28px}
h1{font-size:21px;margin:0 0 14px;color:#1f6fc5}
form{display:flex;gap:8px;margin:0 0 18px}
input[type=text]{flex:1;padding:8px 10px;border:1px solid #9cbfe4;border-radius:5px;font-size:15px}
input[type=submit]{padding:8px 18px;border:0;border-radius:5px;background:#1f6fc5;color:#fff;font-size:15px;cursor:pointer}
input[type=submit]:hover{background:#185aa1}
ol.media{padding-left:20px}ol.media li{margin:6px 0;word-break:break-all}
a.media{color:#1f6fc5;font-weight:600}
p.note{background:#f3f8fe;border-left:4px solid #1f6fc5;padding:8px 12px}
code{word-break:break-all;color:#46586b}
footer{text-align:center;color:#6b7f93;font-size:12px;margin-bottom:24px}
</style>)";

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           EscapeHtml(title) + "</title>\n" + kStyle +
           "\n</head>\n<body>\n<header><a href=\"/\">Tamsel</a><nav><a href=\"/\">Home</a>"
           "<a href=\"/about\">About</a></nav></header>\n<main>\n" +
           body +
           "</main>\n<footer>Tamsel 2.0 &middot; runs on this computer only</footer>\n"
           "</body>\n</html>\n";
}

// The key field comes after the address, so a submitted form's address still begins
// with the service's result marker ("/?url=").
std::string Form(const std::string& value, const std::string& formKey) {
    std::string form =
        "<form method=\"get\" action=\"/\">\n"
        "<input type=\"text\" name=\"url\" size=\"60\" placeholder=\"https://\" value=\"" +
        EscapeHtml(value) + "\" autofocus>\n";
    if (!formKey.empty()) {
        form += "<input type=\"hidden\" name=\"" + std::string(kServiceFormKeyField) +
                "\" value=\"" + EscapeHtml(formKey) + "\">\n";
    }
    return form + "<input type=\"submit\" value=\"Find videos\">\n</form>\n";
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string RenderHomePage(const std::string& formKey) {
    return Page("Tamsel - find the video of a page",
                "<h1>Find the video of a web page</h1>\n" + Form("", formKey) +
                    "<p>Paste the address of a page that plays a video. Tamsel looks for the "
                    "video file in that page and lists what it finds.</p>\n");
}

std::string RenderResultPage(const std::string& pageUrl, const std::vector<OfferedMedia>& media,
                             const std::string& message, const std::string& formKey) {
    std::string body = "<h1>Videos of a web page</h1>\n" + Form(pageUrl, formKey) +
                       "<p>Page: <code>" + EscapeHtml(pageUrl) + "</code></p>\n";
    if (media.empty()) {
        body += "<p class=\"note\">" + EscapeHtml(message) + "</p>\n";
    } else {
        body += "<ol class=\"media\">\n";
        for (const OfferedMedia& offer : media) {
            body += "<li><a class=\"media\" href=\"" + EscapeHtml(offer.address) + "\" title=\"" +
                    EscapeHtml(offer.title) + "\">" + EscapeHtml(offer.text) + "</a> <code>" +
                    EscapeHtml(offer.address) + "</code></li>\n";
        }
        body += "</ol>\n";
    }
    return Page("Tamsel - videos found", body);
}

std::string RenderAboutPage(const std::string& samplePageAddress, const std::string& formKey) {
    return Page(
        "About Tamsel",
        "<h1>Tamsel 2.0</h1>\n"
        "<p>Tamsel is a download manager for web video. Give it the address of a page that "
        "plays a video, and it finds the video file and saves it into a folder of your "
        "choice, named after the page's title.</p>\n"
        "<h1>How to use it</h1>\n<ol>\n"
        "<li>Copy the address of a video page in your web browser.</li>\n"
        "<li>In Tamsel choose <b>New</b> (Ctrl+N); the address is taken from the clipboard.</li>\n"
        "<li>Pick the folder to save into, and a file name if you want your own.</li>\n"
        "<li>Press OK. The task waits, finds its video and shows its progress; up to three "
        "videos load at the same time.</li>\n</ol>\n"
        "<p>This page is served by Tamsel's own extraction service, which runs on this "
        "computer only. You can also try it here:</p>\n" +
            Form("", formKey) +
            "<p>To try Tamsel without leaving this computer, give it the sample page "
            "<code>" +
            EscapeHtml(samplePageAddress) + "</code>.</p>\n");
}

std::string RenderSamplePage(const std::string& mediaAddress) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>Tamsel Sample Clip</title>\n"
           "<meta property=\"og:video\" content=\"" +
           EscapeHtml(mediaAddress) + "\">\n" + kStyle +
           "\n</head>\n<body>\n<main>\n<h1>Tamsel Sample Clip</h1>\n"
           "<video controls width=\"640\" height=\"360\">\n<source src=\"" +
           EscapeHtml(mediaAddress) +
           "\" type=\"video/x-flv\">\n</video>\n"
           "<p>A test clip of 32 MiB, served slowly so a download can be watched.</p>\n"
           "</main>\n</body>\n</html>\n";
}

std::string RenderErrorPage(int status, const std::string& message) {
    return Page("Tamsel - " + std::to_string(status),
                "<h1>" + std::to_string(status) + "</h1>\n<p>" + EscapeHtml(message) + "</p>\n");
}

}  // namespace tamsel
