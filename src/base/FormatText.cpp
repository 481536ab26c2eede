#include "base/FormatText.h"

namespace base {

std::string FormatWithText(const std::string& format, const std::string& text) {
    std::string out;
    out.reserve(format.size() + text.size());
    bool used = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next == 's' && !used) {
                out += text;
                used = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace base
