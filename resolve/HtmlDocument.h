#pragma once
// The hidden browser's document: what a loaded page offers to the resolver, kept as
// plain data (forms with their controls, links) so it can cross threads and outlive
// the parser. Also the pure helpers behind it: parsing and the encoding of a form's
// data. Addresses resolve with base/UrlResolve.h.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tamsel {

// One <option> of a <select>.
struct CHtmlOption {
    std::string m_strValue;  // the value attribute, or the option's text when it has none
    bool m_bSelected = false;
    bool m_bDisabled = false;
};

// One control of a form: input, select, textarea or button.
class CHtmlFormElement {
public:
    std::string m_strTag;        // lower case: "input", "select", "textarea", "button"
    std::string m_strType;       // the type attribute as written ("text" for an input without one)
    std::string m_strTypeLower;  // the same, lower-cased
    std::string m_strName;
    std::string m_strValue;  // current value; for a select the first selected option's value
    bool m_bChecked = false;
    bool m_bDisabled = false;            // disabled itself or inside a disabled fieldset
    bool m_bMultiple = false;            // select only
    std::vector<CHtmlOption> m_options;  // select only

    void SetValue(const std::string& value) { m_strValue = value; }
};

class CHtmlForm {
public:
    std::string m_strName;
    std::string m_strAction;  // absolute; the page's own address when the form has no action
    std::string m_strMethod;  // "GET" or "POST"
    std::string m_strEnctype;
    std::vector<CHtmlFormElement> m_elements;  // in document order

    int get_length() const { return static_cast<int>(m_elements.size()); }
    CHtmlFormElement* item(int index);
};

// An entry of the document's links collection: an <a> or an <area> with an href.
struct CHtmlLink {
    std::string m_strHref;       // as a browser's href property gives it: absolute, or as written
                                 // when it names no web address; "" when over kMaxUrlLength
    std::string m_strInnerText;  // anchors only; white space collapsed
    bool m_bArea = false;
    std::string m_strTitle;  // the title attribute, as written
};

class CHtmlDocument {
public:
    std::string m_strUrl;      // the address the page was loaded from (after redirects)
    std::string m_strBaseUrl;  // what relative addresses resolve against (<base href> or the URL)
    std::string m_strTitle;
    std::vector<CHtmlForm> m_forms;  // in document order
    std::vector<CHtmlLink> m_links;  // in document order

    int FormCount() const { return static_cast<int>(m_forms.size()); }
    CHtmlForm* FormAt(int index);
};

// What submitting a form sends.
struct FormSubmission {
    std::string m_strUrl;
    bool m_bPost = false;
    std::string m_strBody;         // POST only
    std::string m_strContentType;  // POST only
};

// Builds the document of an HTML page loaded from pageUrl. Any bytes are accepted.
// charset is the one the server named, if any; without it the page's own
// declaration decides, and UTF-8 is assumed. stop, when given, is asked now and then
// during a long parse; once it answers true the result is incomplete and meant to be
// thrown away.
CHtmlDocument ParseHtmlDocument(const std::string& html, const std::string& pageUrl,
                                const std::string& charset = std::string(),
                                const std::function<bool()>& stop = {});

// application/x-www-form-urlencoded: names and values byte by byte, space as "+",
// letters, digits and "*-._" kept, everything else %XX; pairs joined with "&".
std::string EncodeFormData(const std::vector<std::pair<std::string, std::string>>& pairs);

// The name/value pairs a form sends when it is submitted without a clicked button.
std::vector<std::pair<std::string, std::string>> CollectFormData(const CHtmlForm& form);

// The request that submitting the form makes.
FormSubmission BuildFormSubmission(const CHtmlForm& form);

}  // namespace tamsel
