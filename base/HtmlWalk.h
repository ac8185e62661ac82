#pragma once
// The one way project code reads HTML: libxml2's forgiving parser with the safe
// options, and a walk over the elements that needs no stack however deep the
// page nests.

#include <libxml/tree.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace tamsel {

struct HtmlTreeFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using HtmlTree = std::unique_ptr<xmlDoc, HtmlTreeFree>;

// Parses any bytes as HTML: recovering from errors, silent, never touching the
// network, entities left unexpanded, libxml2's default size limits kept (no
// HTML_PARSE_HUGE). charset is the one the server named, if any; without it, or
// when libxml2 does not know it, the page's own declaration decides. stop, when
// given, is asked between slices of the input; once it answers true the parse
// ends and null comes back. Null also for empty input.
HtmlTree ParseHtml(std::string_view html, const std::string& charset = std::string(),
                   const std::function<bool()>& stop = {});

// The document's root element, or null.
xmlNode* HtmlRoot(const HtmlTree& tree);

// True for an element of that name, in any case.
bool IsElement(const xmlNode* node, const char* name);
// Attribute names in lower case, as the parser stores them.
bool HasAttr(const xmlNode* node, const char* name);
// The attribute's value; "" when absent.
std::string Attr(const xmlNode* node, const char* name);
// The text of the node and all below it.
std::string TextContent(const xmlNode* node);

// Calls visit(element) for root and every element below it, in document order,
// without recursion. visit may return void, or bool where false ends the walk.
template <typename Visit>
void ForEachElement(xmlNode* root, Visit&& visit) {
    xmlNode* node = root;
    while (node != nullptr) {
        if (node->type == XML_ELEMENT_NODE) {
            if constexpr (std::is_same_v<std::invoke_result_t<Visit&, xmlNode*>, bool>) {
                if (!visit(node)) {
                    return;
                }
            } else {
                visit(node);
            }
            if (node->children != nullptr) {
                node = node->children;
                continue;
            }
        }
        while (node != root && node->next == nullptr) {
            node = node->parent;
        }
        if (node == root) {
            return;
        }
        node = node->next;
    }
}

}  // namespace tamsel
