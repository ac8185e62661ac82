// Turns a page's bytes into a CHtmlDocument with the shared HTML reader. Nothing of
// libxml2 survives the call: the document is plain data.

#include "resolve/HtmlDocument.h"

#include <algorithm>
#include <functional>
#include <map>

#include "base/AsciiText.h"
#include "base/HtmlWalk.h"
#include "base/UrlResolve.h"
#include "resolve/ResolveLog.h"

namespace tamsel {

namespace {

// White space as HTML defines it.
constexpr const char* kHtmlBlanks = " \t\n\r\f";

std::string CollapseSpaces(const std::string& s) {
    std::string out;
    bool space = false;
    for (char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            space = true;
            continue;
        }
        if (space && !out.empty()) {
            out += ' ';
        }
        space = false;
        out += c;
    }
    return out;
}

bool IsBlockElement(const xmlNode* node) {
    static const char* const kBlocks[] = {"p",  "div", "li", "tr",         "table",  "ul", "ol",
                                          "h1", "h2",  "h3", "h4",         "h5",     "h6", "pre",
                                          "dl", "dt",  "dd", "blockquote", "section"};
    for (const char* name : kBlocks) {
        if (IsElement(node, name)) {
            return true;
        }
    }
    return false;
}

// Roughly what a browser's innerText gives: text of the descendants, runs of white
// space as one space, line breaks at <br> and block boundaries, no script or style.
std::string InnerText(xmlNode* root) {
    std::string raw;
    xmlNode* node = root->children;
    while (node != nullptr && node != root) {
        bool descend = false;
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr) {
                // Line breaks in the source are white space; '\n' in raw marks real breaks.
                for (const char* c = reinterpret_cast<const char*>(node->content); *c; ++c) {
                    raw += (*c == '\n' || *c == '\r') ? ' ' : *c;
                }
            }
        } else if (node->type == XML_ELEMENT_NODE) {
            if (IsElement(node, "br")) {
                raw += '\n';
            } else if (!IsElement(node, "script") && !IsElement(node, "style")) {
                if (IsBlockElement(node)) {
                    raw += '\n';
                }
                descend = node->children != nullptr;
            }
        }
        if (descend) {
            node = node->children;
            continue;
        }
        while (node != root && node->next == nullptr) {
            node = node->parent;
            if (node != root && IsBlockElement(node)) {
                raw += '\n';
            }
        }
        if (node == root) {
            break;
        }
        node = node->next;
    }
    // Collapse each line on its own, then drop empty lines.
    std::string out;
    size_t start = 0;
    while (start <= raw.size()) {
        size_t end = raw.find('\n', start);
        if (end == std::string::npos) {
            end = raw.size();
        }
        const std::string line = CollapseSpaces(raw.substr(start, end - start));
        if (!line.empty()) {
            if (!out.empty()) {
                out += '\n';
            }
            out += line;
        }
        start = end + 1;
    }
    return out;
}

bool IsFormControl(const xmlNode* node) {
    return IsElement(node, "input") || IsElement(node, "select") || IsElement(node, "textarea") ||
           IsElement(node, "button");
}

// A control is disabled by its own attribute or by an enclosing disabled fieldset.
bool IsDisabled(const xmlNode* node) {
    for (const xmlNode* n = node; n != nullptr; n = n->parent) {
        if (n->type != XML_ELEMENT_NODE) {
            continue;
        }
        if ((n == node || IsElement(n, "fieldset")) && HasAttr(n, "disabled")) {
            return true;
        }
    }
    return false;
}

void ReadSelect(xmlNode* select, CHtmlFormElement& element) {
    element.m_bMultiple = HasAttr(select, "multiple");
    ForEachElement(select, [&](xmlNode* node) {
        if (!IsElement(node, "option")) {
            return;
        }
        CHtmlOption option;
        option.m_strValue =
            HasAttr(node, "value") ? Attr(node, "value") : CollapseSpaces(TextContent(node));
        option.m_bSelected = HasAttr(node, "selected");
        option.m_bDisabled = HasAttr(node, "disabled") || (IsElement(node->parent, "optgroup") &&
                                                           HasAttr(node->parent, "disabled"));
        element.m_options.push_back(option);
    });
    if (!element.m_bMultiple) {
        // A single-choice list shows one option: the last one marked, else the first usable one.
        auto last = std::find_if(element.m_options.rbegin(), element.m_options.rend(),
                                 [](const CHtmlOption& o) { return o.m_bSelected; });
        for (auto& option : element.m_options) {
            option.m_bSelected = false;
        }
        if (last != element.m_options.rend()) {
            last->m_bSelected = true;
        } else {
            auto usable = std::find_if(element.m_options.begin(), element.m_options.end(),
                                       [](const CHtmlOption& o) { return !o.m_bDisabled; });
            if (usable != element.m_options.end()) {
                usable->m_bSelected = true;
            }
        }
    }
    for (const auto& option : element.m_options) {
        if (option.m_bSelected) {
            element.m_strValue = option.m_strValue;
            break;
        }
    }
}

CHtmlFormElement ReadControl(xmlNode* node) {
    CHtmlFormElement element;
    element.m_strTag = AsciiLower(reinterpret_cast<const char*>(node->name));
    element.m_strName = Attr(node, "name");
    element.m_bDisabled = IsDisabled(node);
    if (element.m_strTag == "input") {
        element.m_strType = HasAttr(node, "type") ? Attr(node, "type") : "text";
        element.m_strTypeLower = AsciiLower(element.m_strType);
        element.m_bChecked = HasAttr(node, "checked");
        const bool checkable =
            element.m_strTypeLower == "checkbox" || element.m_strTypeLower == "radio";
        element.m_strValue = HasAttr(node, "value") ? Attr(node, "value") : (checkable ? "on" : "");
    } else if (element.m_strTag == "button") {
        element.m_strType = HasAttr(node, "type") ? Attr(node, "type") : "submit";
        element.m_strTypeLower = AsciiLower(element.m_strType);
        element.m_strValue = Attr(node, "value");
    } else if (element.m_strTag == "textarea") {
        element.m_strType = element.m_strTypeLower = "textarea";
        element.m_strValue = TextContent(node);
        if (!element.m_strValue.empty() && element.m_strValue[0] == '\n') {
            element.m_strValue.erase(0, 1);
        }
    } else {
        element.m_strType = element.m_strTypeLower =
            HasAttr(node, "multiple") ? "select-multiple" : "select-one";
        ReadSelect(node, element);
    }
    return element;
}

xmlNode* EnclosingForm(xmlNode* node) {
    for (xmlNode* n = node->parent; n != nullptr; n = n->parent) {
        if (IsElement(n, "form")) {
            return n;
        }
    }
    return nullptr;
}

// Resolves the addresses a page writes, as a browser's href property gives them.
class CHrefReader {
public:
    ~CHrefReader() {
        if (m_nTooLong > 0) {
            qCDebug(lcResolve) << "dropped" << m_nTooLong << "addresses over" << kMaxUrlLength
                               << "bytes";
        }
    }

    // The address resolved; as written (trimmed) when it names no web address,
    // such as "javascript:" links; "" when it is over the length cap.
    std::string Href(const std::string& base, const std::string& written) {
        UrlFailure failure = UrlFailure::None;
        std::string resolved = ResolveUrl(base, written, &failure);
        if (failure == UrlFailure::TooLong) {
            ++m_nTooLong;
            return {};
        }
        return resolved.empty() ? TrimBlanks(written, kHtmlBlanks) : resolved;
    }

private:
    size_t m_nTooLong = 0;
};

void Build(CHtmlDocument& doc, xmlNode* root, const std::function<bool()>& stop) {
    CHrefReader hrefs;
    // The first <base href> applies to the whole page, also to links before it. One
    // that names no web address leaves the page's own address as the base.
    bool baseSeen = false;
    ForEachElement(root, [&](xmlNode* node) {
        if (!baseSeen && IsElement(node, "base") && HasAttr(node, "href")) {
            baseSeen = true;
            const std::string base = ResolveUrl(doc.m_strUrl, Attr(node, "href"));
            if (!base.empty()) {
                doc.m_strBaseUrl = base;
            }
        }
        if (IsElement(node, "title") && doc.m_strTitle.empty()) {
            doc.m_strTitle = TrimBlanks(CollapseSpaces(TextContent(node)), kHtmlBlanks);
        }
    });

    std::map<const xmlNode*, size_t> formIndex;
    std::map<std::string, size_t> formById;
    ForEachElement(root, [&](xmlNode* node) {
        if (!IsElement(node, "form")) {
            return;
        }
        CHtmlForm form;
        form.m_strName = Attr(node, "name");
        const std::string action = TrimBlanks(Attr(node, "action"), kHtmlBlanks);
        form.m_strAction = action.empty() ? doc.m_strUrl : hrefs.Href(doc.m_strBaseUrl, action);
        form.m_strMethod =
            AsciiLower(TrimBlanks(Attr(node, "method"), kHtmlBlanks)) == "post" ? "POST" : "GET";
        const std::string enctype = TrimBlanks(Attr(node, "enctype"), kHtmlBlanks);
        form.m_strEnctype =
            enctype.empty() ? "application/x-www-form-urlencoded" : AsciiLower(enctype);
        formIndex[node] = doc.m_forms.size();
        const std::string id = Attr(node, "id");
        if (!id.empty()) {
            formById.emplace(id, doc.m_forms.size());
        }
        doc.m_forms.push_back(std::move(form));
    });

    size_t visited = 0;
    ForEachElement(root, [&](xmlNode* node) {
        if (stop && ++visited % 4096 == 0 && stop()) {
            return false;  // the caller gave up; the rest is not worth reading
        }
        if (IsFormControl(node)) {
            // The form attribute names the owner explicitly; otherwise the enclosing form.
            const std::string owner = Attr(node, "form");
            size_t index = SIZE_MAX;
            if (!owner.empty()) {
                auto it = formById.find(owner);
                if (it != formById.end()) {
                    index = it->second;
                }
            } else if (xmlNode* form = EnclosingForm(node)) {
                index = formIndex[form];
            }
            if (index != SIZE_MAX) {
                doc.m_forms[index].m_elements.push_back(ReadControl(node));
            }
            return true;
        }
        const bool anchor = IsElement(node, "a");
        if ((anchor || IsElement(node, "area")) && HasAttr(node, "href")) {
            CHtmlLink link;
            link.m_strHref = hrefs.Href(doc.m_strBaseUrl, Attr(node, "href"));
            link.m_bArea = !anchor;
            link.m_strTitle = Attr(node, "title");
            if (anchor) {
                link.m_strInnerText = InnerText(node);
            }
            doc.m_links.push_back(std::move(link));
        }
        return true;
    });
}

}  // namespace

CHtmlFormElement* CHtmlForm::item(int index) {
    if (index < 0 || index >= get_length()) {
        return nullptr;
    }
    return &m_elements[static_cast<size_t>(index)];
}

CHtmlForm* CHtmlDocument::FormAt(int index) {
    if (index < 0 || index >= FormCount()) {
        return nullptr;
    }
    return &m_forms[static_cast<size_t>(index)];
}

CHtmlDocument ParseHtmlDocument(const std::string& html, const std::string& pageUrl,
                                const std::string& charset, const std::function<bool()>& stop) {
    CHtmlDocument doc;
    doc.m_strUrl = pageUrl;
    doc.m_strBaseUrl = pageUrl;
    const HtmlTree tree = ParseHtml(html, charset, stop);
    if (xmlNode* root = HtmlRoot(tree)) {
        Build(doc, root, stop);
    }
    return doc;
}

}  // namespace tamsel
