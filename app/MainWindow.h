#pragma once
// The main window and the start and end of the process.
#include <windows.h>

void RegisterMainClass(HINSTANCE instance);
// Creates, prepares and shows the main window; false if creation failed.
bool CreateMainWindow(HINSTANCE instance, int showCommand);
// Stops the render worker and releases the images and sample arrays.
void ShutdownWorker();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
