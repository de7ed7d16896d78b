// Watches for message boxes and writes down what each one shows, so that a
// test can compare the exact bytes with what it expects and answer the box
// itself with the keyboard.
//
//   box-reader.exe OUTDIR
//
// For the n-th message box (a top-level window of the class #32770 of another
// process) that becomes visible, it writes OUTDIR\box-n: NUL-terminated
// fields in pairs, a name and its value:
//   caption    the window's caption, as GetWindowTextA gives it
//   text       the message, the text of the static control 0xFFFF
//   owner      the owner window's handle in hex (0: none)
//   style      the window's style and extended style in hex, "STYLE EXSTYLE"
//   process    the file name of the process that shows the box
//   button     one field a button: "ID DEFAULT TEXT", DEFAULT 1 for the
//              default push button
//   icon       which system icon is drawn: question, exclamation, asterisk,
//              hand, none, or unknown when it matches none of them
//   icondiff   the count of differing pixels against each system icon
//   running    one field a process running at that moment (its file name)
// When that box has gone, it writes OUTDIR\box-n.gone. It ends when the file
// OUTDIR\stop appears (exit code 0) or after three minutes (exit code 3).
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>

static const int MaxBoxes = 16;
static const DWORD MessageTextId = 0xFFFF;

struct Record {
    char bytes[65536];
    DWORD size;
};

static void Field(Record* record, const char* name, const char* value) {
    size_t nameSize = strlen(name) + 1;
    size_t valueSize = strlen(value) + 1;
    if (record->size + nameSize + valueSize > sizeof record->bytes) return;
    memcpy(record->bytes + record->size, name, nameSize);
    record->size += nameSize;
    memcpy(record->bytes + record->size, value, valueSize);
    record->size += valueSize;
}

// Written under another name first and moved into place, so that the reader
// never sees half a record.
static void WriteWhole(const char* path, const char* bytes, DWORD size) {
    char temporary[MAX_PATH * 2];
    snprintf(temporary, sizeof temporary, "%s.part", path);
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, bytes, size, &written, NULL);
    CloseHandle(file);
    MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING);
}

static void ProcessName(DWORD processId, char* name, size_t size) {
    snprintf(name, size, "?");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) snprintf(name, size, "%s", entry.szExeFile);
    }
    CloseHandle(snapshot);
}

static void RunningProcesses(Record* record) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        Field(record, "running", entry.szExeFile);
    }
    CloseHandle(snapshot);
}

struct Pixels {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    DWORD* bits;
};

static bool MakePixels(Pixels* pixels, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    pixels->dc = CreateCompatibleDC(NULL);
    pixels->bitmap = CreateDIBSection(pixels->dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (pixels->bitmap == NULL) {
        DeleteDC(pixels->dc);
        return false;
    }
    pixels->previous = SelectObject(pixels->dc, pixels->bitmap);
    pixels->bits = static_cast<DWORD*>(bits);
    return true;
}

static void FreePixels(Pixels* pixels) {
    SelectObject(pixels->dc, pixels->previous);
    DeleteObject(pixels->bitmap);
    DeleteDC(pixels->dc);
}

// The box's icon belongs to another process, so its handle says nothing here:
// compare what the screen shows with each system icon drawn the way a static
// control draws it, over the same background. Gives the name of the icon that
// matches every pixel, "none" or "unknown"; diffs gets the counts.
static const char* ClassifyIcon(HWND control, char* diffs, size_t diffsSize) {
    diffs[0] = 0;
    HICON shown = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
    if (shown == NULL || !IsWindowVisible(control)) return "none";
    RECT rect;
    GetWindowRect(control, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    Pixels screen;
    if (width <= 0 || height <= 0 || !MakePixels(&screen, width, height)) return "unknown";
    HDC desktop = GetDC(NULL);
    BitBlt(screen.dc, 0, 0, width, height, desktop, rect.left, rect.top, SRCCOPY);
    ReleaseDC(NULL, desktop);
    GdiFlush();

    static const struct { const char* name; LPCSTR id; } icons[] = {
        {"question", IDI_QUESTION},
        {"exclamation", IDI_EXCLAMATION},
        {"asterisk", IDI_ASTERISK},
        {"hand", IDI_HAND},
    };
    const char* match = "unknown";
    for (const auto& icon : icons) {
        Pixels drawn;
        if (!MakePixels(&drawn, width, height)) continue;
        for (int i = 0; i < width * height; ++i) drawn.bits[i] = screen.bits[0];
        DrawIconEx(drawn.dc, 0, 0, LoadIconA(NULL, icon.id), width, height, 0, NULL, DI_NORMAL);
        GdiFlush();
        int differing = 0;
        for (int i = 0; i < width * height; ++i) {
            if ((drawn.bits[i] ^ screen.bits[i]) & 0xFFFFFF) ++differing;
        }
        FreePixels(&drawn);
        size_t used = strlen(diffs);
        snprintf(diffs + used, diffsSize - used, "%s%s=%d", used ? " " : "", icon.name, differing);
        if (differing == 0) match = icon.name;
    }
    FreePixels(&screen);
    return match;
}

struct Children {
    Record* record;
    HWND icon;
};

static BOOL CALLBACK VisitChild(HWND child, LPARAM parameter) {
    Children* children = reinterpret_cast<Children*>(parameter);
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Button") == 0) {
        char text[512] = "";
        GetWindowTextA(child, text, sizeof text);
        char value[600];
        snprintf(value, sizeof value, "%d %d %s", GetDlgCtrlID(child),
                 (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? 1 : 0, text);
        Field(children->record, "button", value);
    } else if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        children->icon = child;
    }
    return TRUE;
}

static void Describe(HWND box, Record* record) {
    record->size = 0;
    char text[8192] = "";
    GetWindowTextA(box, text, sizeof text);
    Field(record, "caption", text);
    text[0] = 0;
    GetDlgItemTextA(box, MessageTextId, text, sizeof text);
    Field(record, "text", text);

    char value[128];
    snprintf(value, sizeof value, "%lx", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER))));
    Field(record, "owner", value);
    snprintf(value, sizeof value, "%lx %lx", static_cast<unsigned long>(GetWindowLongA(box, GWL_STYLE)),
             static_cast<unsigned long>(GetWindowLongA(box, GWL_EXSTYLE)));
    Field(record, "style", value);
    DWORD processId = 0;
    GetWindowThreadProcessId(box, &processId);
    char name[MAX_PATH];
    ProcessName(processId, name, sizeof name);
    Field(record, "process", name);

    Children children = {record, NULL};
    EnumChildWindows(box, VisitChild, reinterpret_cast<LPARAM>(&children));
    const char* icon = "none";
    char diffs[256] = "";
    if (children.icon != NULL) {
        // A box can be visible before it is painted: give the icon time to appear.
        const DWORD start = GetTickCount();
        while (strcmp(icon = ClassifyIcon(children.icon, diffs, sizeof diffs), "unknown") == 0 &&
               GetTickCount() - start < 3000) {
            Sleep(100);
        }
    }
    Field(record, "icon", icon);
    Field(record, "icondiff", diffs);
    RunningProcesses(record);
}

struct Search {
    DWORD self;
    HWND found[MaxBoxes];
    int count;
};

static BOOL CALLBACK VisitTopLevel(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->self) return TRUE;
    if (search->count < MaxBoxes) search->found[search->count++] = window;
    return TRUE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 2) return 2;
    const char* directory = __argv[1];
    char stopPath[MAX_PATH * 2];
    snprintf(stopPath, sizeof stopPath, "%s\\stop", directory);

    HWND seen[MaxBoxes] = {};
    bool gone[MaxBoxes] = {};
    int seenCount = 0;
    static Record record;
    const DWORD start = GetTickCount();
    for (;;) {
        // Gone first: the next box of a launcher comes only after its last.
        for (int j = 0; j < seenCount; ++j) {
            if (gone[j] || IsWindow(seen[j])) continue;
            gone[j] = true;
            char path[MAX_PATH * 2];
            snprintf(path, sizeof path, "%s\\box-%d.gone", directory, j + 1);
            WriteWhole(path, "", 0);
        }
        Search search = {GetCurrentProcessId(), {}, 0};
        EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
        for (int i = 0; i < search.count; ++i) {
            bool known = false;
            for (int j = 0; j < seenCount; ++j) known = known || seen[j] == search.found[i];
            if (known || seenCount == MaxBoxes) continue;
            Sleep(250);  // let the box finish painting before it is read and photographed
            Describe(search.found[i], &record);
            seen[seenCount++] = search.found[i];
            char path[MAX_PATH * 2];
            snprintf(path, sizeof path, "%s\\box-%d", directory, seenCount);
            WriteWhole(path, record.bytes, record.size);
        }
        if (GetFileAttributesA(stopPath) != INVALID_FILE_ATTRIBUTES) return 0;
        if (GetTickCount() - start > 180000) return 3;
        Sleep(50);
    }
}
