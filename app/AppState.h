#pragma once
// The one process-wide state record, shared by the window thread and the
// render worker. Every field says who writes it and who reads it.
//
// Flags and values that both threads touch are Relaxed atomics: one side
// writes, the other polls. The heap blocks (images and sample arrays) are
// replaced only on the window thread; the worker holds blocksLock while it
// uses them, for one pass or one seeded sample at a time.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/Relaxed.h"
#include "base/SharedTypes.h"
#include "settings/Settings.h"

struct AppState {
    // Persisted settings. Loaded at start-up; edited by the Properties
    // dialog and by gestures (X, Y); the worker drifts X, Y in continuous mode.
    Settings settings;

    // Fixed geometry of the left pane (never changed).
    int32_t viewWidth = 512;
    int32_t viewHeight = 512;
    float viewScale = 2.0f;

    // Left pane pixels. Written by the worker (view plots) and the window
    // thread (clears, outline, marker); allocated once at start-up.
    RgbImage viewImage = {};
    // Full-size output. Written by the worker (splats) and the window thread
    // (clears); replaced by the window thread only under blocksLock while no
    // run is in progress. Its width and height are those of the block held.
    RgbImage outputImage = {};
    // The two panes together, (0, 0, 2 x viewWidth, viewHeight).
    ClientRect clientRect = {0, 0, 0, 0};

    // Selected region. Written by the window thread at a left release,
    // read by the worker every pass.
    Relaxed<float> regionWidth{2.0f};
    Relaxed<float> regionReciprocal{0.0f};
    Relaxed<float> regionCenterRe{0.0f};
    Relaxed<float> regionCenterIm{0.0f};

    // Sample arrays. Replaced by the window thread under blocksLock; used by
    // the worker under blocksLock.
    SampleSet samples = {};
    // Guards every heap block (both images and the sample arrays) against
    // replacement while the worker uses it.
    std::mutex blocksLock;

    // Run flags. The window thread raises requests; the worker runs them.
    Relaxed<bool> running;           // a run is in progress (worker sets, both clear)
    Relaxed<bool> quitRequested;     // set once at shutdown, never cleared
    Relaxed<bool> restartRequested;  // seed and run when idle (window sets, worker clears)
    Relaxed<bool> regionMode;        // passes splat into outputImage over the region
    Relaxed<bool> continuous;        // at a run end drift the start point and run again

    // Left-drag and right-click state; window thread only.
    bool dragging = false;
    bool dragFromOutputPane = false;
    bool noSnap = false;
    bool dragMoved = false;  // pointer motion seen since the left press
    int32_t dragStartX = 0;
    int32_t dragStartY = 0;
    int32_t dragEndX = 0;
    int32_t dragEndY = 0;

    // The worker's thread handle. Set at start-up. Whichever side takes it
    // with an exchange closes it: the worker as its last access to this
    // record (shutdown acquires that before it releases the blocks), or
    // shutdown when the worker outlasts the wait.
    std::atomic<void*> workerHandle{nullptr};

    // Module instance, for dialogs; stored untyped so the engine needs no
    // platform header. The main window's handle is the platform layer's.
    void* instance = nullptr;

    // Resource strings read at start-up.
    char windowTitle[100] = {};
    char className[100] = {};
};

extern AppState app;
