#include "ui/paint.h"

#include "ui/view_state.h"

// Placeholder until the painters arrive: the window background only.
void paintMainWindow(HDC dc, const RECT& client)
{
    viewState().hitZones.clear();
    HBRUSH background = CreateSolidBrush(RGB(245, 246, 248));
    FillRect(dc, &client, background);
    DeleteObject(background);
}
