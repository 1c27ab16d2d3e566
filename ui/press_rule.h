#pragma once
// Buttons act like buttons: an action fires on button-up over the zone where
// the press began; moving off first and releasing elsewhere does nothing; the
// second press of a double-click never acts. Platform-free.

#include "ui/hit_kind.h"

// A held left button. Empty zone: nothing is held.
struct Press {
    ZoneRef zone;
    bool inside = false;  // the pointer is over it now: it looks pressed
};

// Button-down over `under` (empty: no zone). The second press of a
// double-click starts nothing, so a double-click acts once.
Press pressAt(ZoneRef under, bool secondOfDoubleClick);
// The pointer moved over `under` while the button is held.
Press pointerMoved(Press press, ZoneRef under);
// Button-up over `under`: the zone whose action fires, or an empty one.
ZoneRef releaseAt(Press press, ZoneRef under);
