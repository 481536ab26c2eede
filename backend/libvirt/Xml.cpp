#include "Xml.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>

namespace bx::lv {

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
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
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

struct XmlDoc::Impl {
    xmlDocPtr doc = nullptr;
    ~Impl() {
        if (doc)
            xmlFreeDoc(doc);
    }
};

std::optional<XmlDoc> XmlDoc::Parse(std::string_view xml) {
    auto impl = std::make_shared<Impl>();
    impl->doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!impl->doc)
        return std::nullopt;
    return XmlDoc(std::move(impl));
}

std::vector<std::string> XmlDoc::Values(const char* xpath) const {
    std::vector<std::string> values;
    xmlXPathContextPtr context = xmlXPathNewContext(m_impl->doc);
    if (!context)
        return values;
    if (xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST xpath, context)) {
        if (result->nodesetval)
            for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
                xmlChar* content = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
                values.emplace_back(content ? reinterpret_cast<const char*>(content) : "");
                xmlFree(content);
            }
        xmlXPathFreeObject(result);
    }
    xmlXPathFreeContext(context);
    return values;
}

std::string XmlDoc::Value(const char* xpath) const {
    std::vector<std::string> values = Values(xpath);
    return values.empty() ? std::string() : std::move(values.front());
}

} // namespace bx::lv
