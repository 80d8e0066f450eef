#pragma once
// The dialog procedures of the Windows program.
#include <windows.h>

// lParam of the dialog's creation: the PropertiesActions to apply with.
INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
