// The file-association stage over arbitrary registry data.
//
// Input: one control byte, four bytes of value type (little-endian), then the
// value's data, all of it, NUL bytes included.
//   bit 0 of the control byte: the key exists;
//   bit 1: the key has a default value;
//   bit 2: code page 932, else 1252 (the platform's path cut steps by it);
//   bit 3: a value too long for the buffer leaves the buffer filled with
//          non-NUL bytes, as the platform may, rather than untouched.
// The key must be closed exactly once when it was opened; data that does not
// fit the 1023 bytes given gives the empty directory; otherwise the result is
// the directory of the text up to its first NUL, after the leading quoted part
// is kept alone. AddressSanitizer watches the reads of the buffer.
#include <optional>

#include "FuzzSupport.h"

namespace {

const size_t ControlBytes = 5;

bool IsLeadByteOf932(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// A text that begins with a quote keeps what stands between that quote and
// the next one (or the end); any other text stays whole.
std::string ReferenceStripLeadingQuotes(const std::string& text) {
    if (text.empty() || text[0] != '"') return text;
    size_t closing = text.find('"', 1);
    return text.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
}

// The platform's cut of the last name from a path: the name and the backslash
// before it go, but a root stays whole: one or two leading backslashes, and a
// drive's colon with the backslash right after it, if there is one. The path
// is walked by characters, so a trail byte 0x5C is no backslash here. Gives
// nothing when nothing would be removed.
std::optional<std::string> ReferenceRemoveFileSpec(const std::string& path, bool doubleByte) {
    std::vector<size_t> starts;  // where each character begins
    for (size_t at = 0; at < path.size();) {
        starts.push_back(at);
        at += doubleByte && IsLeadByteOf932(static_cast<unsigned char>(path[at])) && at + 1 < path.size() ? 2 : 1;
    }
    size_t kept = 0;
    size_t c = 0;
    for (int leading = 0; leading < 2 && c < starts.size() && path[starts[c]] == '\\'; ++leading) {
        kept = starts[c] + 1;
        ++c;
    }
    for (; c < starts.size(); ++c) {
        const size_t at = starts[c];
        if (path[at] == '\\') {
            kept = at;
        } else if (path[at] == ':') {
            kept = at + 1;
            // The character after the colon belongs to the root, a backslash
            // in the root included, and is not looked at as a separator.
            if (c + 1 < starts.size()) {
                if (path[starts[c + 1]] == '\\') kept = at + 2;
                ++c;
            }
        }
    }
    if (kept == path.size()) return std::nullopt;
    return path.substr(0, kept);
}

std::string ReferenceDirectoryOf(const std::string& path, bool doubleByte) {
    std::optional<std::string> directory = ReferenceRemoveFileSpec(path, doubleByte);
    if (!directory) return "";
    if (directory->empty() || static_cast<unsigned char>(directory->back()) != 0x5C) *directory += '\\';
    return *directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < ControlBytes) return 0;
    fake::ResetWorld();
    fake::World& world = fake::TheWorld();
    const unsigned char control = data[0];
    const bool keyExists = control & 1;
    const bool valueExists = control & 2;
    const bool doubleByte = control & 4;
    world.associationKeyExists = keyExists;
    world.codePage = doubleByte ? 932 : 1252;
    if (control & 8) world.moreDataFill = 'x';
    const std::string stored(reinterpret_cast<const char*>(data) + ControlBytes, size - ControlBytes);
    if (valueExists) {
        fake::RegistryValue value;
        value.type = data[1] | data[2] << 8 | data[3] << 16 | static_cast<DWORD>(data[4]) << 24;
        value.data = stored;
        world.associationDefaultValue = value;
    }

    const std::string result = Str(AssociatedRuntimeDirectory());

    ExpectList("the key is opened once, for reading values", {"1"},
               [&] {
                   std::vector<std::string> access;
                   for (REGSAM mask : world.keyAccess) access.push_back(std::to_string(mask));
                   return access;
               }());
    if (!keyExists) {
        ExpectNumber("no key was opened", 0, world.keysOpened);
        ExpectNumber("no key to close", 0, world.Count("RegCloseKey"));
        ExpectNumber("no value read without a key", 0, world.Count("RegQueryValueExA"));
        ExpectBytes("no key: the empty directory", "", result);
        return 0;
    }
    ExpectNumber("the key is opened", 1, world.keysOpened);
    ExpectNumber("the key is closed exactly once", 1, world.Count("RegCloseKey"));
    ExpectNumber("the opened key is the one closed", 1, world.keysClosed);
    // Closed at once after the one query, before the text is looked at.
    std::vector<std::string> registryCalls(world.calls.begin(),
                                           world.calls.begin() + std::min<size_t>(3, world.calls.size()));
    ExpectList("open, query, close", {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey"}, registryCalls);
    for (size_t i = 3; i < world.calls.size(); ++i) {
        ExpectBytes("after the close, only the path cut", "PathRemoveFileSpecA", world.calls[i]);
    }

    if (!valueExists || stored.size() > 1023) {
        ExpectBytes(valueExists ? "data that does not fit: the empty directory"
                                : "no default value: the empty directory",
                    "", result);
        return 0;
    }
    const std::string text = TextUpToNul(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    ExpectBytes("the directory of the registered command",
                ReferenceDirectoryOf(ReferenceStripLeadingQuotes(text), doubleByte), result);
    return 0;
}
