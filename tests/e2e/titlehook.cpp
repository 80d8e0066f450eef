// Records every title change of a top-level window, as it happens, for the
// end-to-end tests. wininfo.exe installs AfterMessage as a global
// WH_CALLWNDPROCRET hook; the window manager then loads this library into
// each process of the desktop, and the hook runs on the window's own thread
// right after it has handled WM_SETTEXT, so no change is missed however fast
// the next one follows. (Wine sends no EVENT_OBJECT_NAMECHANGE for a title,
// so a window-event hook would see nothing.)
//
// Each change appends the line "HWND MILLISECONDS\tTITLE" to titles.log beside
// this library; the file's line order is the order of the changes.
#include <windows.h>

static char logPath[MAX_PATH];

extern "C" __declspec(dllexport) LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_SETTEXT &&
        !(GetWindowLongA(message->hwnd, GWL_STYLE) & WS_CHILD)) {
        // The text as the window now holds it, read without sending a message.
        WCHAR title[256] = L"";
        InternalGetWindowText(message->hwnd, title, 256);
        char line[1024];
        int n = wsprintfA(line, "%lu %lu\t", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(message->hwnd)),
                          static_cast<unsigned long>(GetTickCount()));
        const int text = WideCharToMultiByte(CP_ACP, 0, title, -1, line + n, 800, nullptr, nullptr);
        n += text > 0 ? text - 1 : 0;
        line[n++] = '\n';
        // Opened for each line: several processes may append, and the log is
        // complete whenever the change is.
        HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(log, line, n, &written, nullptr);
            CloseHandle(log);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DWORD n = GetModuleFileNameA(self, logPath, MAX_PATH);
        while (n > 0 && logPath[n - 1] != '\\') --n;
        if (n + sizeof "titles.log" > MAX_PATH) return FALSE;
        lstrcpyA(logPath + n, "titles.log");
    }
    return TRUE;
}
