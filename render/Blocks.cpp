#include "render/Blocks.h"

#include "app/AppState.h"
#include "render/Deep.h"
#include "render/Image.h"
#include "render/OutputLayers.h"
#include "render/Outline.h"
#include "render/Samples.h"

bool AllocBlocks()
{
    InitBitmapHeaders();
    return AllocViewImage() && AllocOutputImage() && AllocSamples();
}

void ClearImages()
{
    ZeroImage(app.viewImage);
    // The output image is absent after a failed reallocation.
    ZeroOutputImage();
    ZeroDeepImage();
    TraceOutline();
}

void ReleaseBlocks()
{
    ReleaseImages();
    ReleaseDeepImage();
    ReleaseSamples();
}
