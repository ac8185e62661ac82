#include <gtest/gtest.h>
#include <httplib.h>
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "service/ExtractionService.h"
#include "service/SampleMedia.h"
#include "service/ServiceContract.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace {

using namespace std::chrono_literals;

// The query the service's own form sends for `pageUrl`.
std::string PageQuery(const std::string& pageUrl, const std::string& formKey) {
    return "/?url=" + httplib::detail::encode_query_param(pageUrl) + "&" + kServiceFormKeyField +
           "=" + formKey;
}

struct Link {
    std::string href;
    std::string text;
};

struct ParsedPage {
    std::vector<Link> links;
    std::vector<std::string> textInputs;  // values of text inputs inside GET forms to "/"
    std::string title;
};

std::string Prop(xmlNode* node, const char* name) {
    xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

std::string Text(xmlNode* node) {
    xmlChar* v = xmlNodeGetContent(node);
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

// Reads a page the way a browser's document does: anchors, forms, title.
void Walk(xmlNode* node, bool inForm, ParsedPage& page) {
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) {
            continue;
        }
        const std::string name = reinterpret_cast<const char*>(node->name);
        bool form = inForm;
        if (name == "a" && xmlHasProp(node, reinterpret_cast<const xmlChar*>("href"))) {
            page.links.push_back({Prop(node, "href"), Text(node)});
        } else if (name == "form") {
            form = Prop(node, "method") == "get" && Prop(node, "action") == "/";
        } else if (name == "input" && inForm && Prop(node, "type") == "text" &&
                   Prop(node, "name") == "url") {
            page.textInputs.push_back(Prop(node, "value"));
        } else if (name == "title") {
            page.title = Text(node);
        }
        Walk(node->children, form, page);
    }
}

ParsedPage Parse(const std::string& html) {
    ParsedPage page;
    xmlDoc* doc = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                                 HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (doc != nullptr) {
        Walk(xmlDocGetRootElement(doc), false, page);
        xmlFreeDoc(doc);
    }
    return page;
}

std::string TrimmedAddress(const std::string& address) {
    return address.find("://") == std::string::npos ? "http://" + address : address;
}

std::vector<std::string> DownloadLinks(const ParsedPage& page) {
    std::vector<std::string> hrefs;
    for (const Link& link : page.links) {
        if (link.text.find("Download") != std::string::npos) {
            hrefs.push_back(link.href);
        }
    }
    return hrefs;
}

// The service on a free port, reading pages of a small local video site.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_site.ServeBytes("/watch",
                          "<html><head><title>Clip</title><meta property=\"og:video\" "
                          "content=\"/media/clip.mp4\"></head><body><video "
                          "src=\"/media/clip.mp4\"></video><a href=\"/media/other.flv\">more</a>"
                          "</body></html>",
                          "text/html");
        m_site.ServeBytes("/novideo", "<html><title>Nothing</title><p>text</p></html>",
                          "text/html");
        m_site.ServeStatus("/gone", 404, "<title>Gone</title><video src=\"/x.mp4\">");
        m_site.ServeBytes("/direct", testsupport::MakeTestBytes(4096), "video/x-flv");
        m_site.ServeRedirect("/hop", "/watch");
        m_site.ServeRedirect("/loop", "/loop");
        m_site.ServeNoAnswer("/silent");
        m_site.ServeBytes("/tricky", "<video src='/v.mp4?\"><script>alert(1)</script>'></video>",
                          "text/html");
        m_site.ServeBytes("/huge",
                          "<video src=\"/first.mp4\"></video>" + std::string(9 << 20, ' ') +
                              "<video src=\"/past-the-limit.mp4\"></video>",
                          "text/html");
        ASSERT_TRUE(m_site.Start());

        ServiceOptions options;
        options.fetch.timeoutMs = 5000;  // generous: the machine may be busy
        options.sampleBytesPerSecond = 0;
        m_service = std::make_unique<ExtractionService>(options);
        ASSERT_TRUE(m_service->Start(0));
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_service->Port());
        m_client->set_read_timeout(10, 0);
    }

    httplib::Result Ask(const std::string& pageUrl) {
        return m_client->Get(PageQuery(pageUrl, m_service->FormKey()).c_str());
    }
    std::string Site(const std::string& path) const { return m_site.Url(path); }
    std::string Own(const std::string& path) const {
        return "http://localhost:" + std::to_string(m_service->Port()) + path;
    }

    testsupport::TestHttpServer m_site;
    std::unique_ptr<ExtractionService> m_service;
    std::unique_ptr<httplib::Client> m_client;
};

TEST_F(ServiceTest, ServesItsOwnPages) {
    const struct {
        std::string path;
        int status;
        std::string contains;
    } cases[] = {
        {"/", 200, "<form method=\"get\" action=\"/\">"},
        {"/about", 200, "Tamsel 2.0"},
        {"/health", 200, "tamsel-extractd"},
        {"/sample/", 200, "<title>Tamsel Sample Clip</title>"},
        {"/nowhere", 404, "There is no page at this address."},
    };
    for (const auto& c : cases) {
        const auto answer = m_client->Get(c.path.c_str());
        ASSERT_TRUE(answer) << c.path;
        EXPECT_EQ(answer->status, c.status) << c.path;
        EXPECT_NE(answer->body.find(c.contains), std::string::npos) << c.path;
    }
    const ParsedPage home = Parse(m_client->Get("/")->body);
    EXPECT_EQ(home.textInputs, std::vector<std::string>{""});
    EXPECT_TRUE(DownloadLinks(home).empty());
}

TEST_F(ServiceTest, HomeFormCarriesThisRunsKeyAfterTheAddressField) {
    const std::string home = m_client->Get("/")->body;
    const std::size_t url = home.find("name=\"url\"");
    const std::size_t key =
        home.find("<input type=\"hidden\" name=\"key\" value=\"" + m_service->FormKey() + "\">");
    ASSERT_NE(url, std::string::npos);
    ASSERT_NE(key, std::string::npos);
    EXPECT_LT(url, key);
    EXPECT_EQ(m_service->FormKey().size(), 32u);
    EXPECT_NE(m_service->FormKey(), ExtractionService().FormKey());
}

// A page in the user's browser may send requests to the service; without the form's
// key, or marked as coming from another site, they read nothing.
TEST_F(ServiceTest, PageReadsComeOnlyFromItsOwnForm) {
    const std::string port = std::to_string(m_service->Port());
    const std::string key = m_service->FormKey();
    const std::string target = Site("/watch");
    const struct {
        const char* what;
        std::string query;
        httplib::Headers headers;
        int status;
    } cases[] = {
        {"no key", "/?url=" + httplib::detail::encode_query_param(target), {}, 403},
        {"empty key", PageQuery(target, ""), {}, 403},
        {"wrong key", PageQuery(target, std::string(32, '0')), {}, 403},
        {"key prefix", PageQuery(target, key.substr(0, 16)), {}, 403},
        {"cross-site", PageQuery(target, key), {{"Sec-Fetch-Site", "cross-site"}}, 403},
        {"same-site", PageQuery(target, key), {{"Sec-Fetch-Site", "same-site"}}, 403},
        {"foreign origin", PageQuery(target, key), {{"Origin", "http://evil.test"}}, 403},
        {"other port's origin", PageQuery(target, key), {{"Origin", "http://127.0.0.1:1"}}, 403},
        {"null origin", PageQuery(target, key), {{"Origin", "null"}}, 403},
    };
    for (const auto& c : cases) {
        const auto answer = m_client->Get(c.query.c_str(), c.headers);
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(answer->status, c.status) << c.what;
        EXPECT_TRUE(DownloadLinks(Parse(answer->body)).empty()) << c.what;
    }
    EXPECT_EQ(m_site.Hits("/watch"), 0) << "a refused request reached the page's server";

    const struct {
        const char* what;
        httplib::Headers headers;
    } allowed[] = {
        {"plain", {}},
        {"own form in a browser", {{"Sec-Fetch-Site", "same-origin"}, {"Origin", Own("")}}},
        {"typed into the address bar", {{"Sec-Fetch-Site", "none"}}},
    };
    for (const auto& a : allowed) {
        const auto answer = m_client->Get(PageQuery(target, key).c_str(), a.headers);
        ASSERT_TRUE(answer) << a.what;
        EXPECT_EQ(answer->status, 200) << a.what;
        EXPECT_EQ(DownloadLinks(Parse(answer->body)).size(), 1u) << a.what;
    }
    EXPECT_EQ(m_site.Hits("/watch"), 3);
}

TEST_F(ServiceTest, ResultPageOffersTheMainVideoAsTheOneDownloadLinkBelowTheForm) {
    for (const char* path : {"/watch", "/hop"}) {
        const auto answer = Ask(Site(path));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 200);
        const ParsedPage page = Parse(answer->body);
        EXPECT_EQ(DownloadLinks(page), std::vector<std::string>{Site("/media/clip.mp4")});
        // The other candidate is shown, under words the program does not take.
        const bool otherShown =
            std::any_of(page.links.begin(), page.links.end(), [&](const Link& link) {
                return link.href == Site("/media/other.flv") &&
                       link.text.find("Other video") != std::string::npos;
            });
        EXPECT_TRUE(otherShown) << path;
        // The next address can be submitted from here, and the address is echoed.
        EXPECT_EQ(page.textInputs, std::vector<std::string>{Site(path)}) << path;
    }
}

TEST_F(ServiceTest, PagesWithoutMediaSayWhyWithoutDownloadLinks) {
    // Each page that could not be read is logged once, with its address.
    const struct {
        std::string address;
        int status;
        std::string reason;
        bool logged;
    } cases[] = {
        {Site("/novideo"), 200, "No video was found on this page.", false},
        {Site("/gone"), 200, "error 404", true},
        {Site("/loop"), 200, "too many redirects", true},
        {"ftp://127.0.0.1/clip.flv", 200, "http:// or https://", true},
        {"file:///etc/passwd", 200, "http:// or https://", true},
        {"   ", 200, "Type the address", false},
        {"http://bad host/", 200, "not a well-formed", true},
        {Own(PageQuery(Site("/watch"), m_service->FormKey())), 200, "error 508", true},
        {Own("/?url=" + Site("/watch")), 200, "error 403", true},
        // The page failed, not the service: a normal answer, so the task fails at once.
        {"http://127.0.0.1:1/", 200, "could not be reached", true},
        {"127.0.0.1:1/v", 200, "could not be reached", true},
    };
    for (const auto& c : cases) {
        testsupport::LogCapture log("tamsel.service");
        const auto answer = Ask(c.address);
        const std::vector<std::string> warnings = log.Warnings();
        ASSERT_EQ(warnings.size(), c.logged ? 1u : 0u) << c.address;
        if (c.logged) {
            EXPECT_NE(warnings[0].find(TrimmedAddress(c.address)), std::string::npos)
                << warnings[0];
        }
        ASSERT_TRUE(answer) << c.address;
        EXPECT_EQ(answer->status, c.status) << c.address;
        EXPECT_NE(answer->body.find(c.reason), std::string::npos) << c.address;
        const ParsedPage page = Parse(answer->body);
        EXPECT_TRUE(DownloadLinks(page).empty()) << c.address;
        EXPECT_EQ(page.textInputs.size(), 1u) << c.address;
    }
}

TEST_F(ServiceTest, AddressWithoutSchemeIsReadAsHttp) {
    std::string address = Site("/watch");
    address.erase(0, std::string("http://").size());
    const auto answer = Ask(address);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(DownloadLinks(Parse(answer->body)),
              std::vector<std::string>{Site("/media/clip.mp4")});
}

TEST_F(ServiceTest, SilentPageIsATimeout) {
    ServiceOptions options;
    options.fetch.timeoutMs = 300;
    ExtractionService impatient(options);
    ASSERT_TRUE(impatient.Start(0));
    httplib::Client client("127.0.0.1", impatient.Port());
    const auto answer = client.Get(PageQuery(Site("/silent"), impatient.FormKey()).c_str());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);  // the service answered; the page did not
    EXPECT_NE(answer->body.find("did not answer in time"), std::string::npos);
    EXPECT_TRUE(DownloadLinks(Parse(answer->body)).empty());
}

TEST_F(ServiceTest, OversizedPagesAreReadUpToTheLimit) {
    const auto answer = Ask(Site("/huge"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(DownloadLinks(Parse(answer->body)), std::vector<std::string>{Site("/first.mp4")});
}

TEST_F(ServiceTest, AnAddressAnsweringWithVideoIsItsOwnMedia) {
    const auto answer = Ask(Site("/direct"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(DownloadLinks(Parse(answer->body)), std::vector<std::string>{Site("/direct")});
}

TEST_F(ServiceTest, EchoedTextIsEscaped) {
    const std::string hostile =
        "http://127.0.0.1:1/\"><script>alert(1)</script><a href=x>Download</a>";
    const auto answer = Ask(hostile);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body.find("<script>"), std::string::npos);
    const ParsedPage page = Parse(answer->body);
    EXPECT_TRUE(DownloadLinks(page).empty());
    EXPECT_EQ(page.textInputs, std::vector<std::string>{hostile});

    const auto tricky = Ask(Site("/tricky"));
    ASSERT_TRUE(tricky);
    EXPECT_EQ(tricky->body.find("<script>"), std::string::npos);
    EXPECT_EQ(DownloadLinks(Parse(tricky->body)).size(), 1u);
}

httplib::Headers ManyHeaders(int count, std::size_t size) {
    httplib::Headers headers;
    for (int i = 0; i < count; ++i) {
        headers.emplace("X-H" + std::to_string(i), std::string(size, 'v'));
    }
    return headers;
}

TEST_F(ServiceTest, RefusesWhatItDoesNotServe) {
    const std::string port = std::to_string(m_service->Port());
    const struct {
        const char* what;
        std::string method;
        httplib::Headers headers;
        std::string body;
        int status;
    } cases[] = {
        {"own name", "GET", {{"Host", "localhost:" + port}}, "", 200},
        {"foreign host", "GET", {{"Host", "evil.test"}}, "", 403},
        {"own address on another port", "GET", {{"Host", "127.0.0.1:1"}}, "", 403},
        {"post", "POST", {}, "url=x", 405},
        {"put", "PUT", {}, "x", 405},
        {"delete", "DELETE", {}, "", 405},
        {"get with a body", "GET", {{"Content-Length", "3"}}, "abc", 413},
        {"one oversized header", "GET", {{"X-Big", std::string(20000, 'h')}}, "", 400},
        {"many headers", "GET", ManyHeaders(40, 1000), "", 431},
    };
    for (const auto& c : cases) {
        httplib::Request req;
        req.method = c.method;
        req.path = "/";
        req.headers = c.headers;
        req.body = c.body;
        httplib::Client client("127.0.0.1", m_service->Port());
        const auto answer = client.send(req);
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(answer->status, c.status) << c.what;
    }
}

TEST_F(ServiceTest, SampleClipIsWhatItsPageAnnounces) {
    const auto result = Ask(Own("/sample/"));
    ASSERT_TRUE(result);
    const std::vector<std::string> media = DownloadLinks(Parse(result->body));
    ASSERT_EQ(media, std::vector<std::string>{Own("/sample/tamsel-sample.flv")});

    const auto head = m_client->Head("/sample/tamsel-sample.flv");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(kSampleMediaLength));
    EXPECT_EQ(head->get_header_value("Content-Type"), "video/x-flv");

    const auto clip = m_client->Get("/sample/tamsel-sample.flv");
    ASSERT_TRUE(clip);
    ASSERT_EQ(clip->body.size(), kSampleMediaLength);
    EXPECT_EQ(clip->body.compare(0, 4, "FLV\x01"), 0);

    // A resumed download gets the same bytes from the middle on.
    const auto part =
        m_client->Get("/sample/tamsel-sample.flv", {{"Range", "bytes=1000000-1000999"}});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->body, clip->body.substr(1000000, 1000));
}

TEST(ExtractionService, OnePortOneServiceAndStopEndsStreamsInFlight) {
    ExtractionService first;  // paced like the program's own
    ASSERT_TRUE(first.Start(0));
    const int port = first.Port();
    EXPECT_TRUE(IsServiceRunningOn(port));

    ExtractionService second;
    EXPECT_FALSE(second.Start(port));
    EXPECT_EQ(second.Port(), 0);

    testsupport::TestHttpServer other;
    other.ServeStatus("/health", 200, "something else");
    ASSERT_TRUE(other.Start());
    EXPECT_FALSE(IsServiceRunningOn(other.Port()));

    // A paced 32 MiB stream is in flight when the service stops.
    auto download = std::async(std::launch::async, [port] {
        httplib::Client client("127.0.0.1", port);
        const auto answer = client.Get("/sample/tamsel-sample.flv");
        return answer ? answer->body.size() : std::size_t{0};
    });
    std::this_thread::sleep_for(200ms);
    const auto stopStarted = std::chrono::steady_clock::now();
    first.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopStarted, 5s);
    EXPECT_LT(download.get(), kSampleMediaLength);
    EXPECT_FALSE(IsServiceRunningOn(port));
    EXPECT_TRUE(second.Start(port));
}

}  // namespace
