#include "UTypes.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "Win32.h"

// ---------------------------------------------------------------------------
// ByteString

// Out of memory is not the launcher's to handle: abort() ends the process
// through the run-time support instead of writing through a null pointer.
static char* Allocate(char* old, size_t capacity) {
    char* bytes = static_cast<char*>(realloc(old, capacity + 1));
    if (bytes == NULL) abort();
    return bytes;
}

ByteString::ByteString() : bytes_(Allocate(NULL, 0)), size_(0), capacity_(0) {
    bytes_[0] = '\0';
}

ByteString::ByteString(const char* text) : ByteString(text, strlen(text)) {}

ByteString::ByteString(const char* bytes, size_t count)
    : bytes_(Allocate(NULL, count)), size_(count), capacity_(count) {
    memcpy(bytes_, bytes, count);
    bytes_[count] = '\0';
}

ByteString ByteString::Zeros(size_t count) {
    ByteString zeros;
    zeros.Reserve(count);
    memset(zeros.bytes_, 0, count + 1);
    zeros.size_ = count;
    return zeros;
}

ByteString::ByteString(const ByteString& other) : ByteString(other.bytes_, other.size_) {}

ByteString& ByteString::operator=(const ByteString& other) {
    if (this != &other) {
        size_ = 0;
        Append(other);
    }
    return *this;
}

ByteString::~ByteString() { free(bytes_); }

void ByteString::Reserve(size_t capacity) {
    if (capacity <= capacity_) return;
    bytes_ = Allocate(bytes_, capacity);
    capacity_ = capacity;
}

void ByteString::Append(const char* bytes, size_t count) {
    if (size_ + count > capacity_) {
        // The bytes may be this string's own, which growing moves.
        uintptr_t at = reinterpret_cast<uintptr_t>(bytes) - reinterpret_cast<uintptr_t>(bytes_);
        bool own = at <= size_;
        Reserve(size_ + count > 2 * capacity_ ? size_ + count : 2 * capacity_);
        if (own) bytes = bytes_ + at;
    }
    memmove(bytes_ + size_, bytes, count);
    size_ += count;
    bytes_[size_] = '\0';
}

void ByteString::Append(const char* text) { Append(text, strlen(text)); }

bool operator==(const ByteString& a, const ByteString& b) {
    return a.Size() == b.Size() && memcmp(a.CStr(), b.CStr(), a.Size()) == 0;
}

ByteString TextOfBuffer(const char* buffer, size_t count) {
    const void* nul = memchr(buffer, '\0', count);
    return ByteString(buffer, nul ? static_cast<const char*>(nul) - buffer : count);
}

// ---------------------------------------------------------------------------
// Path helpers and fixed directories

const char RuntimeExeName[] = "sorvanti.exe";

static const unsigned char Backslash = 0x5C;

// Only the last byte is looked at: a double-byte character whose trail byte is
// 0x5C counts as a backslash, as the platform's own path code sees it.
static void AppendBackslashIfMissing(ByteString& directory) {
    if (!directory.Empty() && directory.Last() != Backslash) directory.Append('\\');
}

ByteString OwnPath() {
    char buffer[261] = {};
    DWORD count = GetModuleFileNameA(NULL, buffer, sizeof buffer);
    if (count > sizeof buffer) count = sizeof buffer;
    return TextOfBuffer(buffer, count);
}

bool PathExists(const ByteString& path) { return PathFileExistsA(path.CStr()) == 1; }

ByteString DirectoryOf(const ByteString& path) {
    ByteString copy(path);  // the platform shortens its buffer in place
    if (!PathRemoveFileSpecA(copy.Bytes())) return ByteString();
    ByteString directory = TextOfBuffer(copy.CStr(), copy.Size());
    // A text shortened to nothing has no last byte and becomes a lone backslash.
    if (directory.Empty() || directory.Last() != Backslash) directory.Append('\\');
    return directory;
}

// The three fixed directories: a failed call, or a directory too long for the
// buffer, leaves the buffer unwritten and gives the empty string.
ByteString CurrentDirectory() {
    char buffer[1024 + 1] = {};
    DWORD length = GetCurrentDirectoryA(1024, buffer);
    if (length == 0 || length >= 1024) return ByteString();
    return TextOfBuffer(buffer, sizeof buffer);
}

static const UINT FixedDirectorySize = 4096;

static ByteString FixedDirectory(const char* buffer, UINT length) {
    if (length == 0 || length >= FixedDirectorySize) return ByteString();
    ByteString directory = TextOfBuffer(buffer, FixedDirectorySize + 1);
    AppendBackslashIfMissing(directory);
    return directory;
}

ByteString WindowsDirectory() {
    char buffer[FixedDirectorySize + 1] = {};
    return FixedDirectory(buffer, GetWindowsDirectoryA(buffer, FixedDirectorySize));
}

ByteString SystemDirectory() {
    char buffer[FixedDirectorySize + 1] = {};
    return FixedDirectory(buffer, GetSystemDirectoryA(buffer, FixedDirectorySize));
}

ByteString ParentOfOwnDirectory() {
    ByteString own = DirectoryOf(OwnPath());
    // Positions counted from 1: look from n - 1 down to 2, never at the own
    // directory's final backslash nor at its first byte.
    size_t n = own.Size();
    for (size_t k = n > 0 ? n - 1 : 0; k >= 2; --k) {
        if (own.At(k - 1) == Backslash) return ByteString(own.CStr(), k);
    }
    return ByteString();
}

// ---------------------------------------------------------------------------
// The launcher's command line

static const unsigned char Quote = 0x22;

static bool IsSeparator(unsigned char byte) { return byte != 0 && byte <= 0x20; }

// Takes one character, as CharNextA delimits it, onto the argument.
static void TakeCharacter(const char*& position, ByteString& argument) {
    const char* next = CharNextA(position);
    argument.Append(position, next - position);
    position = next;
}

ByteString NextArgument(const char*& position) {
    for (;;) {
        while (IsSeparator(static_cast<unsigned char>(*position))) position = CharNextA(position);
        if (position[0] == '"' && position[1] == '"') {
            position += 2;
            continue;
        }
        break;
    }
    ByteString argument;
    while (static_cast<unsigned char>(*position) > 0x20) {
        if (static_cast<unsigned char>(*position) != Quote) {
            TakeCharacter(position, argument);
            continue;
        }
        ++position;
        while (*position != '\0' && static_cast<unsigned char>(*position) != Quote) {
            TakeCharacter(position, argument);
        }
        if (*position != '\0') ++position;
    }
    return argument;
}

// Every argument after the program name, up to the first empty one, which
// only the end of the line gives.
int ArgumentCount() {
    const char* position = GetCommandLineA();
    NextArgument(position);
    int count = 0;
    while (!NextArgument(position).Empty()) ++count;
    return count;
}

ByteString ArgumentAt(int index) {
    const char* position = GetCommandLineA();
    NextArgument(position);
    ByteString argument;
    for (int i = 1; i <= index; ++i) {
        argument = NextArgument(position);
        if (argument.Empty()) break;
    }
    return argument;
}

// ---------------------------------------------------------------------------
// The probe

static void AppendArgument(ByteString& commandLine, const ByteString& argument) {
    bool quoted = memchr(argument.CStr(), ' ', argument.Size()) != NULL;
    commandLine.Append(' ');
    if (quoted) commandLine.Append('"');
    commandLine.Append(argument);
    if (quoted) commandLine.Append('"');
}

// The command line does not change during a run, so one walk over it cuts the
// same arguments that ArgumentCount and ArgumentAt give, in linear time.
ByteString LaunchCommandLine(const ByteString& runtimePath, const ByteString& ownPath,
                             const char* commandLine) {
    static const char RuntimeSwitch[] = "\" -runtime \"";
    ByteString result;
    // Each argument grows by at most three bytes on the way, and only when it
    // came with at least one quote or separator: twice the line is enough.
    result.Reserve(runtimePath.Size() + ownPath.Size() + sizeof RuntimeSwitch + 2 +
                   2 * strlen(commandLine));
    result.Append('"');
    result.Append(runtimePath);
    result.Append(RuntimeSwitch);
    result.Append(ownPath);
    result.Append('"');

    const char* position = commandLine;
    NextArgument(position);  // the program name
    for (;;) {
        ByteString argument = NextArgument(position);
        if (argument.Empty()) break;
        AppendArgument(result, argument);
    }
    return result;
}

StillMissing TryLaunchFrom(ByteString directory) {
    AppendBackslashIfMissing(directory);
    ByteString runtimePath = directory;
    runtimePath.Append(RuntimeExeName);
    if (!PathExists(runtimePath)) return true;

    const ByteString ownPath = OwnPath();
    const ByteString commandLine = LaunchCommandLine(runtimePath, ownPath, GetCommandLineA());
    WinExec(commandLine.CStr(), SW_SHOW);  // a failed start still ends the search
    return false;
}

// ---------------------------------------------------------------------------
// Stage 7: the file association

// Keeps the path of a command that begins with a quoted path; anything else
// is left whole.
static void StripLeadingQuotes(ByteString& text) {
    if (text.Empty() || text.At(0) != Quote) return;
    const char* start = text.CStr() + 1;
    const void* closing = memchr(start, '"', text.Size() - 1);
    size_t length = closing ? static_cast<const char*>(closing) - start : text.Size() - 1;
    text = ByteString(start, length);
}

ByteString AssociatedRuntimeDirectory() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "svtFile\\shell\\open\\command", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return ByteString();
    }
    char buffer[1024] = {};
    DWORD size = 1023;
    DWORD type;
    LONG status = RegQueryValueExA(key, "", NULL, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return ByteString();

    // Data stored without its NUL ends with what the query returned.
    ByteString text = TextOfBuffer(buffer, size < 1023 ? size : 1023);
    StripLeadingQuotes(text);
    return DirectoryOf(text);
}

// ---------------------------------------------------------------------------
// Stage 8: the search path

// The lead bytes of Shift_JIS, fixed here rather than asked of the platform.
static bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF);
}

bool MatchesAt(const char* a, const char* b, int count) {
    for (int i = 0; i < count; ++i) {
        if (a[i] == '\0' || b[i] == '\0' || a[i] != b[i]) return false;
    }
    return true;
}

void NextToken(const ByteString& delimiter, const char*& cursor, ByteString& token) {
    token = ByteString();
    int n = static_cast<int>(delimiter.Size());
    while (*cursor != '\0') {
        if (MatchesAt(delimiter.CStr(), cursor, n)) {
            cursor += n;
            return;
        }
        size_t width = IsLeadByte(static_cast<unsigned char>(*cursor)) && cursor[1] != '\0' ? 2 : 1;
        token.Append(cursor, width);
        cursor += width;
    }
}

// Reads the whole value, however long: when it does not fit, ask again with
// the size the platform reports, and again if it grew meanwhile. An absent
// variable gives the empty value.
ByteString EnvironmentValue(const ByteString& name) {
    DWORD size = 1023;
    for (;;) {
        ByteString buffer = ByteString::Zeros(size);
        DWORD length = GetEnvironmentVariableA(name.CStr(), buffer.Bytes(), size);
        if (length < size) return TextOfBuffer(buffer.CStr(), length);
        size = length + 1;  // always grows, whatever the platform answers
    }
}

StillMissing SearchPathStage() {
    const ByteString value = EnvironmentValue("path");
    const ByteString delimiter(";");
    const char* cursor = value.CStr();
    ByteString element;
    while (*cursor != '\0') {
        NextToken(delimiter, cursor, element);
        if (element.Empty()) return true;  // an empty element ends the whole stage
        if (!TryLaunchFrom(element)) return false;
    }
    return true;
}
