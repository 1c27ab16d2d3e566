#pragma once
// The DPI of windows and monitors, and the work area a window opens in.
// Windows 10 has the per-monitor calls; older systems and Wine answer with
// the system DPI where a call is missing.

#include <windows.h>

#include "ui/window_geometry.h"

// The DPI of a window (of its monitor, for a per-monitor-aware program).
int windowDpi(HWND window);
// The monitor the main window opens on: the one under the pointer.
HMONITOR startupMonitor();
int monitorDpi(HMONITOR monitor);
// The monitor's area without the taskbar, in pixels.
WorkArea workAreaOf(HMONITOR monitor);
// The sizing frame and padded border of a window at this DPI: how far
// Windows places a maximised window past the monitor's edges.
int maximizedOverhang(int dpi);
