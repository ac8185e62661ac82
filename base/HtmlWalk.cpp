#include "base/HtmlWalk.h"

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <mutex>

namespace tamsel {

HtmlTree ParseHtml(std::string_view html, const std::string& charset,
                   const std::function<bool()>& stop) {
    static std::once_flag parserReady;
    std::call_once(parserReady, [] { xmlInitParser(); });
    if (html.empty()) {
        return nullptr;
    }
    // Fed in slices, so that a caller who stops waiting is not held for a whole page
    // and no length has to fit libxml2's int.
    constexpr std::size_t kSlice = 256 * 1024;
    htmlParserCtxtPtr context =
        htmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
    if (context == nullptr) {
        return nullptr;
    }
    htmlCtxtUseOptions(
        context, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (!charset.empty()) {
        if (xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(charset.c_str())) {
            xmlSwitchToEncoding(context, handler);
        }
    }
    bool stopped = false;
    for (std::size_t offset = 0; offset < html.size(); offset += kSlice) {
        if (stop && stop()) {
            stopped = true;
            break;
        }
        const std::size_t length = std::min(kSlice, html.size() - offset);
        htmlParseChunk(context, html.data() + offset, static_cast<int>(length), 0);
    }
    htmlParseChunk(context, nullptr, 0, 1);
    HtmlTree tree(context->myDoc);
    context->myDoc = nullptr;
    htmlFreeParserCtxt(context);
    if (stopped) {
        tree.reset();
    }
    return tree;
}

xmlNode* HtmlRoot(const HtmlTree& tree) {
    return tree ? xmlDocGetRootElement(tree.get()) : nullptr;
}

bool IsElement(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE && node->name != nullptr &&
           xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

bool HasAttr(const xmlNode* node, const char* name) {
    return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::string Attr(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return std::string();
    }
    std::string out(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return out;
}

std::string TextContent(const xmlNode* node) {
    xmlChar* text = xmlNodeGetContent(node);
    if (text == nullptr) {
        return std::string();
    }
    std::string out(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return out;
}

}  // namespace tamsel
