#pragma once
// The main window "KXMainWnd": borderless and custom-drawn, with its shadow.

#include <windows.h>

// Starts GDI+, makes the fonts, initialises OLE, registers "KXMainWnd" and
// "KXSettings", creates and shows the main window (whose creation starts the
// catalog load), then its shadow. False when GDI+ cannot be started or the
// main window cannot be created; a missing shadow is no failure.
bool createMainWindow(HINSTANCE instance);

// The class procedure of "KXMainWnd".
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Marks the view as loading and fetches the catalog from the configured
// server on a worker, which answers with WM_APP_CATALOG_READY. UI thread.
void startCatalogLoad();
