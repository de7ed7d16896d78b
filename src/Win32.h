// The one place where the launcher meets the platform: every Win32 header
// that the product uses is included here and nowhere else. The host tests put
// their own headers of the same names first on the include path.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
