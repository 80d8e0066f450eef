#pragma once
// The grey outline of the set and the pane divider in the view image.

bool QuickInside(float re, float im);
void TraceOutline();
void ClearImages();
