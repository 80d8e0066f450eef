#include <windows.h>

#include "settings/Dialogs.h"
#include "settings/Properties.h"

namespace {

HWND AsWindow(void* dialog) { return static_cast<HWND>(dialog); }

void SetInt(void* dialog, int id, uint32_t value) { SetDlgItemInt(AsWindow(dialog), id, value, FALSE); }

uint32_t GetInt(void* dialog, int id) { return GetDlgItemInt(AsWindow(dialog), id, nullptr, FALSE); }

void SetText(void* dialog, int id, const char* text) { SetDlgItemTextA(AsWindow(dialog), id, text); }

void GetText(void* dialog, int id, char* buffer, int capacity)
{
    if (GetDlgItemTextA(AsWindow(dialog), id, buffer, capacity) == 0) buffer[0] = '\0';
}

void SetCheck(void* dialog, int id, bool on)
{
    SendDlgItemMessageA(AsWindow(dialog), id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool GetCheck(void* dialog, int id) { return SendDlgItemMessageA(AsWindow(dialog), id, BM_GETCHECK, 0, 0) != 0; }

void End(void* dialog, intptr_t result) { EndDialog(AsWindow(dialog), result); }

const DialogOps kDialogOps = {SetInt, GetInt, SetText, GetText, SetCheck, GetCheck, End};

// The actions the program passed when it opened the dialog.
const PropertiesActions* Actions(HWND dialog)
{
    return reinterpret_cast<const PropertiesActions*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

}  // namespace

INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        FillProperties(kDialogOps, dialog);
        // The platform puts the focus on the first field.
        return TRUE;
    }
    if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDOK:
            // A failed OK leaves the dialog open.
            ApplyProperties(kDialogOps, *Actions(dialog), dialog);
            return TRUE;
        case IDCANCEL:
            CancelProperties(kDialogOps, dialog);
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND) {
        const WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(dialog, id);
            return TRUE;
        }
    }
    return FALSE;
}
