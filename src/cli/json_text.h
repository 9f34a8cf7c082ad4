// A JSON string literal for a UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace tavrin::cli {

[[nodiscard]] inline std::string jsonString(std::string_view utf8)
{
    std::string quoted = "\"";
    for (const char c : utf8) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                quoted += "\\u00";
                quoted += kHex[(c >> 4) & 0xF];
                quoted += kHex[c & 0xF];
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

} // namespace tavrin::cli
