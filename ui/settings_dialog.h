#pragma once
// The "下载设置" dialog: the download folder, chosen with the shell's picker.

#include <windows.h>

// The open dialog, or null; the message loop routes its keys through
// IsDialogMessageW while it is set.
extern HWND settingsDialogHwnd;

// UI thread. Brings an open dialog to the front; otherwise creates it centred
// over the main window, which stays disabled until the dialog closes.
void openSettingsDialog();

// The class procedure of "KXSettings", registered by createMainWindow.
LRESULT CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
