#pragma once
// The one fixture of the engine, interaction and worker tests: the whole
// state record snapshotted and put back, the defaults a missing settings
// file gives, every block allocated, and one recorder of what the engine
// asked of the platform (titles, repaints, memory errors) and of run ends.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/Image.h"
#include "render/Samples.h"
#include "render/Worker.h"

// Every scalar of AppState, taken at construction and put back at
// destruction, so no test leaks a flag, a region or a setting into the next.
// The blocks are not copied: the fixture allocates and releases them.
class ScopedAppState {
public:
    ScopedAppState()
        : settings(CaptureSettings()),
          regionWidth(app.regionWidth),
          regionReciprocal(app.regionReciprocal),
          regionCenterRe(app.regionCenterRe),
          regionCenterIm(app.regionCenterIm),
          running(app.running),
          quitRequested(app.quitRequested),
          restartRequested(app.restartRequested),
          regionMode(app.regionMode),
          continuous(app.continuous),
          dragging(app.dragging),
          dragFromOutputPane(app.dragFromOutputPane),
          noSnap(app.noSnap),
          dragMoved(app.dragMoved),
          drag{app.dragStartX, app.dragStartY, app.dragEndX, app.dragEndY},
          workerHandle(app.workerHandle.load())
    {
    }
    ~ScopedAppState()
    {
        RestoreSettings(settings);
        app.regionWidth = regionWidth;
        app.regionReciprocal = regionReciprocal;
        app.regionCenterRe = regionCenterRe;
        app.regionCenterIm = regionCenterIm;
        app.running = running;
        app.quitRequested = quitRequested;
        app.restartRequested = restartRequested;
        app.regionMode = regionMode;
        app.continuous = continuous;
        app.dragging = dragging;
        app.dragFromOutputPane = dragFromOutputPane;
        app.noSnap = noSnap;
        app.dragMoved = dragMoved;
        app.dragStartX = drag[0];
        app.dragStartY = drag[1];
        app.dragEndX = drag[2];
        app.dragEndY = drag[3];
        app.workerHandle.store(workerHandle);
    }
    ScopedAppState(const ScopedAppState&) = delete;
    ScopedAppState& operator=(const ScopedAppState&) = delete;

private:
    SettingsValues settings;
    float regionWidth, regionReciprocal, regionCenterRe, regionCenterIm;
    bool running, quitRequested, restartRequested, regionMode, continuous;
    bool dragging, dragFromOutputPane, noSnap, dragMoved;
    int32_t drag[4];
    void* workerHandle;
};

// What the engine asked for, in order; safe to fill from the worker thread.
struct Recorder {
    std::mutex lock;
    std::vector<std::string> titles;
    std::vector<ClientRect> repaints;
    std::vector<std::string> memoryErrors;
    int runEnds = 0;
    // Called after each record, on the calling thread, when set.
    std::function<void(const char*)> onTitle;
    std::function<void(int runEnds)> onRunEnd;

    void Clear()
    {
        std::lock_guard<std::mutex> hold(lock);
        titles.clear();
        repaints.clear();
        memoryErrors.clear();
        runEnds = 0;
        onTitle = nullptr;
        onRunEnd = nullptr;
    }
};

inline Recorder& Recorded()
{
    static Recorder recorder;
    return recorder;
}

namespace fixture_hooks {

inline void Title(const char* text)
{
    Recorder& r = Recorded();
    {
        std::lock_guard<std::mutex> hold(r.lock);
        r.titles.push_back(text);
    }
    if (r.onTitle) r.onTitle(text);
}

inline void Repaint(const ClientRect& area)
{
    Recorder& r = Recorded();
    std::lock_guard<std::mutex> hold(r.lock);
    r.repaints.push_back(area);
}

inline void MemoryError(const char* text)
{
    Recorder& r = Recorded();
    std::lock_guard<std::mutex> hold(r.lock);
    r.memoryErrors.push_back(text);
}

inline void RunEnd()
{
    Recorder& r = Recorded();
    int count;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        count = ++r.runEnds;
    }
    if (r.onRunEnd) r.onRunEnd(count);
}

inline const PlatformObserver observer = {Title, Repaint, MemoryError};

}  // namespace fixture_hooks

class AppTest : public ::testing::Test {
protected:
    ScopedAppState savedState;

    void SetUp() override
    {
        RestoreSettings(kDefaultSettings);
        app.running = false;
        app.quitRequested = false;
        app.restartRequested = false;
        app.regionMode = false;
        app.continuous = false;
        app.regionWidth = 2.0f;
        app.regionReciprocal = 0.5f;
        app.regionCenterRe = 0.0f;
        app.regionCenterIm = 0.0f;
        app.dragging = false;
        app.dragFromOutputPane = false;
        app.noSnap = false;
        app.dragMoved = false;
        app.dragStartX = app.dragStartY = app.dragEndX = app.dragEndY = 0;
        app.workerHandle.store(nullptr);
        Recorded().Clear();
        SetPlatformObserver(&fixture_hooks::observer);
        SetRunEndListener(fixture_hooks::RunEnd);
        ASSERT_TRUE(AllocBlocks());
        ResetRandom();
    }

    void TearDown() override
    {
        ReleaseBlocks();
        SetPlatformObserver(nullptr);
        SetRunEndListener(nullptr);
        Recorded().Clear();
    }

    static const std::vector<std::string>& Titles() { return Recorded().titles; }
    static const std::vector<ClientRect>& Repaints() { return Recorded().repaints; }
    static const std::vector<std::string>& MemoryErrors() { return Recorded().memoryErrors; }

    static uint8_t* ViewPixel(int32_t col, int32_t row) { return PixelAt(app.viewImage, col, row); }
    static uint8_t* OutputPixel(int32_t col, int32_t row) { return PixelAt(app.outputImage, col, row); }
};

// The interaction tests and the engine tests share the fixture.
using RenderEngineTest = AppTest;
using UiTest = AppTest;
