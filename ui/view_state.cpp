#include "ui/view_state.h"

ViewState& viewState()
{
    static ViewState* state = new ViewState;
    return *state;
}

Catalog& appCatalog()
{
    static Catalog* catalog = new Catalog;
    return *catalog;
}

void showToast(const std::wstring& text, ToastKind kind)
{
    ViewState& view = viewState();
    view.toast.text = text;
    view.toast.kind = kind;
    view.toast.shownAt = GetTickCount();
    if (view.mainWindow) InvalidateRect(view.mainWindow, nullptr, FALSE);
}
