// A title format from the language file with one text in place of its %s.
#pragma once

#include <string>

// The format is the translator's text, so it is never handed to printf: the
// first "%s" takes `text`, "%%" becomes "%", any other '%' stays as it is.
std::string FormatWithText(const std::string& format, const std::string& text);
