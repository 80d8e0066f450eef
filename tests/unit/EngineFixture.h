#pragma once
// Shared set-up for the render engine's tests: default settings, both images
// and the sample arrays allocated, an observer that records what the engine
// asks of the platform. Everything is put back afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    struct Saved {
        int32_t ints[5];
        bool flags[5];
        float reals[10];
    } saved = {};

    void SetUp() override
    {
        Settings& s = app.settings;
        saved = {{s.Iterations, s.SamplePoints, s.Brightness, s.Width, s.Height},
                 {s.Clear, s.Julia, s.BorderOnly, s.CheckBailout, s.Preview},
                 {s.X, s.Y, s.CenterX, s.CenterY, s.DriftX, s.DriftY, s.SampleRadius,
                  s.BorderDistance, s.MaxBailout, s.MinBailout}};
        s.Iterations = 10000;
        s.SamplePoints = 320;
        s.Brightness = 12;
        s.Width = 2048;
        s.Height = 2048;
        s.Clear = true;
        s.Julia = false;
        s.BorderOnly = false;
        s.CheckBailout = false;
        s.Preview = false;
        s.X = 0.0f;
        s.Y = 0.0f;
        s.CenterX = -0.5f;
        s.CenterY = 0.0f;
        s.DriftX = 0.0f;
        s.DriftY = 0.0f;
        s.SampleRadius = 0.005f;
        s.BorderDistance = 0.00001f;
        s.MaxBailout = 4.0f;
        s.MinBailout = 0.00001f;
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
        Settings& s = app.settings;
        s.Iterations = saved.ints[0];
        s.SamplePoints = saved.ints[1];
        s.Brightness = saved.ints[2];
        s.Width = saved.ints[3];
        s.Height = saved.ints[4];
        s.Clear = saved.flags[0];
        s.Julia = saved.flags[1];
        s.BorderOnly = saved.flags[2];
        s.CheckBailout = saved.flags[3];
        s.Preview = saved.flags[4];
        s.X = saved.reals[0];
        s.Y = saved.reals[1];
        s.CenterX = saved.reals[2];
        s.CenterY = saved.reals[3];
        s.DriftX = saved.reals[4];
        s.DriftY = saved.reals[5];
        s.SampleRadius = saved.reals[6];
        s.BorderDistance = saved.reals[7];
        s.MaxBailout = saved.reals[8];
        s.MinBailout = saved.reals[9];
    }

    static const std::vector<std::string>& Titles() { return engine_fixture::Titles(); }
    static const std::vector<std::string>& MemoryErrors() { return engine_fixture::MemoryErrors(); }
};
