// Process entry: settings, blocks, worker, window, message loop; and the
// worker's stop at shutdown.
#include <windows.h>
#include <commctrl.h>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/WinMain.h"
#include "render/Blocks.h"
#include "render/Worker.h"
#include "resources/resource.h"
#include "settings/SettingsFile.h"

// CreateThread wants the platform's calling convention.
static DWORD WINAPI WorkerThread(LPVOID parameter)
{
    return RenderWorker(parameter);
}

void StopWorker()
{
    app.quitRequested = true;
    app.running = false;
    if (app.workerHandle.load(std::memory_order_acquire)) {
        for (int poll = 0; poll < 120; ++poll) {
            Sleep(100);
            if (!app.workerHandle.load(std::memory_order_acquire)) break;
        }
    }
    // Whoever takes the handle closes it: the worker takes it as its last
    // act, so a handle still here belongs to a worker that outlasted the wait.
    void* handle = app.workerHandle.exchange(nullptr, std::memory_order_acq_rel);
    if (handle) {
        TerminateThread(static_cast<HANDLE>(handle), 0);
        CloseHandle(static_cast<HANDLE>(handle));
    }
}



int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    // Registers the current-looking control classes the manifest asks for.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    LoadSettings();
    if (!AllocBlocks()) return 0;

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
