// The scripted world behind the fake platform. A test sets up what exists
// (files, registry, environment, the process's own paths), runs the
// launcher's code, and reads what the code asked of the platform and did.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct RegistryValue {
    std::string data;  // the stored bytes, a terminating NUL only if the test adds one
    DWORD type = REG_SZ;
};

// An argument that a platform function received: null, or the text it pointed to.
typedef std::optional<std::string> Text;

struct MessageBoxCall {
    bool nullOwner;
    Text text;
    Text caption;
    UINT type;
};

struct ShellExecuteCall {
    bool nullOwner;
    Text verb, file, parameters, directory;
    int show;
};

struct WinExecCall {
    std::string commandLine;
    UINT show;
};

struct World {
    // What the platform answers.
    std::string modulePath = "C:\\App\\demo.exe";
    bool moduleNameWithoutNul = false;  // a full buffer without its NUL, as older systems leave it
    std::string commandLine = "\"C:\\App\\demo.exe\"";
    std::optional<std::string> currentDirectory = std::string("C:\\Work");
    std::optional<std::string> windowsDirectory = std::string("C:\\WINDOWS");
    std::optional<std::string> systemDirectory = std::string("C:\\WINDOWS\\system32");
    std::map<std::string, BOOL> paths;  // path -> what PathFileExistsA answers; absent: 0
    std::map<std::string, std::string> environment;  // names compared without regard to case
    bool associationKeyExists = false;
    std::optional<RegistryValue> associationDefaultValue;
    // A value too long for the caller's buffer leaves the buffer's content
    // undefined: when set, the query fills the whole given size with this
    // byte, so that code which reads the buffer after that failure shows it.
    std::optional<char> moreDataFill;
    unsigned codePage = 932;  // decides what CharNextA takes as one character
    std::vector<int> messageBoxAnswers;  // taken in order; 0 once they run out
    UINT winExecResult = 33;

    // What the code asked and did.
    std::vector<std::string> calls;  // every platform call by name, in order, CharNextA aside
    std::vector<std::string> probedPaths;
    std::vector<WinExecCall> winExecs;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<ShellExecuteCall> shellExecutes;
    std::vector<DWORD> environmentSizes;  // the size of each GetEnvironmentVariableA call
    std::vector<REGSAM> keyAccess;  // the access asked for at each RegOpenKeyExA
    int keysOpened = 0;
    int keysClosed = 0;
    size_t charNextSteps = 0;

    void AddFile(const std::string& path) { paths[path] = 1; }
    int Count(const std::string& call) const;
};

// The world of the running test; each test starts from a fresh one.
World& TheWorld();
void ResetWorld();

bool IsLeadByte(unsigned codePage, unsigned char byte);

}  // namespace fake
