// Process entry: settings, images, worker, window, message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "render/Image.h"
#include "render/Outline.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "resources/resource.h"
#include "settings/SettingsFile.h"

// CreateThread wants the platform's calling convention.
static DWORD WINAPI WorkerThread(LPVOID parameter)
{
    return RenderWorker(parameter);
}

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
    app.mainWindow = static_cast<void*>(window);
    if (!window) return false;
    FitClientArea(window);
    ClearImages();
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return true;
}

void ShutdownWorker()
{
    app.quitRequested = true;
    app.running = false;
    if (app.workerHandle.load(std::memory_order_acquire)) {
        for (int poll = 0; poll < 120; ++poll) {
            Sleep(100);
            if (!app.workerHandle.load(std::memory_order_acquire)) break;
        }
    }
    // Last resort for a pass that outlasts the wait. Taken in one exchange:
    // a worker that has already taken (and closed) its handle is left alone.
    void* handle = app.workerHandle.exchange(nullptr, std::memory_order_acq_rel);
    if (handle) {
        TerminateThread(static_cast<HANDLE>(handle), 0);
        CloseHandle(static_cast<HANDLE>(handle));
    }
    ReleaseImages();
    ReleaseSamples();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    // Registers the current-looking control classes the manifest asks for.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    LoadSettings();
    InitBitmapHeaders();
    if (!AllocViewImage()) return 0;
    if (!AllocOutputImage()) return 0;
    if (!AllocSamples()) return 0;

    DWORD threadId = 0;
    HANDLE worker = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, &threadId);
    app.workerHandle.store(static_cast<void*>(worker), std::memory_order_release);

    LoadStringA(instance, IDS_APP_TITLE, app.windowTitle, sizeof app.windowTitle);
    LoadStringA(instance, IDC_HALOVANE, app.className, sizeof app.className);
    RegisterMainClass(instance);
    if (!CreateMainWindow(instance, showCommand)) return 0;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_HALOVANE));

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
