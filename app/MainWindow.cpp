// The main window: its class, its creation, and its procedure, which hands
// each message to one small Wm* handler.
#include <windows.h>

#include <string>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/WorkerThread.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/Samples.h"
#include "render/Image.h"
#include "platform/Win32Messages.h"
#include "resources/resource.h"
#include "settings/Dialogs.h"
#include "settings/Properties.h"
#include "settings/SettingsFile.h"
#include "ui/Input.h"
#include "ui/Paint.h"

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_HALOVANE));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENUTEXT + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_HALOVANE);
    windowClass.lpszClassName = app.className;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    RegisterClassExA(&windowClass);
}

// Makes the client area exactly the two panes, whatever the frame metrics
// (a menu bar that wraps to two lines takes room only known after creation).
static void FitClientArea(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    const int wantWidth = 2 * app.viewWidth;
    const int wantHeight = app.viewHeight;
    const int dw = wantWidth - (client.right - client.left);
    const int dh = wantHeight - (client.bottom - client.top);
    if (dw == 0 && dh == 0) return;
    RECT outer = {};
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CreateMainWindow(HINSTANCE instance, int showCommand)
{
    app.instance = instance;
    RECT outer = {0, 0, 2 * app.viewWidth, app.viewHeight};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, TRUE, 0);
    HWND window = CreateWindowExA(0, app.className, app.windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return false;
    SetPlatformWindow(window);
    FitClientArea(window);
    ClearImages();
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return true;
}

// What confirming the Properties dialog may ask of the program.
static const PropertiesActions kPropertiesActions = {AllocSamples, AllocOutputImage, SaveSettings};

// Handlers read the pointer from the system when they handle the message,
// not from the message.
static POINT PointerInClient(HWND window)
{
    POINT p = {};
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    return p;
}

// The worker is stopped before the blocks it uses are released.
static LRESULT WmDestroy()
{
    StopWorker();
    ReleaseBlocks();
    PostQuitMessage(0);
    return 0;
}

static LRESULT WmPaint(HWND window)
{
    PAINTSTRUCT paint = {};
    HDC dc = BeginPaint(window, &paint);
    PaintPanes(dc, paint.rcPaint);
    EndPaint(window, &paint);
    return 0;
}

static LRESULT WmPrintClient(HWND window, WPARAM wParam)
{
    RECT client = {};
    GetClientRect(window, &client);
    PaintPanes(reinterpret_cast<HDC>(wParam), client);
    return 0;
}

static void SaveAndReport(HWND window)
{
    std::string message;
    if (!OnSave(message)) MessageBoxA(window, message.c_str(), "Halovane", MB_OK | MB_ICONEXCLAMATION);
}

static LRESULT WmCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    HINSTANCE instance = static_cast<HINSTANCE>(app.instance);
    switch (LOWORD(wParam)) {
    case IDM_EXIT: DestroyWindow(window); return 0;
    case IDM_ABOUT: DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutDialogProc, 0); return 0;
    case IDM_PROPERTIES:
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROPERTIES), window, PropertiesDialogProc,
                        reinterpret_cast<LPARAM>(&kPropertiesActions));
        return 0;
    case IDM_SAVE: SaveAndReport(window); return 0;
    case IDM_CLEAR: OnClear(); return 0;
    case IDM_GO: OnGo(); return 0;
    case IDM_CONTINUOUS: OnContinuous(); return 0;
    case IDM_STOP: OnStop(); return 0;
    default: return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
}

// The worker's status text; lParam is a string with static lifetime.
static LRESULT WmSetTitle(HWND window, LPARAM lParam)
{
    SetWindowTextA(window, reinterpret_cast<const char*>(lParam));
    return 0;
}

static LRESULT WmMouseMove(HWND window)
{
    POINT p = PointerInClient(window);
    OnMouseMove(p.x, p.y);
    return 0;
}

// The pointer is captured for the drag, so a release outside the window ends it.
static LRESULT WmLeftButtonDown(HWND window)
{
    POINT p = PointerInClient(window);
    SetCapture(window);
    OnLeftPress(p.x, p.y);
    return 0;
}

static LRESULT WmLeftButtonUp()
{
    OnLeftRelease();
    ReleaseCapture();
    return 0;
}

static LRESULT WmRightButtonDown(WPARAM wParam)
{
    OnRightPress((wParam & MK_SHIFT) != 0);
    return 0;
}

static LRESULT WmRightButtonUp(HWND window)
{
    POINT p = PointerInClient(window);
    OnRightRelease(p.x, p.y);
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY: return WmDestroy();
    case WM_PAINT: return WmPaint(window);
    case WM_PRINTCLIENT: return WmPrintClient(window, wParam);
    case WM_COMMAND: return WmCommand(window, wParam, lParam);
    case kSetTitleMessage: return WmSetTitle(window, lParam);
    case WM_MOUSEMOVE: return WmMouseMove(window);
    case WM_LBUTTONDOWN: return WmLeftButtonDown(window);
    case WM_LBUTTONUP: return WmLeftButtonUp();
    case WM_RBUTTONDOWN: return WmRightButtonDown(wParam);
    case WM_RBUTTONUP: return WmRightButtonUp(window);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
