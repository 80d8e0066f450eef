#pragma once
// Set-up for the interaction tests: the engine fixture's defaults and blocks,
// the run and drag state at rest, and a record of repaint requests and titles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineFixture.h"
#include "app/AppState.h"
#include "platform/Platform.h"

namespace ui_fixture {

inline std::vector<ClientRect>& Repaints()
{
    static std::vector<ClientRect> seen;
    return seen;
}

inline void RecordRepaint(const ClientRect& area) { Repaints().push_back(area); }

inline const PlatformObserver recorder = {engine_fixture::RecordTitle, RecordRepaint,
                                          engine_fixture::RecordMemoryError};

}  // namespace ui_fixture

class UiTest : public RenderEngineTest {
protected:
    void SetUp() override
    {
        RenderEngineTest::SetUp();
        ResetInputState();
        ui_fixture::Repaints().clear();
        SetPlatformObserver(&ui_fixture::recorder);
    }

    void TearDown() override
    {
        ResetInputState();
        ui_fixture::Repaints().clear();
        RenderEngineTest::TearDown();
    }

    static void ResetInputState()
    {
        app.restartRequested = false;
        app.regionMode = false;
        app.continuous = false;
        app.regionCenterRe = 0.0f;
        app.regionCenterIm = 0.0f;
        app.dragging = false;
        app.dragFromOutputPane = false;
        app.noSnap = false;
        app.dragMoved = false;
        app.dragStartX = app.dragStartY = app.dragEndX = app.dragEndY = 0;
    }

    static const std::vector<ClientRect>& Repaints() { return ui_fixture::Repaints(); }

    static uint8_t* ViewPixel(int32_t col, int32_t row)
    {
        return app.viewImage.pixels + (static_cast<size_t>(row) * app.viewImage.width + col) * 3;
    }
    static uint8_t* OutputPixel(int32_t col, int32_t row)
    {
        return app.outputImage.pixels + (static_cast<size_t>(row) * app.outputImage.width + col) * 3;
    }
};
