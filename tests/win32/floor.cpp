// The floor for the bench: the least that any launcher must do to start a
// runtime that lies beside it. It asks for its module path once, walks its
// command line once (through CharNextA, as the launcher steps over
// double-byte characters), probes for sorvanti.exe beside itself once and
// starts it with WinExec, giving it the command line that the launcher gives
// for plain arguments: the runtime's path and its own, quoted, around
// -runtime, then its arguments as they came.
//
// It imports from the same six DLLs as the launcher: under Wine, loading and
// initialising user32 alone costs about as much as the rest of a process
// start, so a floor with fewer imports would flatter no launcher.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>

static const char RuntimeName[] = "sorvanti.exe";

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char self[MAX_PATH + 1] = {};
    DWORD selfLength = GetModuleFileNameA(NULL, self, MAX_PATH);
    DWORD directoryLength = selfLength;
    while (directoryLength > 0 && self[directoryLength - 1] != '\\') --directoryLength;

    // One walk: the program name ends at the first blank outside quotes, and
    // the walk goes on to the end of the line to take the arguments' length.
    const char* line = GetCommandLineA();
    const char* arguments = NULL;
    bool quoted = false;
    const char* position = line;
    for (; *position != '\0'; position = CharNextA(position)) {
        unsigned char byte = static_cast<unsigned char>(*position);
        if (byte == '"') {
            quoted = !quoted;
        } else if (byte <= ' ' && !quoted && arguments == NULL) {
            arguments = position;
        }
    }
    if (arguments == NULL) arguments = position;
    size_t argumentsLength = static_cast<size_t>(position - arguments);

    char* command = static_cast<char*>(malloc(2 * selfLength + sizeof RuntimeName + argumentsLength + 16));
    if (command == NULL) return 0;
    char* out = command;
    *out++ = '"';
    memcpy(out, self, directoryLength);
    out += directoryLength;
    memcpy(out, RuntimeName, sizeof RuntimeName);  // with its NUL: the probe's path ends here
    if (!PathFileExistsA(command + 1)) {
        // Never taken in the bench. It binds advapi32, MessageBoxA and shell32
        // the way the launcher's own fallback does.
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "svtFile\\shell\\open\\command", 0, KEY_QUERY_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegCloseKey(key);
        }
        if (MessageBoxA(NULL, "sorvanti.exe is missing. Open the download page?", "floor",
                        MB_YESNO) == IDYES) {
            ShellExecuteA(NULL, "open", "http://localhost/", "", "", SW_SHOW);
        }
        return 0;
    }
    out += sizeof RuntimeName - 1;
    static const char Switch[] = "\" -runtime \"";
    memcpy(out, Switch, sizeof Switch - 1);
    out += sizeof Switch - 1;
    memcpy(out, self, selfLength);
    out += selfLength;
    *out++ = '"';
    memcpy(out, arguments, argumentsLength);
    out[argumentsLength] = '\0';
    WinExec(command, SW_SHOW);
    return 0;
}
