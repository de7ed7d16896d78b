// A stand-in for the runtime, for the demo and the end-to-end tests: it only
// reports how it was started. It appends one record to the file named by the
// variable SORVANTI_RECORD, or else to received.txt beside itself:
//   its own module path, a NUL byte, its command line byte for byte, a NUL byte.
// Appending shows a runtime that was started twice.
#include <windows.h>
#include <string.h>

static void Write(HANDLE file, const char* bytes, DWORD count) {
    DWORD written;
    WriteFile(file, bytes, count, &written, NULL);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char self[MAX_PATH * 4] = {};
    GetModuleFileNameA(NULL, self, sizeof self - 1);

    char record[MAX_PATH * 4] = {};
    if (GetEnvironmentVariableA("SORVANTI_RECORD", record, sizeof record) == 0) {
        strcpy(record, self);
        char* slash = strrchr(record, '\\');
        strcpy(slash ? slash + 1 : record, "received.txt");
    }
    HANDLE file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char* commandLine = GetCommandLineA();
    Write(file, self, strlen(self) + 1);
    Write(file, commandLine, strlen(commandLine) + 1);
    CloseHandle(file);
    return 0;
}
