#pragma once
// The main window: class, creation and procedure.
#include <windows.h>

void RegisterMainClass(HINSTANCE instance);
// Creates, prepares and shows the main window; false if creation failed.
bool CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
