#pragma once
// The "下载设置" dialog: the download folder, chosen with the shell's picker.

#include <windows.h>

// Control ids; the buttons' ids are also their WM_COMMAND codes.
constexpr int kSettingsCancelId = 1;
constexpr int kSettingsSaveId = 2;
constexpr int kSettingsBrowseId = 3;
constexpr int kSettingsFolderEditId = 103;

// The open dialog, or null; the message loop routes its keys through
// IsDialogMessageW while it is set.
extern HWND settingsDialogHwnd;

// Registers "KXSettings" with settingsDialogProc (arrow cursor, window-colour
// background, no icon). True when the class exists afterwards.
bool registerSettingsDialogClass(HINSTANCE instance);

// UI thread. Brings an open dialog to the front; otherwise creates it centred
// over viewState().mainWindow, which stays disabled until the dialog closes.
void openSettingsDialog();

// The class procedure of "KXSettings".
LRESULT CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
