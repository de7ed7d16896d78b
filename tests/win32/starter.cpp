// Starts a program with exact bytes, which Wine's own command line cannot
// give: its Unix arguments and environment pass through conversions.
//
//   starter.exe START_FILE
//
// START_FILE is a file of NUL-terminated fields: the application (empty: none, the
// command line names it), the command line, the current directory (empty: the
// starter's own), then the environment block, one NUL-terminated entry a
// field, ended by an empty field. When the file ends before the environment,
// the child inherits the starter's.
//
// The starter waits for the program to end, then for every process that it
// started in turn (they share a job; the desktop process, below, excepted),
// and exits with the program's exit code;
// 250 when the start failed (the reason goes to the standard error), 251 when
// the start file cannot be read, 252 when the processes did not end within a minute.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

static char* ReadStartFile(const char* path, DWORD* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    DWORD length = GetFileSize(file, NULL);
    char* bytes = static_cast<char*>(calloc(length + 2, 1));
    DWORD read = 0;
    if (!ReadFile(file, bytes, length, &read, NULL) || read != length) {
        CloseHandle(file);
        return NULL;
    }
    CloseHandle(file);
    *size = length;
    return bytes;
}

// Tells why the start failed: "starter: CreateProcess failed with error N".
static void ReportStartFailure(DWORD error) {
    char line[64] = "starter: CreateProcess failed with error ";
    size_t length = strlen(line);
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + error % 10);
        error /= 10;
    } while (error != 0);
    while (count > 0) line[length++] = digits[--count];
    line[length++] = '\n';
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, NULL);
}

// The first message box of a program that runs without a desktop starts the
// platform's desktop process inside the program's job, where it lingers some
// twenty seconds after the last window has gone. It is not the program's own
// and is not waited for.
static bool IsDesktopProcess(DWORD id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == NULL) return false;
    char path[MAX_PATH * 4];
    DWORD size = sizeof path;
    bool desktop = QueryFullProcessImageNameA(process, 0, path, &size) &&
                   lstrcmpiA(path, "C:\\windows\\system32\\explorer.exe") == 0;
    CloseHandle(process);
    return desktop;
}

static bool OnlyDesktopLeft(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, NULL) ||
        info.ActiveProcesses == 0) {
        return true;
    }
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids = {};
    ids.list.NumberOfAssignedProcesses = 64;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, NULL)) {
        return false;  // then wait for the desktop process too
    }
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        if (!IsDesktopProcess(static_cast<DWORD>(ids.list.ProcessIdList[i]))) return false;
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 2) return 251;
    DWORD size = 0;
    char* start = ReadStartFile(argv[1], &size);
    if (start == NULL) return 251;

    char* end = start + size;
    char* application = start;
    char* commandLine = application + strlen(application) + 1;
    if (commandLine >= end) return 251;
    char* directory = commandLine + strlen(commandLine) + 1;
    if (directory >= end) return 251;
    char* environment = directory + strlen(directory) + 1;

    HANDLE job = CreateJobObjectA(NULL, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(*application ? application : NULL, commandLine, NULL, NULL, FALSE,
                        CREATE_SUSPENDED, environment < end ? environment : NULL,
                        *directory ? directory : NULL, &startup, &process)) {
        ReportStartFailure(GetLastError());
        return 250;
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);

    for (int i = 0; i < 600 && !OnlyDesktopLeft(job); ++i) Sleep(100);
    if (!OnlyDesktopLeft(job)) return 252;
    return static_cast<int>(exitCode);
}
