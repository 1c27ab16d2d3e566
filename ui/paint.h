#pragma once
// Painting of the main window's client area.

#include <windows.h>

// WM_PAINT: draws the whole client area off-screen from viewState(),
// appCatalog(), the download manager's snapshot, the configured server and the
// download folder, records the hit zones, and copies the frame to dc in one
// blit. The drawing itself is paintFrame (ui/paint_context.h), which takes all
// of that as a FrameInput.
void paintMainWindow(HDC dc, const RECT& client);
