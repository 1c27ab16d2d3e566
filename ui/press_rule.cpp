#include "ui/press_rule.h"

Press pressAt(ZoneRef under, bool secondOfDoubleClick)
{
    if (under.empty() || secondOfDoubleClick) return {};
    return {under, true};
}

Press pointerMoved(Press press, ZoneRef under)
{
    press.inside = !press.zone.empty() && press.zone == under;
    return press;
}

ZoneRef releaseAt(Press press, ZoneRef under)
{
    if (press.zone.empty() || press.zone != under) return {};
    return press.zone;
}
