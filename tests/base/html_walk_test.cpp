#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/HtmlWalk.h"

using namespace tamsel;

namespace {

std::vector<std::string> ElementNames(xmlNode* root) {
    std::vector<std::string> names;
    ForEachElement(root, [&](xmlNode* node) {
        names.emplace_back(reinterpret_cast<const char*>(node->name));
    });
    return names;
}

TEST(HtmlWalk, VisitsElementsInDocumentOrderAndStopsWhenAsked) {
    const HtmlTree tree =
        ParseHtml("<P>t<A HREF='x'>a<B>b</B></A>tail<!-- c --><I>i</I></P><p id=two>");
    xmlNode* root = HtmlRoot(tree);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ElementNames(root),
              (std::vector<std::string>{"html", "body", "p", "a", "b", "i", "p"}));

    xmlNode* anchor = nullptr;
    ForEachElement(root, [&](xmlNode* node) {
        if (IsElement(node, "A")) {
            anchor = node;
            return false;
        }
        return true;
    });
    ASSERT_NE(anchor, nullptr);
    EXPECT_TRUE(HasAttr(anchor, "href"));
    EXPECT_EQ(Attr(anchor, "href"), "x");  // the parser lower-cases attribute names
    EXPECT_EQ(Attr(anchor, "title"), "");
    EXPECT_EQ(TextContent(anchor), "ab");
    // A walk from an inner element stays inside it.
    EXPECT_EQ(ElementNames(anchor), (std::vector<std::string>{"a", "b"}));
}

TEST(HtmlWalk, SurvivesDeepNestingAndJunk) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<span>";
    }
    deep += "<video src=x>";
    const HtmlTree tree = ParseHtml(deep);
    std::size_t count = 0;
    ForEachElement(HtmlRoot(tree), [&](xmlNode*) { ++count; });
    EXPECT_GT(count, 100u);

    // Entities stay unexpanded and nothing is fetched for a DOCTYPE's system id.
    const HtmlTree hostile = ParseHtml(
        "<!DOCTYPE html SYSTEM \"http://127.0.0.1:1/x.dtd\"><p title='&bogus;'>&#0;\xff\xfe</p>");
    ASSERT_NE(HtmlRoot(hostile), nullptr);

    EXPECT_EQ(ParseHtml(""), nullptr);
    EXPECT_EQ(HtmlRoot(nullptr), nullptr);
    EXPECT_EQ(ParseHtml(std::string(1 << 20, 'x'), "", [] { return true; }), nullptr);
}

}  // namespace
