#pragma once
// What the user's commands and mouse gestures do to AppState. The window
// procedure reads the pointer position from the system and calls these;
// they are platform-free so their effects can be tested without a window.
#include <cstdint>
#include <string>

#include "base/SharedTypes.h"

void OnClear();
void OnGo();
void OnContinuous();
void OnStop();
// Writes "output.bmp" (then the preview when Preview is on). False with a
// message for the user that names the file and the reason.
bool OnSave(std::string& message);

// Client coordinates, y downward.
void OnLeftPress(int32_t x, int32_t y);
// While dragging: moves the end corner and requests a repaint of the selection.
void OnMouseMove(int32_t x, int32_t y);
void OnLeftRelease();
void OnRightPress(bool shiftHeld);
void OnRightRelease(int32_t x, int32_t y);

// The gestures at plane level, shared by the mouse handlers and
// halovane-render. ChooseStartPoint stores p as the start point (X, Y),
// pulled onto the set border when snap is set, and returns what it stored.
PlanePoint ChooseStartPoint(PlanePoint p, bool snap);
// The red marker of a chosen start point, in the view image.
void MarkStartPoint(PixelPoint at);
// The square region of the given side centred at (centreRe, centreIm), each
// stored rounded to float, and region mode. Requests no run.
void SelectRegion(double centreRe, double centreIm, double side);

// The start point a right click chooses: p pulled onto the set border,
// unless the walk ends at a non-finite coordinate, when p is kept.
PlanePoint SnappedStartPoint(PlanePoint p);
