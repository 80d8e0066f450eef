#pragma once
// The one fixture of the engine, interaction and worker tests: the whole
// state record snapshotted and put back, the defaults a missing settings
// file gives, every block allocated, and one recorder of what the engine
// asked of the platform (titles, repaints, memory errors) and of run ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/Image.h"
#include "render/Samples.h"
#include "render/Worker.h"

// Every field of AppState, in two lists. The scalars a test may change are
// saved by ScopedAppState, put back at its end, and set to their start value
// by AppTest. The rest are not copied: the settings go through the settings
// table, the fixture allocates and releases the blocks, and the geometry and
// the resource strings never change.
#define HALOVANE_APP_SCALARS(X)                                                                  \
    X(regionWidth, 2.0f) X(regionReciprocal, 0.5f) X(regionCenterRe, 0.0f) X(regionCenterIm, 0.0f) \
    X(running, false) X(quitRequested, false) X(restartRequested, false) X(regionMode, false)      \
    X(continuous, false) X(dragging, false) X(dragFromOutputPane, false) X(noSnap, false)           \
    X(dragMoved, false) X(dragStartX, 0) X(dragStartY, 0) X(dragEndX, 0) X(dragEndY, 0)            \
    X(workerHandle, nullptr)
#define HALOVANE_APP_OTHER_FIELDS(X)                                                               \
    X(settings) X(viewWidth) X(viewHeight) X(viewScale) X(viewImage) X(outputImage) X(clientRect) \
    X(samples) X(blocksLock) X(instance) X(windowTitle) X(className)

namespace fixture_fields {

// The value a field holds, whatever wraps it.
template <typename T>
T Load(const Relaxed<T>& field) { return field; }
template <typename T>
T Load(const std::atomic<T>& field) { return field.load(); }
template <typename T>
T Load(const T& field) { return field; }

// Counts the initialisers AppState takes, so a field added to the record
// without a place in the lists above stops the build. An array takes one
// initialiser per element.
struct AnyField {
    template <typename T, typename = std::enable_if_t<!std::is_array_v<T>>>
    operator T() const;
};
template <typename T, typename Seq, typename = void>
struct Takes : std::false_type {};
template <typename T, std::size_t... I>
struct Takes<T, std::index_sequence<I...>, std::void_t<decltype(T{((void)I, AnyField{})...})>> : std::true_type {};
template <typename T, std::size_t N = 0>
constexpr std::size_t InitialiserCount()
{
    if constexpr (Takes<T, std::make_index_sequence<N + 1>>::value) return InitialiserCount<T, N + 1>();
    else return N;
}
template <typename T>
constexpr std::size_t Initialisers() { return std::is_array_v<T> ? std::extent_v<T> : 1; }

#define HALOVANE_COUNT_SCALAR(name, start) +Initialisers<decltype(AppState::name)>()
#define HALOVANE_COUNT_OTHER(name) +Initialisers<decltype(AppState::name)>()
static_assert(InitialiserCount<AppState>() ==
                  0 HALOVANE_APP_SCALARS(HALOVANE_COUNT_SCALAR) HALOVANE_APP_OTHER_FIELDS(HALOVANE_COUNT_OTHER),
              "a field of AppState is in neither list of tests/unit/Fixture.h");
#undef HALOVANE_COUNT_SCALAR
#undef HALOVANE_COUNT_OTHER

struct Scalars {
#define HALOVANE_DECLARE(name, start) decltype(Load(app.name)) name;
    HALOVANE_APP_SCALARS(HALOVANE_DECLARE)
#undef HALOVANE_DECLARE
};

inline Scalars Take()
{
    Scalars s;
#define HALOVANE_TAKE(name, start) s.name = Load(app.name);
    HALOVANE_APP_SCALARS(HALOVANE_TAKE)
#undef HALOVANE_TAKE
    return s;
}

inline void Put(const Scalars& s)
{
#define HALOVANE_PUT(name, start) app.name = s.name;
    HALOVANE_APP_SCALARS(HALOVANE_PUT)
#undef HALOVANE_PUT
}

inline void PutStartValues()
{
#define HALOVANE_START(name, start) app.name = start;
    HALOVANE_APP_SCALARS(HALOVANE_START)
#undef HALOVANE_START
}

}  // namespace fixture_fields

// The settings and every scalar of AppState, taken at construction and put
// back at destruction, so no test leaks a flag, a region or a setting into
// the next.
class ScopedAppState {
public:
    ScopedAppState() : settings(CaptureSettings()), scalars(fixture_fields::Take()) {}
    ~ScopedAppState()
    {
        RestoreSettings(settings);
        fixture_fields::Put(scalars);
    }
    ScopedAppState(const ScopedAppState&) = delete;
    ScopedAppState& operator=(const ScopedAppState&) = delete;

private:
    SettingsValues settings;
    fixture_fields::Scalars scalars;
};

// What the engine asked for, in order; safe to fill from the worker thread.
struct Recorder {
    std::mutex lock;
    std::vector<std::string> titles;
    std::vector<ClientRect> repaints;
    std::vector<std::string> memoryErrors;
    std::vector<std::string> previews;  // the files the shell was asked to show
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
        previews.clear();
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

inline void Preview(const char* file)
{
    Recorder& r = Recorded();
    std::lock_guard<std::mutex> hold(r.lock);
    r.previews.push_back(file);
}

inline const PlatformObserver observer = {Title, Repaint, MemoryError, Preview};

}  // namespace fixture_hooks

class AppTest : public ::testing::Test {
protected:
    ScopedAppState savedState;

    void SetUp() override
    {
        RestoreSettings(kDefaultSettings);
        fixture_fields::PutStartValues();
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
    static const std::vector<std::string>& Previews() { return Recorded().previews; }

    static uint8_t* ViewPixel(int32_t col, int32_t row) { return PixelAt(app.viewImage, col, row); }
    static uint8_t* OutputPixel(int32_t col, int32_t row) { return PixelAt(app.outputImage, col, row); }
};

// The interaction tests and the engine tests share the fixture.
using RenderEngineTest = AppTest;
using UiTest = AppTest;
