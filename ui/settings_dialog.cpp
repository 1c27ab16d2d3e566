#include "ui/settings_dialog.h"

HWND settingsDialogHwnd = nullptr;

// Placeholder until the dialog arrives.
void openSettingsDialog() {}

LRESULT CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}
