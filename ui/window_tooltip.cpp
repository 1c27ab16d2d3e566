// A tooltip shows the whole of a name, path or error drawn cut with an
// ellipsis. The frame's layout names the spots where such text is drawn; the
// text under the pointer is measured with the font it is drawn in.

#include <windows.h>
#include <commctrl.h>

#include "download/download_folder.h"
#include "ui/app_actions.h"
#include "ui/draw.h"
#include "ui/paint_context.h"
#include "ui/window_messages.h"

namespace {

constexpr UINT_PTR kToolId = 1;
constexpr int kTipWidth = 480;  // wider texts wrap

// The cut text the tip shows now, if any. UI thread.
struct TipState {
    TextSpot spot;
    bool showing = false;
};

TipState& tipState()
{
    static TipState* state = new TipState;
    return *state;
}

struct SpotText {
    std::wstring text;
    HFONT font = nullptr;
    std::wstring after = {};  // drawn 5 units right of text (a card's version)

    std::wstring whole() const { return after.empty() ? text : text + L"  " + after; }
};

TOOLINFOW toolInfo(HWND window)
{
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = window;
    info.uId = kToolId;
    return info;
}

std::wstring taskName(const TaskView& task)
{
    const bool mismatch = task.state == TaskState::Downloaded && !task.md5Ok;
    return mismatch ? task.name + L"  (MD5 校验不一致)" : task.name;
}

SpotText spotText(const TextSpot& spot)
{
    const ViewState& view = viewState();
    const Fonts& fonts = view.fonts;
    const Catalog& catalog = appCatalog();
    switch (spot.kind) {
    case TextSpotKind::CategoryName:
        if (spot.id >= 0 && static_cast<size_t>(spot.id) < catalog.categories.size())
            return {catalog.categories[static_cast<size_t>(spot.id)].name, fonts.sidebar};
        return {};
    case TextSpotKind::CardName: {
        auto app = findApp(catalog, spot.id);
        if (!app) app = findSearchResult(catalog, spot.id);
        if (!app) return {};
        return {app->name, fonts.strong, app->version.empty() ? std::wstring() : L"v" + app->version};
    }
    case TextSpotKind::TaskName:
    case TextSpotKind::TaskStatus: {
        TaskView task{};
        if (!findTaskView(spot.id, task)) return {};
        if (spot.kind == TextSpotKind::TaskName) return {taskName(task), fonts.strong};
        return {taskStatusText(task), fonts.status};
    }
    case TextSpotKind::DownloadFolder: return {knownDownloadFolder(), fonts.small};
    case TextSpotKind::BannerTitle: return {view.banner.title, fonts.strong};
    }
    return {};
}

const TextSpot* spotAt(const FrameLayout& layout, POINT client)
{
    const int x = layout.scale.logical(client.x);
    const int y = layout.scale.logical(client.y);
    for (auto it = layout.textSpots.rbegin(); it != layout.textSpots.rend(); ++it)
        if (it->rect.contains(x, y)) return &*it;
    return nullptr;
}

// True when the text does not fit the spot and is drawn cut.
bool isCut(HWND window, const SpotText& text, const Rect& pixels)
{
    if (text.text.empty()) return false;
    HDC dc = GetDC(window);
    if (!dc) return false;
    int width = textWidth(dc, text.font, text.text);
    if (!text.after.empty()) width += viewState().scale.px(5) + textWidth(dc, text.font, text.after);
    ReleaseDC(window, dc);
    return width > pixels.width();
}

}  // namespace

void createTooltip(HWND window)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (!tip) return;
    TOOLINFOW info = toolInfo(window);
    // The tool covers nothing until text under the pointer turns out cut.
    info.uFlags = TTF_SUBCLASS;
    info.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, viewState().scale.px(kTipWidth));
    viewState().tooltip = tip;
}

void rescaleTooltip(const Scale& scale)
{
    if (HWND tip = viewState().tooltip) SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, scale.px(kTipWidth));
}

void updateTooltip(HWND window, POINT client)
{
    ViewState& view = viewState();
    if (!view.tooltip) return;
    TipState& tip = tipState();
    const TextSpot* spot = spotAt(view.layout, client);
    const TextSpot& shown = tip.spot;
    if (spot && tip.showing && spot->kind == shown.kind && spot->id == shown.id && spot->rect == shown.rect) return;
    if (!spot && !tip.showing) return;

    TOOLINFOW info = toolInfo(window);
    tip.showing = false;
    std::wstring text;
    if (spot) {
        const SpotText found = spotText(*spot);
        const Rect pixels = view.scale.px(spot->rect);
        if (isCut(window, found, pixels)) {
            tip.spot = *spot;
            tip.showing = true;
            text = found.whole();
            info.rect = RECT{pixels.left, pixels.top, pixels.right, pixels.bottom};
        }
    }
    SendMessageW(view.tooltip, TTM_POP, 0, 0);
    SendMessageW(view.tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(view.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}
