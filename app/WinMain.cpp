// Process entry: settings, blocks, worker, window, message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/WorkerThread.h"
#include "render/Blocks.h"
#include "resources/resource.h"
#include "settings/SettingsFile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    // Registers the current-looking control classes the manifest asks for.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    LoadSettings();
    if (!AllocBlocks()) return 0;

    StartWorker();

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
