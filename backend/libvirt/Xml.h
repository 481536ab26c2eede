// The little of XML the libvirt engine needs: escaping what it writes and
// reading values out of what the daemon answers (libxml2, no network, no
// entities).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx::lv {

std::string XmlEscape(std::string_view text);

class XmlDoc {
public:
    // nullopt when `xml` is not well-formed.
    static std::optional<XmlDoc> Parse(std::string_view xml);
    // The string values of the nodes an XPath expression selects.
    std::vector<std::string> Values(const char* xpath) const;
    std::string Value(const char* xpath) const;

private:
    struct Impl;
    explicit XmlDoc(std::shared_ptr<Impl> impl) : m_impl(std::move(impl)) {}
    std::shared_ptr<Impl> m_impl;
};

} // namespace bx::lv
