#pragma once
// The main window's 13 fonts, "Microsoft YaHei" at fixed pixel heights.

#include "ui/view_state.h"

// Made once by createMainWindow and kept for the run; a font that cannot be
// made stays null and text falls back to the DC's font.
Fonts createFonts();
