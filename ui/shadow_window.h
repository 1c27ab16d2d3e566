#pragma once
// The layered drop shadow "KXShadow" that follows the main window.

#include <windows.h>

#include <cstdint>

#include "ui/scale.h"

// The class procedure of "KXShadow": it never paints, UpdateLayeredWindow
// supplies its pixels.
LRESULT CALLBACK shadowWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "KXShadow" and creates the shadow around main's window rectangle.
// Null when it cannot be made: the program then runs without a shadow.
HWND createShadowWindow(HINSTANCE instance, HWND main);

// Hides the shadow while main is minimised, maximised or hidden; otherwise
// rebuilds its bitmap when main's size changed and puts it just below main.
// Nothing happens while viewState().shadowWindow or main is null.
void updateShadow(HWND main);

// Puts a shown shadow back directly below main when something else came
// between them (under Wine the first events after showing lift it above
// main). Cheap when it is in place: for activation and the timer.
void keepShadowBelow(HWND main);

// Draws the shadow of a width x height window into pixels, a top-down
// (width + 2m) x (height + 2m) image of premultiplied 32-bit BGRA that must
// start all zero, m being the scaled 18-unit margin. False when GDI+ could
// not draw.
bool renderShadowPixels(uint32_t* pixels, int width, int height, const Scale& scale = Scale());
