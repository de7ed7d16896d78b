// The utility module: the byte-string type, the path helpers and fixed
// directories, the probe with its launch command line and the splitting of
// the launcher's own command line, and the two stages that read the registry
// and the search path.
#pragma once

#include <stddef.h>

// A counted string of bytes in the ANSI code page, with value semantics. It
// always keeps a NUL byte after its last byte, so CStr() can go to the
// platform as it is. It deliberately avoids std::string: that pulls about
// 150 KB of exception support into a statically linked executable.
class ByteString {
public:
    ByteString();
    ByteString(const char* text);
    ByteString(const char* bytes, size_t count);
    ByteString(const ByteString& other);
    ByteString& operator=(const ByteString& other);
    ~ByteString();

    // count NUL bytes: a buffer for the platform to fill through Bytes().
    static ByteString Zeros(size_t count);

    const char* CStr() const { return bytes_; }
    char* Bytes() { return bytes_; }
    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    unsigned char At(size_t i) const { return static_cast<unsigned char>(bytes_[i]); }
    unsigned char Last() const { return At(size_ - 1); }

    void Reserve(size_t capacity);
    void Append(const char* bytes, size_t count);
    void Append(const char* text);
    void Append(const ByteString& other) { Append(other.bytes_, other.size_); }
    void Append(char byte) { Append(&byte, 1); }

private:
    char* bytes_;
    size_t size_;
    size_t capacity_;
};

bool operator==(const ByteString& a, const ByteString& b);
inline bool operator!=(const ByteString& a, const ByteString& b) { return !(a == b); }

// The text of a platform-filled buffer: its bytes before the first NUL, and
// never more than count of them.
ByteString TextOfBuffer(const char* buffer, size_t count);

// True: the runtime's file was not found, and the search goes on. False: it
// was found and the platform was asked to start it, and the search ends.
typedef bool StillMissing;

extern const char RuntimeExeName[];

// Path helpers and fixed directories.
ByteString OwnPath();
bool PathExists(const ByteString& path);
ByteString DirectoryOf(const ByteString& path);
ByteString CurrentDirectory();
ByteString WindowsDirectory();
ByteString SystemDirectory();
ByteString ParentOfOwnDirectory();

// The launcher's own command line.
ByteString NextArgument(const char*& position);
int ArgumentCount();
ByteString ArgumentAt(int index);

// The probe, and the command line that it gives the runtime.
ByteString LaunchCommandLine(const ByteString& runtimePath, const ByteString& ownPath,
                             const char* commandLine);
StillMissing TryLaunchFrom(ByteString directory);

// Stage 7: the directory of the runtime registered for its file association.
ByteString AssociatedRuntimeDirectory();

// Stage 8: each element of the search path.
StillMissing SearchPathStage();
ByteString EnvironmentValue(const ByteString& name);
void NextToken(const ByteString& delimiter, const char*& cursor, ByteString& token);
bool MatchesAt(const char* a, const char* b, int count);
