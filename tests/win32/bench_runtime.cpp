// The runtime's stand-in for the bench. The first thing it does is read the
// high-resolution counter, so that a start can be timed up to the moment the
// runtime runs, by whichever road it was started. It then writes one record,
// replacing the file named by the variable BENCH_RECORD: the counter's value
// in decimal, a NUL byte, its command line byte for byte, a NUL byte. The
// command line lets the bench check that each road gave the runtime the same
// bytes, so that a fast but wrong start cannot pass as a fast one.
#include <windows.h>
#include <string.h>

// Decimal digits of value into text (at least 21 bytes); gives their count.
static DWORD Decimal(ULONGLONG value, char* text) {
    char digits[24];
    DWORD count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (DWORD i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    return count;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);

    char record[MAX_PATH * 4] = {};
    if (GetEnvironmentVariableA("BENCH_RECORD", record, sizeof record) == 0) return 1;
    HANDLE file = CreateFileA(record, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    char ticks[24];
    DWORD count = Decimal(static_cast<ULONGLONG>(now.QuadPart), ticks);
    const char* commandLine = GetCommandLineA();
    DWORD written;
    WriteFile(file, ticks, count + 1, &written, NULL);
    WriteFile(file, commandLine, strlen(commandLine) + 1, &written, NULL);
    CloseHandle(file);
    return 0;
}
