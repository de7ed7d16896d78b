// Shared by the fuzz targets: byte strings shown escaped, and a check that
// stops the run with what was expected and what came, so that libFuzzer
// keeps the input as a crash reproducer.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ByteText.h"
#include "FakeWin32.h"
#include "UTypes.h"

// Long texts are cut in the report; the reproducer holds them whole.
inline std::string Shown(const std::string& bytes) {
    std::string shown = Escaped(bytes);
    return shown.size() > 2000 ? shown.substr(0, 2000) + "...(" + std::to_string(bytes.size()) + " bytes)" : shown;
}

[[noreturn]] inline void PropertyFailed(const char* what, const std::string& expected,
                                        const std::string& got) {
    fprintf(stderr, "\nPROPERTY VIOLATED: %s\n  expected: %s\n  got:      %s\n", what,
            Shown(expected).c_str(), Shown(got).c_str());
    abort();
}

inline void ExpectBytes(const char* what, const std::string& expected, const std::string& got) {
    if (expected != got) PropertyFailed(what, expected, got);
}

inline void ExpectTrue(const char* what, bool condition) {
    if (!condition) PropertyFailed(what, "true", "false");
}

inline void ExpectNumber(const char* what, long long expected, long long got) {
    if (expected != got) PropertyFailed(what, std::to_string(expected), std::to_string(got));
}

inline void ExpectList(const char* what, const std::vector<std::string>& expected,
                       const std::vector<std::string>& got) {
    if (expected == got) return;
    auto joined = [](const std::vector<std::string>& items) {
        std::string text = std::to_string(items.size()) + " items:";
        for (const std::string& item : items) text += " [" + item + "]";
        return text;
    };
    PropertyFailed(what, joined(expected), joined(got));
}

// The bytes of the input up to its first NUL, as a platform text would end.
inline std::string TextUpToNul(const uint8_t* data, size_t size) {
    const void* nul = memchr(data, 0, size);
    size_t length = nul ? static_cast<const uint8_t*>(nul) - data : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

// The runtime's path as the probe forms it from a directory: a backslash is
// added to a non-empty directory whose last byte is not 0x5C.
inline std::string ExpectedRuntimePath(const std::string& directory) {
    std::string path = directory;
    if (!path.empty() && static_cast<unsigned char>(path.back()) != 0x5C) path += '\\';
    return path + "sorvanti.exe";
}
