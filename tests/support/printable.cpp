#include "tests/support/printable.h"

#include <cstdio>

namespace gscmerge::testing {

std::string escaped(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\\':
            case '"':
                text += '\\';
                text += c;
                break;
            default:
                if (byte >= 32 && byte < 127) {
                    text += c;
                } else {
                    char hex[8];
                    std::snprintf(hex, sizeof(hex), "\\x%02x", byte);
                    text += hex;
                }
        }
    }
    return text;
}

std::string printable(std::string_view bytes) {
    return '"' + escaped(bytes) + '"';
}

}  // namespace gscmerge::testing
