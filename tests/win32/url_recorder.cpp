// Stands in for the web browser: registered as the prefix's handler for http
// URLs, it appends its command line and a NUL byte to the file named by the
// variable URL_RECORD (inherited from whoever asked the shell), or else to
// C:\url-record.txt. So no browser starts, and a test sees what was opened.
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char record[MAX_PATH * 4] = {};
    if (GetEnvironmentVariableA("URL_RECORD", record, sizeof record) == 0) {
        strcpy(record, "C:\\url-record.txt");
    }
    HANDLE file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char* commandLine = GetCommandLineA();
    DWORD written;
    WriteFile(file, commandLine, strlen(commandLine) + 1, &written, NULL);
    CloseHandle(file);
    return 0;
}
