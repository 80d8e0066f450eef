#include <string>

#include "app/AppState.h"
#include "output/Bitmap.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "ui/Input.h"

void OnClear()
{
    // A run in progress goes on, in view mode from its next pass.
    ClearImages();
    RequestRepaint(app.clientRect);
    app.regionMode = false;
    app.continuous = false;
}

void OnGo()
{
    app.continuous = false;
    if (app.settings.Clear) ClearImages();
    // The drifted start point is stored before the run is requested.
    DriftStartPoint();
    app.restartRequested = true;
}

void OnContinuous()
{
    app.continuous = true;
    app.restartRequested = true;
}

void OnStop()
{
    // A pending restart is kept: it starts as soon as the worker is idle.
    app.continuous = false;
    StopRender();
}

bool OnSave(std::string& message)
{
    const char* kFile = kOutputFileName;
    std::string error;
    const bool ok = WriteOutputBitmap(kFile, error);
    if (!ok)
        message = std::string("Could not save ") + kFile + ": " + error + ". Any previous " + kFile +
                  " was left unchanged.";
    if (app.settings.Preview) LaunchPreview();
    return ok;
}
