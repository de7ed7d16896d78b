#include "TestSupport.h"

#include <stdio.h>

std::string Escaped(const std::string& bytes) {
    std::string shown;
    for (unsigned char byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown += static_cast<char>(byte);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", byte);
            shown += escape;
        }
    }
    return shown;
}
