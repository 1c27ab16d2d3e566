#pragma once

#include <windows.h>

// Starts GDI+ and OLE, registers "KXMainWnd" and creates and shows the main
// window, which starts the catalog load. False when GDI+ cannot be started or
// the window cannot be created.
bool createMainWindow(HINSTANCE instance);
