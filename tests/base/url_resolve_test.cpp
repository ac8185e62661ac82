// The one address resolver: RFC 3986 reference resolution with a browser's habits,
// bounded cost for hostile lengths.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/UrlResolve.h"

using namespace tamsel;

namespace {

struct ResolveCase {
    std::string base;
    std::string ref;
    std::string expected;
};

void ExpectResolves(const std::vector<ResolveCase>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveUrl(c.base, c.ref), c.expected) << c.base << " + " << c.ref;
    }
}

TEST(ResolveUrl, FollowsRfc3986) {
    ExpectResolves({
        // RFC 3986 section 5.4 reference resolution examples.
        {"http://a/b/c/d;p?q", "g", "http://a/b/c/g"},
        {"http://a/b/c/d;p?q", "./g", "http://a/b/c/g"},
        {"http://a/b/c/d;p?q", "g/", "http://a/b/c/g/"},
        {"http://a/b/c/d;p?q", "/g", "http://a/g"},
        {"http://a/b/c/d;p?q", "?y", "http://a/b/c/d;p?y"},
        {"http://a/b/c/d;p?q", "g?y", "http://a/b/c/g?y"},
        {"http://a/b/c/d;p?q", "#s", "http://a/b/c/d;p?q#s"},
        {"http://a/b/c/d;p?q", "", "http://a/b/c/d;p?q"},
        {"http://a/b/c/d;p?q", "..", "http://a/b/"},
        {"http://a/b/c/d;p?q", "../..", "http://a/"},
        {"http://a/b/c/d;p?q", "../../../g", "http://a/g"},
        {"http://a/b/c/d;p?q", "/./g", "http://a/g"},
        {"http://a/b/c/d;p?q", "g;x=1/../y", "http://a/b/c/y"},
        // Network-path references and the root path a browser adds.
        {"http://a/b/c/d;p?q", "//g", "http://g/"},
        {"https://a/x", "//cdn.example/v.flv", "https://cdn.example/v.flv"},
        // The ordinary cases of a media page.
        {"http://h.test/d/p.html", "a.mp4", "http://h.test/d/a.mp4"},
        {"http://h.test/d/e/p", "../a.mp4", "http://h.test/d/a.mp4"},
        {"https://h.test:8443/d/p", "/a.mp4", "https://h.test:8443/a.mp4"},
        {"https://h.test/", "//c.test/a.mp4", "https://c.test/a.mp4"},
        {"http://h.test/d/p", "?q=1", "http://h.test/d/p?q=1"},
        {"http://h.test/", "http://x.test/a", "http://x.test/a"},
        {"http://h.test", "a.flv", "http://h.test/a.flv"},
        // The base's fragment never carries over.
        {"http://h.test/p?x#frag", "", "http://h.test/p?x"},
        {"http://h.test/p?x#frag", "q", "http://h.test/q"},
    });
}

// What a browser does with the inputs on which the program's two former resolvers
// (the hidden browser's and the service's) disagreed.
TEST(ResolveUrl, DecidesLikeABrowser) {
    const std::string page = "http://site.test/dir/page.html?x=1";
    ExpectResolves({
        {page, "\\v\\clip.flv", "http://site.test/v/clip.flv"},
        {page, "a%zzb.flv", "http://site.test/dir/a%zzb.flv"},
        {page, "http://EXAMPLE.com:80/x/../y.flv", "http://example.com/y.flv"},
        {page, "https://h.test:443/a", "https://h.test/a"},
        {page, "HTTP://Other.test/a.flv", "http://other.test/a.flv"},
        {"http://H.test:80/d/p", "a.flv", "http://h.test/d/a.flv"},
        {"HTTP://h.test/d/", "x.flv", "http://h.test/d/x.flv"},
        {page, "http://h.test", "http://h.test/"},
        {page, "//h.test:80", "http://h.test/"},
        {page, "///h.test/a.flv", "http://h.test/a.flv"},
        {page, "http:a.flv", "http://site.test/dir/a.flv"},
        {"https://site.test/", "http:h.test/a.flv", "http://h.test/a.flv"},
        {page, "a|b^c.flv", "http://site.test/dir/a|b^c.flv"},
        {page, "a.flv?\\x", "http://site.test/dir/a.flv?\\x"},
        // Where they agreed, the browser agrees too.
        {page, "%2e%2e/a.flv", "http://site.test/a.flv"},
        {page, "./a/%2E/b/.%2e/c.flv", "http://site.test/dir/a/c.flv"},
        {page, "a.flv?x=\"y\"", "http://site.test/dir/a.flv?x=%22y%22"},
        {page, "a.flv#t=1 2", "http://site.test/dir/a.flv#t=1%202"},
        {page, "a<b>{c}.flv", "http://site.test/dir/a%3Cb%3E%7Bc%7D.flv"},
        {page, "a.flv?q=a b", "http://site.test/dir/a.flv?q=a%20b"},
        // Blanks: controls and spaces at the ends, tabs and breaks anywhere.
        {page, " \x01 clip.flv \n\x7f", "http://site.test/dir/clip.flv%20%7F"},
        {page, "  g\n ", "http://site.test/dir/g"},
        {page, "x\ty\r\nz", "http://site.test/dir/xyz"},
        {page, "my file.flv", "http://site.test/dir/my%20file.flv"},
        {page,
         "a\x01"
         "b",
         "http://site.test/dir/a%01b"},
        {page, "caf\xC3\xA9?q=\xC3\xA9", "http://site.test/dir/caf%C3%A9?q=%C3%A9"},
        {"", "http://h.test/a b", "http://h.test/a%20b"},
        {"http://a/b/c", "http://h:8080/p", "http://h:8080/p"},
        // A host is percent-decoded before it is lower-cased. One in UTF-8 stays so
        // (a browser would give punycode; curl converts it when it connects).
        {"", "http://A%41b/x", "http://aab/x"},
        {"", "http://Caf\xC3\xA9.test/x", "http://caf\xC3\xA9.test/x"},
    });
}

TEST(ResolveUrl, GivesNothingThatIsNoWebAddress) {
    ExpectResolves({
        // Other schemes are not resolved: the caller keeps them as written or drops them.
        {"http://a/b/c/d;p?q", "g:h", ""},
        {"http://a/b/c", "javascript:void(0)", ""},
        {"http://a/b/c", "mailto:me@example.com", ""},
        {"http://a/b/c", "ftp://h/x.flv", ""},
        // No web base: relative references have nothing to resolve against.
        {"about:blank", "x/y", ""},
        {"", " rel ", ""},
        {"", "", ""},
        {"not a base", "a.mp4", ""},
        {"", "a.mp4", ""},
        // No host, a bad port, a host with a blank or a NUL in it.
        {"", "http://", ""},
        {"", "http:", ""},
        {"", "http://:80/", ""},
        {"", "http://user@/", ""},
        {"", "http://h:99999/", ""},
        {"", "http://h\x01x/", ""},
        {"", std::string("http://h\0.evil/", 15), ""},
        {"http://a/b", "//", ""},
    });
    UrlFailure failure = UrlFailure::None;
    EXPECT_EQ(ResolveUrl("http://a/", "mailto:x", &failure), "");
    EXPECT_EQ(failure, UrlFailure::Unresolvable);
    EXPECT_EQ(ResolveUrl("http://a/", "b", &failure), "http://a/b");
    EXPECT_EQ(failure, UrlFailure::None);
}

TEST(ResolveUrl, RefusesAddressesOverTheCap) {
    const std::string fourMegabytes = "http://h.test/" + std::string(4 << 20, 'a');
    UrlFailure failure = UrlFailure::None;
    EXPECT_EQ(ResolveUrl("", fourMegabytes, &failure), "");
    EXPECT_EQ(failure, UrlFailure::TooLong);
    EXPECT_EQ(ResolveUrl(fourMegabytes, "x", &failure), "");
    EXPECT_EQ(failure, UrlFailure::TooLong);

    // Just within the cap on the way in, but over it once encoded.
    const std::string prefix = "http://h.test/";
    const std::string blanks = prefix + std::string(kMaxUrlLength - prefix.size() - 1, ' ') + "x";
    EXPECT_EQ(ResolveUrl("", blanks, &failure), "");
    EXPECT_EQ(failure, UrlFailure::TooLong);

    const std::string atCap = prefix + std::string(kMaxUrlLength - prefix.size(), 'a');
    EXPECT_EQ(ResolveUrl("", atCap, &failure), atCap);
    EXPECT_EQ(failure, UrlFailure::None);
}

TEST(ResolveUrl, ResolvesLongDotSegmentRuns) {
    // About 60 KB of segments that climb and descend: each "a/b/../" keeps one "a".
    std::string ref = "http://h.test/";
    std::string expected = ref;
    while (ref.size() < 60 * 1024) {
        ref += "a/./b/../";
        expected += "a/";
    }
    ref += "v.flv";
    expected += "v.flv";
    EXPECT_EQ(ResolveUrl("", ref), expected);

    // Climbing far above the root stops at the root.
    std::string climb = "http://h.test/x/";
    while (climb.size() < 60 * 1024) {
        climb += "../";
    }
    EXPECT_EQ(ResolveUrl("", climb + "v.flv"), "http://h.test/v.flv");
}

TEST(ResolveUrl, SurvivesJunk) {
    const std::vector<std::string> junk = {"http://[::1",
                                           "::::",
                                           "//",
                                           "?#?#",
                                           "%",
                                           "%zz",
                                           std::string("\0\x01\xff", 3),
                                           "../../../../..",
                                           "http:",
                                           "h:/../..",
                                           "http://a/b",
                                           "http://[::1]:80/x",
                                           "http://u:p@h/",
                                           "https://\\\\h\\x",
                                           std::string(5000, '/')};
    for (const auto& base : junk) {
        for (const auto& ref : junk) {
            const std::string out = ResolveUrl(base, ref);
            // Whatever comes back is a web address that resolves to itself.
            if (!out.empty()) {
                EXPECT_TRUE(out.rfind("http://", 0) == 0 || out.rfind("https://", 0) == 0) << out;
                EXPECT_EQ(ResolveUrl("", out), out) << base << " + " << ref;
            }
        }
    }
}

}  // namespace
