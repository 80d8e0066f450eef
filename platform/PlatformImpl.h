#pragma once
// The per-platform halves of the observed calls of Platform.h. Observer.cpp
// tells the observer first, then calls these; only the platform layer
// includes this header.
#include "base/SharedTypes.h"

void PlatformPostWindowTitle(const char* text);
void PlatformRequestRepaint(const ClientRect& area);
void PlatformShowMemoryError(const char* text);
void PlatformLaunchShellPreview(const char* file);
