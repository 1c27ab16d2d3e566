#pragma once
// Painting of the main window's client area.

#include <windows.h>

// WM_PAINT: draws the whole client area off-screen from viewState(),
// appCatalog(), the download manager's snapshot and the configuration, records
// the hit zones, and copies the frame to dc in one blit.
void paintMainWindow(HDC dc, const RECT& client);
