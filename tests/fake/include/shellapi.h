// Stand-in for the shell execution function; see windows.h beside this file.
#pragma once
#include <windows.h>

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, int show);
