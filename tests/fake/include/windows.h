// The host tests' stand-in for the platform header: only the names that the
// launcher uses, declared from their documented behaviour. The functions are
// implemented by the scripted world in FakeWin32.cpp.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI

typedef int BOOL;
#define FALSE 0
#define TRUE 1
typedef unsigned char BYTE;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef DWORD REGSAM;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;

typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define KEY_QUERY_VALUE 0x0001
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_MORE_DATA 234L
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

#define SW_SHOW 5
#define MB_OK 0x00000000u
#define MB_YESNO 0x00000004u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define IDYES 6
#define IDNO 7

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
LPSTR GetCommandLineA();
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
UINT WinExec(LPCSTR commandLine, UINT show);

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY key);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);
LONG RegCloseKey(HKEY key);

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
LPSTR CharNextA(LPCSTR position);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
