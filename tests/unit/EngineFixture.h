#pragma once
// Shared set-up for the render engine's tests: default settings, both images
// and the sample arrays allocated, an observer that records what the engine
// asks of the platform. Everything is put back afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Image.h"
#include "render/Samples.h"

namespace engine_fixture {

inline std::vector<std::string>& Titles()
{
    static std::vector<std::string> seen;
    return seen;
}

inline std::vector<std::string>& MemoryErrors()
{
    static std::vector<std::string> seen;
    return seen;
}

// Called after each recorded title, when set.
inline void (*&TitleHook())(const char*)
{
    static void (*hook)(const char*) = nullptr;
    return hook;
}

inline void RecordTitle(const char* text)
{
    Titles().push_back(text);
    if (TitleHook()) TitleHook()(text);
}

inline void RecordMemoryError(const char* text) { MemoryErrors().push_back(text); }

inline const PlatformObserver recorder = {RecordTitle, nullptr, RecordMemoryError};

}  // namespace engine_fixture

class RenderEngineTest : public ::testing::Test {
protected:
    SettingsValues saved = {};

    void SetUp() override
    {
        saved = CaptureSettings();
        RestoreSettings(kDefaultSettings);
        app.running = false;
        app.regionWidth = 2.0f;
        app.regionReciprocal = 0.5f;
        app.regionCenterRe = 0.0f;
        app.regionCenterIm = 0.0f;
        engine_fixture::Titles().clear();
        engine_fixture::MemoryErrors().clear();
        engine_fixture::TitleHook() = nullptr;
        SetPlatformObserver(&engine_fixture::recorder);
        InitBitmapHeaders();
        ASSERT_TRUE(AllocViewImage());
        ASSERT_TRUE(AllocOutputImage());
        ASSERT_TRUE(AllocSamples());
        ResetRandom();
    }

    void TearDown() override
    {
        ReleaseImages();
        ReleaseSamples();
        SetPlatformObserver(nullptr);
        engine_fixture::TitleHook() = nullptr;
        app.running = false;
        app.statusTitle = nullptr;
        app.regionWidth = 2.0f;
        app.regionReciprocal = 0.0f;
        RestoreSettings(saved);
    }

    static const std::vector<std::string>& Titles() { return engine_fixture::Titles(); }
    static const std::vector<std::string>& MemoryErrors() { return engine_fixture::MemoryErrors(); }
};
