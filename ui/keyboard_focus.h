#pragma once
// Keyboard use of the main window, decided on a laid-out frame: which zone
// the focus moves to, and how far a list scrolls to show it or for the page
// keys. Platform-free.

#include "ui/frame_layout.h"

enum class FocusMove { Next, Previous, Left, Right, Up, Down };

// Tab and Shift+Tab walk the frame's focus order and wrap; with nothing
// focused they start at its first or last entry. The arrows move between
// categories (up, down), between cards as they sit in the grid, and between
// the download rows and along a row's buttons. A move that leads nowhere
// keeps the focus where it is.
ZoneRef moveFocus(const FrameLayout& layout, ZoneRef current, FocusMove move);

// The focus after a new frame: kept while the thing is still there; a row
// button whose task changed state moves to that row's first button ("暂停"
// to "继续", so that a second Enter never cancels); else none.
ZoneRef repairFocus(const FrameLayout& layout, ZoneRef current);

struct ScrollChange {
    ScrollTarget target = ScrollTarget::None;  // None: nothing to scroll
    int offset = 0;
};

// The least scrolling that shows the focused thing whole.
ScrollChange revealFocus(const FrameLayout& layout, ZoneRef focus);

enum class PageKey { PageUp, PageDown, Home, End };
// The page keys scroll the list holding the focus: the sidebar for a
// category, else the page's grid or download rows.
ScrollChange pageKeyScroll(const FrameLayout& layout, ZoneRef focus, PageKey key);
