// Key strings as test messages can show them: bytes outside printable ASCII
// (255 of the extended keys, control characters) as \xNN.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

inline std::string printable(const std::string& key) {
    std::string out;
    for (unsigned char c : key) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return "\"" + out + "\"";
}

inline std::string printable(const std::vector<std::string>& keys) {
    std::string out = "{";
    for (const std::string& key : keys) out += (out.size() > 1 ? ", " : "") + printable(key);
    return out + "}";
}
