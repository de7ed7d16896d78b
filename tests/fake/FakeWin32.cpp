#include "FakeWin32.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

namespace fake {

static World* const world = new World;

World& TheWorld() { return *world; }

void ResetWorld() { *world = World(); }

int World::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

bool IsLeadByte(unsigned codePage, unsigned char byte) {
    switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    default: return false;  // the single-byte code pages, 1252 among them
    }
}

static Text TextAt(LPCSTR pointer) { return pointer ? Text(pointer) : std::nullopt; }

static void Record(const char* name) { world->calls.push_back(name); }

// A buffer-filling call as the platform makes it: the text with its NUL when
// it fits, else nothing written and the size that it needs.
static DWORD FillBuffer(const std::optional<std::string>& text, LPSTR buffer, DWORD size) {
    if (!text) return 0;
    if (text->size() + 1 > size) return static_cast<DWORD>(text->size() + 1);
    memcpy(buffer, text->c_str(), text->size() + 1);
    return static_cast<DWORD>(text->size());
}

static HKEY const AssociationKey = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));

}  // namespace fake

using namespace fake;

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    Record("GetModuleFileNameA");
    if (module != NULL || size == 0) return 0;
    const std::string& path = world->modulePath;
    if (path.size() < size) {
        memcpy(buffer, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    // Truncated: newer systems end the text with a NUL in the last byte,
    // older ones fill the buffer and leave the NUL out; both return size.
    memcpy(buffer, path.data(), size);
    if (!world->moduleNameWithoutNul) buffer[size - 1] = '\0';
    return size;
}

LPSTR GetCommandLineA() {
    Record("GetCommandLineA");
    return const_cast<LPSTR>(world->commandLine.c_str());
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    Record("GetCurrentDirectoryA");
    return FillBuffer(world->currentDirectory, buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    Record("GetWindowsDirectoryA");
    return FillBuffer(world->windowsDirectory, buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    Record("GetSystemDirectoryA");
    return FillBuffer(world->systemDirectory, buffer, size);
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    Record("GetEnvironmentVariableA");
    world->environmentSizes.push_back(size);
    for (const auto& [key, value] : world->environment) {
        if (strcasecmp(key.c_str(), name) == 0) return FillBuffer(value, buffer, size);
    }
    return 0;
}

UINT WinExec(LPCSTR commandLine, UINT show) {
    Record("WinExec");
    world->winExecs.push_back({commandLine, show});
    return world->winExecResult;
}

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY key) {
    Record("RegOpenKeyExA");
    world->keyAccess.push_back(access);
    if (root != HKEY_CLASSES_ROOT || options != 0 || !world->associationKeyExists ||
        strcasecmp(subKey, "svtFile\\shell\\open\\command") != 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    ++world->keysOpened;
    *key = AssociationKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
    Record("RegQueryValueExA");
    if (key != AssociationKey || reserved != NULL || strcmp(name, "") != 0 ||
        !world->associationDefaultValue) {
        return ERROR_FILE_NOT_FOUND;
    }
    const RegistryValue& value = *world->associationDefaultValue;
    if (type) *type = value.type;
    if (value.data.size() > *size) {
        if (world->moreDataFill && data) memset(data, *world->moreDataFill, *size);
        *size = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    memcpy(data, value.data.data(), value.data.size());
    *size = static_cast<DWORD>(value.data.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    Record("RegCloseKey");
    if (key != AssociationKey) return ERROR_FILE_NOT_FOUND;
    ++world->keysClosed;
    return ERROR_SUCCESS;
}

BOOL PathFileExistsA(LPCSTR path) {
    Record("PathFileExistsA");
    world->probedPaths.push_back(path);
    std::string full = path;
    bool relative = !(full.size() >= 2 && (full[1] == ':' || (full[0] == '\\' && full[1] == '\\')));
    if (relative && !full.empty() && world->currentDirectory) {
        std::string base = *world->currentDirectory;
        if (!base.empty() && base.back() != '\\') base += '\\';
        full = base + full;
    }
    auto found = world->paths.find(full);
    return found == world->paths.end() ? 0 : found->second;
}

// The documented cut: after the last backslash that begins a character, or
// after the root of a drive or share; double-byte characters step as units.
BOOL PathRemoveFileSpecA(LPSTR path) {
    Record("PathRemoveFileSpecA");
    char* cut = path;
    char* position = path;
    if (*position == '\\') cut = ++position;
    if (*position == '\\') cut = ++position;
    while (*position) {
        if (*position == '\\') {
            cut = position;
        } else if (*position == ':') {
            cut = ++position;
            if (*position == '\\') ++cut;
            if (!*position) break;
        }
        bool pair = IsLeadByte(world->codePage, static_cast<unsigned char>(*position)) && position[1];
        position += pair ? 2 : 1;
    }
    if (!*cut) return FALSE;
    *cut = '\0';
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    Record("MessageBoxA");
    world->messageBoxes.push_back({owner == NULL, TextAt(text), TextAt(caption), type});
    size_t shown = world->messageBoxes.size();
    return shown <= world->messageBoxAnswers.size() ? world->messageBoxAnswers[shown - 1] : 0;
}

LPSTR CharNextA(LPCSTR position) {
    ++world->charNextSteps;
    if (*position == '\0') return const_cast<LPSTR>(position);
    bool pair = IsLeadByte(world->codePage, static_cast<unsigned char>(*position)) && position[1];
    return const_cast<LPSTR>(position + (pair ? 2 : 1));
}

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, int show) {
    Record("ShellExecuteA");
    world->shellExecutes.push_back(
        {owner == NULL, TextAt(verb), TextAt(file), TextAt(parameters), TextAt(directory), show});
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(42));
}
