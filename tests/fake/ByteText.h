// Byte strings as the tests show them: escaped, so that a wrong byte is
// visible in a failure. Shared by the unit tests and the fuzz targets.
#pragma once

#include <stdio.h>

#include <string>

#include "UTypes.h"

inline std::string Escaped(const std::string& bytes) {
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

inline std::string Str(const ByteString& bytes) { return std::string(bytes.CStr(), bytes.Size()); }
