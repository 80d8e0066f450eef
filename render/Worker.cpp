#include "render/Worker.h"

#include "app/AppState.h"
#include "platform/Platform.h"

void SetStatusTitle(const char* text)
{
    app.statusTitle = text;
    PostWindowTitle(text);
}

void StopRender()
{
    app.running = false;
    SetStatusTitle("stopped");
}

// (the worker loop and the passes are being written)
