// Test helper run inside the same Wine session as the program under test.
// It answers questions about windows that X11 cannot answer (client origin,
// titles, dialog controls) and can hold a file open exclusively. While it
// runs, titlehook.dll beside it records every title change (see there).
//
// One command per line on standard input, answers on standard output; each
// answer ends with a line "." so the driver knows where it stops.
//   windows                 top-level windows: hwnd pid visible class title
//   info HWND               exists visible clientX clientY clientW clientH
//                           windowLeft windowTop windowRight windowBottom title
//   closebox HWND           a screen point over the window's close box, or 0
//   controls HWND           child windows: hwnd id class enabled checked text
//   capture HWND            the window holding the mouse capture on HWND's
//                           thread, or 0
//   hooked                  1 if the title hook is in place, else an error
//   hold PATH               open PATH with share mode 0 and keep it open
//   release                 close the held file
//   quit
// Texts are written with \n, \r, \t and \\ escaped so every record is one line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static HANDLE heldFile = INVALID_HANDLE_VALUE;
static HHOOK titleHook = nullptr;
static DWORD titleHookError = 0;

static std::string Escaped(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') out += "\\n";
        else if (*p == '\r') out += "\\r";
        else if (*p == '\t') out += "\\t";
        else if (*p == '\\') out += "\\\\";
        else out += *p;
    }
    return out;
}

static std::string WindowText(HWND window)
{
    char text[1024] = "";
    // WM_GETTEXT rather than GetWindowText: it also reads other processes' controls.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, nullptr);
    text[sizeof text - 1] = 0;
    return Escaped(text);
}

static std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return Escaped(name);
}

static BOOL CALLBACK ListTopWindow(HWND window, LPARAM)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("%lu %lu %d %s\t%s\n", (unsigned long)(UINT_PTR)window, (unsigned long)pid,
                IsWindowVisible(window) ? 1 : 0, ClassOf(window).c_str(), WindowText(window).c_str());
    return TRUE;
}

static BOOL CALLBACK ListControl(HWND window, LPARAM)
{
    LRESULT checked = 0;
    if (ClassOf(window) == "Button")
        SendMessageTimeoutA(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, (PDWORD_PTR)&checked);
    std::printf("%lu %d %d %d %s\t%s\n", (unsigned long)(UINT_PTR)window, GetDlgCtrlID(window),
                IsWindowEnabled(window) ? 1 : 0, (int)checked, ClassOf(window).c_str(),
                WindowText(window).c_str());
    return TRUE;
}

static HWND ParseWindow(const char* text)
{
    return (HWND)(UINT_PTR)std::strtoul(text, nullptr, 10);
}

static void Info(HWND window)
{
    if (!IsWindow(window)) {
        std::printf("0\n");
        return;
    }
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    RECT frame = {0, 0, 0, 0};
    GetWindowRect(window, &frame);
    std::printf("1 %d %ld %ld %ld %ld %ld %ld %ld %ld %s\n", IsWindowVisible(window) ? 1 : 0, origin.x,
                origin.y, client.right - client.left, client.bottom - client.top, frame.left, frame.top,
                frame.right, frame.bottom, WindowText(window).c_str());
}

// Scans the caption strip for the point the window itself calls its close box.
static void CloseBox(HWND window)
{
    RECT frame = {0, 0, 0, 0};
    GetWindowRect(window, &frame);
    for (LONG y = frame.top; y < frame.top + 40 && y < frame.bottom; ++y)
        for (LONG x = frame.right - 1; x > frame.right - 80 && x > frame.left; --x) {
            DWORD_PTR hit = 0;
            SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &hit);
            if (hit == HTCLOSE) {
                // The middle of the box's row run is safer than its edge.
                LONG left = x;
                while (left > frame.left) {
                    SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(left - 1, y), SMTO_ABORTIFHUNG,
                                        2000, &hit);
                    if (hit != HTCLOSE) break;
                    --left;
                }
                std::printf("%ld %ld\n", (left + x) / 2, y + 6);
                return;
            }
        }
    std::printf("0\n");
}

// Tells when the window's thread has handled a button press or release.
static void Capture(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    const HWND holder = thread && GetGUIThreadInfo(thread, &info) ? info.hwndCapture : nullptr;
    std::printf("%lu\n", (unsigned long)(UINT_PTR)holder);
}

static void Hold(const char* path)
{
    if (heldFile != INVALID_HANDLE_VALUE) CloseHandle(heldFile);
    heldFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    std::printf("%d\n", heldFile != INVALID_HANDLE_VALUE ? 1 : 0);
}

// A global hook stays in place while the thread that set it lives: this one.
static void InstallTitleHook()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    lstrcpynA(path + n, "titlehook.dll", MAX_PATH - n);
    HMODULE library = LoadLibraryA(path);
    // Through void* : FARPROC and HOOKPROC differ in their parameters.
    void* found = library ? reinterpret_cast<void*>(GetProcAddress(library, "AfterMessage")) : nullptr;
    HOOKPROC proc = reinterpret_cast<HOOKPROC>(found);
    if (proc) titleHook = SetWindowsHookExA(WH_CALLWNDPROCRET, proc, library, 0);
    if (!titleHook) titleHookError = GetLastError();
}

int main()
{
    InstallTitleHook();
    char line[2048];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        char* argument = std::strchr(line, ' ');
        if (argument) *argument++ = 0;
        else argument = line + std::strlen(line);

        if (!std::strcmp(line, "windows")) EnumWindows(ListTopWindow, 0);
        else if (!std::strcmp(line, "info")) Info(ParseWindow(argument));
        else if (!std::strcmp(line, "closebox")) CloseBox(ParseWindow(argument));
        else if (!std::strcmp(line, "controls")) EnumChildWindows(ParseWindow(argument), ListControl, 0);
        else if (!std::strcmp(line, "capture")) Capture(ParseWindow(argument));
        else if (!std::strcmp(line, "hooked")) {
            if (titleHook) std::printf("1\n");
            else std::printf("titlehook.dll not hooked in: error %lu\n", (unsigned long)titleHookError);
        } else if (!std::strcmp(line, "hold")) Hold(argument);
        else if (!std::strcmp(line, "release")) {
            if (heldFile != INVALID_HANDLE_VALUE) CloseHandle(heldFile);
            heldFile = INVALID_HANDLE_VALUE;
        } else if (!std::strcmp(line, "quit")) break;
        else std::printf("? %s\n", line);
        std::printf(".\n");
        std::fflush(stdout);
    }
    if (heldFile != INVALID_HANDLE_VALUE) CloseHandle(heldFile);
    if (titleHook) UnhookWindowsHookEx(titleHook);
    return 0;
}
