#include <string>

#include "app/AppState.h"
#include "output/Bitmap.h"
#include "platform/Platform.h"
#include "render/Outline.h"
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
    app.settings.X = static_cast<float>(static_cast<double>(app.settings.X) + app.settings.DriftX);
    app.settings.Y = static_cast<float>(static_cast<double>(app.settings.Y) + app.settings.DriftY);
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
    static const char kFile[] = "output.bmp";
    std::string error;
    const bool ok = WriteBitmap(kFile, error);
    if (!ok)
        message = std::string("Could not save ") + kFile + ": " + error + ". Any previous " + kFile +
                  " was left unchanged.";
    if (app.settings.Preview) LaunchPreview();
    return ok;
}
