#pragma once
// Painting of the two panes and the selection rectangle.
#include <windows.h>

// Draws into dc the part of the client area inside area.
void PaintPanes(HDC dc, const RECT& area);
