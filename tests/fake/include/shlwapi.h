// Stand-in for the shell path functions; see windows.h beside this file.
#pragma once
#include <windows.h>

BOOL PathFileExistsA(LPCSTR path);
BOOL PathRemoveFileSpecA(LPSTR path);
