// The render worker's thread in the window program: started before the
// window, stopped when the window is destroyed.
#include <windows.h>

#include "app/AppState.h"
#include "app/WorkerThread.h"
#include "render/Worker.h"

// CreateThread wants the platform's calling convention.
static DWORD WINAPI WorkerThread(LPVOID parameter)
{
    return RenderWorker(parameter);
}

void StartWorker()
{
    DWORD threadId = 0;
    HANDLE worker = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, &threadId);
    app.workerHandle.store(static_cast<void*>(worker), std::memory_order_release);
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
