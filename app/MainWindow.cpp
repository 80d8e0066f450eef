// The main window procedure: each message goes to one small handler.
#include <windows.h>

#include <string>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "platform/Win32Messages.h"
#include "resources/resource.h"
#include "settings/Dialogs.h"
#include "ui/Input.h"
#include "ui/Paint.h"

// Handlers read the pointer from the system when they handle the message,
// not from the message.
static POINT PointerInClient(HWND window)
{
    POINT p = {};
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    return p;
}

static LRESULT OnDestroy()
{
    ShutdownWorker();
    PostQuitMessage(0);
    return 0;
}

static LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint = {};
    HDC dc = BeginPaint(window, &paint);
    PaintPanes(dc, paint.rcPaint);
    EndPaint(window, &paint);
    return 0;
}

static LRESULT OnPrintClient(HWND window, WPARAM wParam)
{
    RECT client = {};
    GetClientRect(window, &client);
    PaintPanes(reinterpret_cast<HDC>(wParam), client);
    return 0;
}

static void OnSaveCommand(HWND window)
{
    std::string message;
    if (!OnSave(message)) MessageBoxA(window, message.c_str(), "Halovane", MB_OK | MB_ICONEXCLAMATION);
}

static LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    HINSTANCE instance = static_cast<HINSTANCE>(app.instance);
    switch (LOWORD(wParam)) {
    case IDM_EXIT: DestroyWindow(window); return 0;
    case IDM_ABOUT: DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutDialogProc, 0); return 0;
    case IDM_PROPERTIES: DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROPERTIES), window, PropertiesDialogProc, 0); return 0;
    case IDM_SAVE: OnSaveCommand(window); return 0;
    case IDM_CLEAR: OnClear(); return 0;
    case IDM_GO: OnGo(); return 0;
    case IDM_CONTINUOUS: OnContinuous(); return 0;
    case IDM_STOP: OnStop(); return 0;
    default: return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
}

// The worker's status text; lParam is a string with static lifetime.
static LRESULT OnSetTitle(HWND window, LPARAM lParam)
{
    SetWindowTextA(window, reinterpret_cast<const char*>(lParam));
    return 0;
}

static LRESULT OnMouseMoveMessage(HWND window)
{
    POINT p = PointerInClient(window);
    OnMouseMove(p.x, p.y);
    return 0;
}

// The pointer is captured for the drag, so a release outside the window ends it.
static LRESULT OnLeftButtonDown(HWND window)
{
    POINT p = PointerInClient(window);
    SetCapture(window);
    OnLeftPress(p.x, p.y);
    return 0;
}

static LRESULT OnLeftButtonUp()
{
    OnLeftRelease();
    ReleaseCapture();
    return 0;
}

static LRESULT OnRightButtonDown(WPARAM wParam)
{
    OnRightPress((wParam & MK_SHIFT) != 0);
    return 0;
}

static LRESULT OnRightButtonUp(HWND window)
{
    POINT p = PointerInClient(window);
    OnRightRelease(p.x, p.y);
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY: return OnDestroy();
    case WM_PAINT: return OnPaint(window);
    case WM_PRINTCLIENT: return OnPrintClient(window, wParam);
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case kSetTitleMessage: return OnSetTitle(window, lParam);
    case WM_MOUSEMOVE: return OnMouseMoveMessage(window);
    case WM_LBUTTONDOWN: return OnLeftButtonDown(window);
    case WM_LBUTTONUP: return OnLeftButtonUp();
    case WM_RBUTTONDOWN: return OnRightButtonDown(wParam);
    case WM_RBUTTONUP: return OnRightButtonUp(window);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
