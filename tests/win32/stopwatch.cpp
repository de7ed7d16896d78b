// Times starts for the bench, all from one process, so that no Wine start of
// a helper lies between two runs and the bench stays short:
//
//   stopwatch.exe ROUNDS START...
//
// Each START is a file in the starter's format (application, command line,
// current directory, then the environment block, which is required here). Its
// environment must name, in BENCH_RECORD, the file where the bench runtime
// writes the counter that it reads first thing. A round runs every START
// once, in the order given, so drift in the machine's load falls on all of
// them alike.
//
// A start is timed from just before CreateProcess to the runtime's first
// reading of the counter. Both ends read QueryPerformanceCounter, one clock
// for every process of the machine, so the figure holds the launcher's whole
// life up to its WinExec plus the runtime's own start, and nothing that
// happens after the runtime runs: the launcher's exit and the runtime's work
// fall outside it for every variant alike.
//
// For each start it prints a line "ROUND START-INDEX MICROSECONDS". Exit code
// 0, or 2 for bad arguments or a start file that cannot be read, 3 when a start
// fails, 4 when no complete record appears or the processes do not end
// within a minute; a message on stderr says which start.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Start {
    char* bytes;
    char* application;
    char* commandLine;
    char* directory;
    char* environment;
    const char* record;
};

static char* ReadFileBytes(const char* path, DWORD* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    DWORD length = GetFileSize(file, NULL);
    char* bytes = static_cast<char*>(calloc(length + 2, 1));
    DWORD read = 0;
    BOOL ok = bytes != NULL && ReadFile(file, bytes, length, &read, NULL) && read == length;
    CloseHandle(file);
    if (!ok) {
        free(bytes);
        return NULL;
    }
    *size = length;
    return bytes;
}

static bool ReadStart(const char* path, Start* start) {
    DWORD size = 0;
    start->bytes = ReadFileBytes(path, &size);
    if (start->bytes == NULL) return false;
    char* end = start->bytes + size;
    start->application = start->bytes;
    start->commandLine = start->application + strlen(start->application) + 1;
    if (start->commandLine >= end) return false;
    start->directory = start->commandLine + strlen(start->commandLine) + 1;
    if (start->directory >= end) return false;
    start->environment = start->directory + strlen(start->directory) + 1;
    if (start->environment >= end) return false;
    start->record = NULL;
    for (char* entry = start->environment; *entry != '\0'; entry += strlen(entry) + 1) {
        if (strncmp(entry, "BENCH_RECORD=", 13) == 0) start->record = entry + 13;
    }
    return start->record != NULL;
}

static bool JobIsEmpty(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, NULL)) {
        return true;
    }
    return info.ActiveProcesses == 0;
}

// The counter's value from a complete record (decimal, NUL, command line,
// NUL); false while the record is missing or still being written.
static bool ReadRecord(const char* path, ULONGLONG* ticks) {
    DWORD size = 0;
    char* bytes = ReadFileBytes(path, &size);
    if (bytes == NULL) return false;
    char* firstNul = static_cast<char*>(memchr(bytes, '\0', size));
    bool complete = firstNul != NULL && firstNul != bytes &&
                    memchr(firstNul + 1, '\0', size - (firstNul + 1 - bytes)) != NULL;
    ULONGLONG value = 0;
    for (char* digit = bytes; complete && digit < firstNul; ++digit) {
        if (*digit < '0' || *digit > '9') complete = false;
        value = value * 10 + static_cast<ULONGLONG>(*digit - '0');
    }
    free(bytes);
    *ticks = value;
    return complete;
}

// Runs one start; its time in microseconds, or an exit code above in *failure.
static ULONGLONG TimeStart(const Start& start, ULONGLONG frequency, int* failure) {
    DeleteFileA(start.record);
    HANDLE job = CreateJobObjectA(NULL, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER before;
    QueryPerformanceCounter(&before);
    if (!CreateProcessA(*start.application ? start.application : NULL, start.commandLine, NULL, NULL, FALSE,
                        CREATE_SUSPENDED, start.environment, *start.directory ? start.directory : NULL,
                        &startup, &process)) {
        *failure = 3;
        return 0;
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    for (int i = 0; ended && i < 60000 && !JobIsEmpty(job); ++i) Sleep(1);
    ended = ended && JobIsEmpty(job);
    // Should a started process ever escape the job, wait for its record too.
    ULONGLONG ticks = 0;
    bool recorded = false;
    for (int i = 0; ended && i < 3000 && !(recorded = ReadRecord(start.record, &ticks)); ++i) Sleep(10);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(job);
    if (!ended || !recorded || ticks < static_cast<ULONGLONG>(before.QuadPart)) {
        *failure = 4;
        return 0;
    }
    return (ticks - static_cast<ULONGLONG>(before.QuadPart)) * 1000000 / frequency;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: stopwatch.exe ROUNDS START...\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    int count = argc - 2;
    Start* starts = static_cast<Start*>(calloc(count, sizeof(Start)));
    for (int i = 0; i < count; ++i) {
        if (!ReadStart(argv[2 + i], &starts[i])) {
            fprintf(stderr, "stopwatch: cannot read %s, or it names no BENCH_RECORD\n", argv[2 + i]);
            return 2;
        }
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < count; ++i) {
            int failure = 0;
            ULONGLONG microseconds = TimeStart(starts[i], static_cast<ULONGLONG>(frequency.QuadPart), &failure);
            if (failure != 0) {
                fprintf(stderr, "stopwatch: round %d, %s: %s\n", round, argv[2 + i],
                        failure == 3 ? "the start failed" : "no record from the runtime, or no end in time");
                return failure;
            }
            printf("%d %d %lu\n", round, i, static_cast<unsigned long>(microseconds));
            fflush(stdout);
        }
    }
    return 0;
}
