// A translated text that takes one string, such as a title with a name.
#pragma once

#include <string>

namespace base {

// The format is the translator's text, so it is never handed to printf: the
// first "%s" takes `text`, "%%" becomes "%", any other '%' stays as it is.
std::string FormatWithText(const std::string& format, const std::string& text);

} // namespace base
