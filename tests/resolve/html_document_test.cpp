// The hidden browser's pure parts: the document built from a page and what a form
// sends.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/UrlResolve.h"
#include "resolve/HtmlDocument.h"

using namespace tamsel;

namespace {

const char kServicePage[] = R"(<!DOCTYPE html>
<html><head><title>  The   Service </title><base href="http://files.example/dir/"></head>
<body>
<FORM Action="go" METHOD="Post" name="f1">
  <input TYPE="TEXT" name="url" value="old">
  <input name="plain">
  <input type="hidden" name="h" value="1">
  <input type="checkbox" name="c1" checked>
  <input type="checkbox" name="c2" value="x">
  <input type="radio" name="r" value="a">
  <input type="radio" name="r" value="b" checked>
  <input type="submit" name="go" value="Go">
  <input type="text" name="off" value="d" disabled>
  <fieldset disabled><input name="inside" value="i"></fieldset>
  <select name="one"><option value="1">One<option selected>Two words</option></select>
  <select name="first"><option disabled>no<option>yes</select>
  <select name="many" multiple><option selected>a<option>b<option selected>c</select>
  <textarea name="ta">
line one
line two</textarea>
  <button name="b" value="v">Press</button>
</FORM>
<form><input name="q"></form>
<a href="video.flv">  Free
   <b>Download</b>
   <script>var x = "junk";</script> now </a>
<a name="anchor-only">no href</a>
<map><area href="/map.flv" alt="Download"></map>
<a href="">here</a>
<a href="/one">one<br>two</a>
</body></html>)";

TEST(ParseHtmlDocument, ReadsFormsWithTheirControls) {
    const CHtmlDocument doc = ParseHtmlDocument(kServicePage, "http://service.example/page?x=1");
    EXPECT_EQ(doc.m_strTitle, "The Service");
    EXPECT_EQ(doc.m_strBaseUrl, "http://files.example/dir/");
    ASSERT_EQ(doc.m_forms.size(), 2u);

    const CHtmlForm& form = doc.m_forms[0];
    EXPECT_EQ(form.m_strName, "f1");
    EXPECT_EQ(form.m_strAction, "http://files.example/dir/go");
    EXPECT_EQ(form.m_strMethod, "POST");
    EXPECT_EQ(form.m_strEnctype, "application/x-www-form-urlencoded");
    ASSERT_EQ(form.m_elements.size(), 15u);
    const auto& url = form.m_elements[0];
    EXPECT_EQ(url.m_strTag, "input");
    EXPECT_EQ(url.m_strType, "TEXT");
    EXPECT_EQ(url.m_strTypeLower, "text");
    EXPECT_EQ(url.m_strValue, "old");
    EXPECT_EQ(form.m_elements[1].m_strType, "text");  // an input without a type is a text box
    EXPECT_TRUE(form.m_elements[3].m_bChecked);
    EXPECT_EQ(form.m_elements[3].m_strValue, "on");
    EXPECT_TRUE(form.m_elements[8].m_bDisabled);
    EXPECT_TRUE(form.m_elements[9].m_bDisabled);  // inside a disabled fieldset
    EXPECT_EQ(form.m_elements[10].m_strValue, "Two words");
    EXPECT_EQ(form.m_elements[11].m_strValue, "yes");  // first option that can be chosen
    EXPECT_EQ(form.m_elements[13].m_strTag, "textarea");
    EXPECT_EQ(form.m_elements[13].m_strValue, "line one\nline two");
    EXPECT_EQ(form.m_elements[14].m_strTag, "button");
    EXPECT_EQ(form.m_elements[14].m_strTypeLower, "submit");

    // No action: the page's own address, not the base.
    EXPECT_EQ(doc.m_forms[1].m_strAction, "http://service.example/page?x=1");
    EXPECT_EQ(doc.m_forms[1].m_strMethod, "GET");
}

TEST(ParseHtmlDocument, ReadsLinksInDocumentOrder) {
    const CHtmlDocument doc = ParseHtmlDocument(kServicePage, "http://service.example/page");
    ASSERT_EQ(doc.m_links.size(), 4u);
    EXPECT_EQ(doc.m_links[0].m_strHref, "http://files.example/dir/video.flv");
    EXPECT_EQ(doc.m_links[0].m_strInnerText, "Free Download now");
    EXPECT_FALSE(doc.m_links[0].m_bArea);
    EXPECT_EQ(doc.m_links[1].m_strHref, "http://files.example/map.flv");
    EXPECT_TRUE(doc.m_links[1].m_bArea);
    EXPECT_EQ(doc.m_links[2].m_strHref, "http://files.example/dir/");  // empty href: the base
    EXPECT_EQ(doc.m_links[3].m_strInnerText, "one\ntwo");
}

TEST(ParseHtmlDocument, GivesHrefsAsABrowserDoes) {
    const std::string longHref = "/" + std::string(kMaxUrlLength, 'a');
    const std::string page =
        "<base href='javascript:x'>"
        "<a href=' javascript:void(0) '>js</a>"
        "<a href='mailto:me@example.com'>mail</a>"
        "<a href='HTTP://Example.COM:80/a/../v.flv'>abs</a>"
        "<a href='" +
        longHref +
        "'>long</a>"
        "<a href='rel.flv'>rel</a>";
    const CHtmlDocument doc = ParseHtmlDocument(page, "http://h.test/d/p");
    // A base that names no web address leaves the page's own address as the base.
    EXPECT_EQ(doc.m_strBaseUrl, "http://h.test/d/p");
    std::vector<std::string> hrefs;
    for (const auto& link : doc.m_links) {
        hrefs.push_back(link.m_strHref);
    }
    EXPECT_EQ(hrefs, (std::vector<std::string>{"javascript:void(0)", "mailto:me@example.com",
                                               "http://example.com/v.flv", "",
                                               "http://h.test/d/rel.flv"}));
}

TEST(ParseHtmlDocument, ControlsFindTheirFormInLooseMarkup) {
    const char page[] = R"(
<table><form action="/t" id="tf"><tr><td><input name="a"></td></tr></form></table>
<input name="outside" form="tf">
<input name="orphan">)";
    const CHtmlDocument doc = ParseHtmlDocument(page, "http://h/");
    ASSERT_EQ(doc.m_forms.size(), 1u);
    std::vector<std::string> names;
    for (const auto& element : doc.m_forms[0].m_elements) {
        names.push_back(element.m_strName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "outside"}));
}

TEST(ParseHtmlDocument, AcceptsAnyBytes) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) {
        deep += "<div><a href='x'>";
    }
    const std::vector<std::string> pages = {
        "",
        std::string("\0\0\xff\xfe<a href=x>Download</a>", 27),
        "<form action=<input type=text",
        "<a href=\"unterminated>Download",
        "<<<>>></a></form></html><html>",
        "plain text, no markup",
        deep,
    };
    for (const auto& page : pages) {
        const CHtmlDocument doc = ParseHtmlDocument(page, "http://h/p");
        EXPECT_EQ(doc.m_strUrl, "http://h/p");
    }
    const CHtmlDocument doc = ParseHtmlDocument("<p><a href=v.flv>Download<p>next", "http://h/p");
    ASSERT_EQ(doc.m_links.size(), 1u);
    EXPECT_EQ(doc.m_links[0].m_strHref, "http://h/v.flv");
}

TEST(ParseHtmlDocument, DecodesTheDeclaredCharset) {
    // "caf\xE9" in Latin-1 must arrive as UTF-8.
    const std::string page = "<a href='/x'>caf\xE9 Download</a>";
    const CHtmlDocument doc = ParseHtmlDocument(page, "http://h/", "iso-8859-1");
    ASSERT_EQ(doc.m_links.size(), 1u);
    EXPECT_EQ(doc.m_links[0].m_strInnerText, "caf\xC3\xA9 Download");
    // An unknown charset name falls back to the page's own rules.
    EXPECT_EQ(ParseHtmlDocument(page, "http://h/", "no-such-charset").m_links.size(), 1u);
    // Without a charset from the server, the page's own declaration counts.
    const CHtmlDocument declared = ParseHtmlDocument(
        "<html><head><meta charset='iso-8859-1'></head><body>" + page, "http://h/");
    ASSERT_EQ(declared.m_links.size(), 1u);
    EXPECT_EQ(declared.m_links[0].m_strInnerText, "caf\xC3\xA9 Download");
}

TEST(ParseHtmlDocument, ReadsLargePagesWholeAndStopsWhenAsked) {
    std::string page = "<html><body><form><input name=q></form>";
    while (page.size() < 600 * 1024) {  // several of the parser's slices
        page += "<p>filler text <a href='/f'>more</a></p>\n";
    }
    page += "<a href='/last.flv'>Download</a></body></html>";
    const CHtmlDocument whole = ParseHtmlDocument(page, "http://h/");
    ASSERT_FALSE(whole.m_links.empty());
    EXPECT_EQ(whole.m_links.back().m_strHref, "http://h/last.flv");
    EXPECT_EQ(whole.FormCount(), 1);

    int asked = 0;
    const CHtmlDocument stopped =
        ParseHtmlDocument(page, "http://h/", "", [&asked] { return ++asked > 1; });
    EXPECT_LT(stopped.m_links.size(), whole.m_links.size());
}

TEST(EncodeFormData, EncodesAsABrowserDoes) {
    const std::vector<std::pair<std::vector<std::pair<std::string, std::string>>, std::string>>
        cases = {
            {{}, ""},
            {{{"a", "b"}}, "a=b"},
            {{{"url", "http://v.example/watch?v=1&t=2"}},
             "url=http%3A%2F%2Fv.example%2Fwatch%3Fv%3D1%26t%3D2"},
            {{{"q", "two words"}, {"e", ""}}, "q=two+words&e="},
            {{{"k", "*-._~!+"}}, "k=*-._%7E%21%2B"},
            {{{"n\xC3\xA9", "\xC3\xA9"}}, "n%C3%A9=%C3%A9"},
            {{{"t", "a\nb\r\nc\rd"}}, "t=a%0D%0Ab%0D%0Ac%0D%0Ad"},
        };
    for (const auto& [pairs, expected] : cases) {
        EXPECT_EQ(EncodeFormData(pairs), expected);
    }
}

TEST(FormSubmission, SendsTheSuccessfulControls) {
    CHtmlDocument doc = ParseHtmlDocument(kServicePage, "http://service.example/page");
    CHtmlForm& form = doc.m_forms[0];
    form.item(0)->SetValue("http://v.example/a b");
    const FormSubmission post = BuildFormSubmission(form);
    EXPECT_TRUE(post.m_bPost);
    EXPECT_EQ(post.m_strUrl, "http://files.example/dir/go");
    EXPECT_EQ(post.m_strContentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(post.m_strBody,
              "url=http%3A%2F%2Fv.example%2Fa+b&plain=&h=1&c1=on&r=b&one=Two+words&first=yes"
              "&many=a&many=c&ta=line+one%0D%0Aline+two");
}

TEST(FormSubmission, GetReplacesTheQueryAndKeepsTheFragment) {
    CHtmlForm form;
    form.m_strAction = "http://h/find?old=1#top";
    form.m_strMethod = "GET";
    CHtmlFormElement input;
    input.m_strTag = "input";
    input.m_strType = input.m_strTypeLower = "text";
    input.m_strName = "url";
    input.m_strValue = "x y";
    form.m_elements.push_back(input);
    const FormSubmission get = BuildFormSubmission(form);
    EXPECT_FALSE(get.m_bPost);
    EXPECT_EQ(get.m_strUrl, "http://h/find?url=x+y#top");
    EXPECT_TRUE(get.m_strBody.empty());

    form.m_elements.clear();
    EXPECT_EQ(BuildFormSubmission(form).m_strUrl, "http://h/find?#top");
}

}  // namespace
