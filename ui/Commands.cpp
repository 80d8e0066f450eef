#include <cstdlib>
#include <mutex>
#include <string>

#include "app/AppState.h"
#include "output/Bitmap.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/OutputLayers.h"
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

// The picture as it stands. During a shared run the helpers' layers hold
// part of it, so it is summed into a copy; the file is written with no lock
// held, so the worker never waits on the disk.
static bool WritePicture(const char* file, std::string& error)
{
    bool layered;
    {
        OutputLayerView layers;
        const std::unique_lock<std::mutex> hold = ReadOutputLayers(layers);
        layered = layers.count > 0;
    }
    if (!layered) return WriteOutputBitmap(file, error);
    RgbImage copy = {};
    if (!CopyOutputPicture(copy)) {
        error = "out of memory while preparing the image";
        return false;
    }
    const bool ok = WriteImageBitmap(copy, file, error);
    std::free(copy.pixels);
    return ok;
}

bool OnSave(std::string& message)
{
    const char* kFile = kOutputFileName;
    std::string error;
    const bool ok = WritePicture(kFile, error);
    if (!ok)
        message = std::string("Could not save ") + kFile + ": " + error + ". Any previous " + kFile +
                  " was left unchanged.";
    if (app.settings.Preview) LaunchPreview();
    return ok;
}
