// The download-manager page: header with the task count, "清除已完成" and the
// download folder line, then one row per task, scrolled like the grid.

#include <cwchar>

#include "ui/draw.h"
#include "ui/format.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"
#include "ui/row_status.h"

namespace {

constexpr UINT kPathLine = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_END_ELLIPSIS;

TaskState::Value stateOf(const TaskView& task) { return static_cast<TaskState::Value>(task.state); }

void paintSmallButton(Canvas& c, const Rect& rect, const wchar_t* label, HitKind kind, bool outlineOnHover)
{
    bool hovered = c.hovered(kind);
    fillRoundRect(c.g, rect, 13, kCardFill);
    strokeRoundRect(c.g, rect, 13, hovered && outlineOnHover ? kButtonOutlineHover : kButtonOutline);
    drawText(c.dc, c.fonts.button, label, rect, hovered ? kTextAccent : kTextSecondary, kCentredLine);
    c.addZone(rect, kind);
}

void paintHeader(Canvas& c)
{
    const int w = c.width;
    wchar_t heading[64];
    std::swprintf(heading, 64, L"下载管理 · %d 个任务", static_cast<int>(c.input.tasks.size()));
    drawText(c.dc, c.fonts.heading, heading, {224, 82, w - 200, 116}, kTextPrimary, kLeftLine);
    paintSmallButton(c, panelClearButtonRect(w), L"清除已完成", HitKind::PanelClearFinished, false);
    drawText(c.dc, c.fonts.small, L"下载目录：", {224, 122, 300, 146}, kTextSecondary, kLeftLine);
    drawText(c.dc, c.fonts.small, c.input.downloadFolder, {300, 122, w - 250, 146}, kTextMuted, kPathLine);
    paintSmallButton(c, panelOpenFolderButtonRect(w), L"打开目录", HitKind::PanelOpenDownloadFolder, true);
    paintSmallButton(c, panelChangeFolderButtonRect(w), L"修改目录", HitKind::PanelChangeFolder, true);
}

void paintProgress(Canvas& c, const TaskView& task, int y)
{
    const int w = c.width;
    Rect track{298, y - 12, w - 260, y - 6};
    fillRoundRect(c.g, track, 3, kProgressTrack);
    switch (stateOf(task)) {
    case TaskState::Downloading: {
        int percent = transferPercent(task.received, task.size);
        int width = percent >= 1 ? panelProgressWidth(percent, w) : 0;
        if (width >= 1) fillRoundRect(c.g, {298, y - 12, 298 + width, y - 6}, 3, kAccent);
        break;
    }
    case TaskState::Downloaded:
    case TaskState::Installed:
    case TaskState::Installing:
    case TaskState::InstallUnconfirmed: fillRoundRect(c.g, track, 3, kProgressDone); break;
    case TaskState::Failed: fillRoundRect(c.g, track, 3, kProgressFailed); break;
    default: break;
    }
}

RowStatus statusLine(const TaskView& task)
{
    if (stateOf(task) == TaskState::Downloading) {
        std::wstring text = formatSize(task.received) + L" / " + formatSize(task.size) + L" · " + formatSpeed(task.speed);
        if (task.retries > 0) text += L" · 网络波动，正在重试";
        return {text, kTextMuted};
    }
    return rowStatus({task.state, task.isArchive, task.error, {task.signature, task.publisher}});
}

const wchar_t* buttonLabel(PanelAction action)
{
    switch (action) {
    case PanelAction::Cancel: return L"取消";
    case PanelAction::Install: return L"安装";
    case PanelAction::OpenFolder: return L"打开文件夹";
    case PanelAction::Retry: return L"重试";
    }
    return L"";
}

void paintRowButtons(Canvas& c, const TaskView& task, int y)
{
    for (const PanelButton& button : panelRowButtons(static_cast<int32_t>(task.state), task.isArchive, c.width, y)) {
        if (button.filled) {
            fillRoundRect(c.g, button.rect, 15, kAccent);
        } else {
            fillRoundRect(c.g, button.rect, 15, kCardFill);
            strokeRoundRect(c.g, button.rect, 15, kButtonOutline);
        }
        drawText(c.dc, c.fonts.button, buttonLabel(button.action), button.rect,
                 button.filled ? kTextWhite : kTextSecondary, kCentredLine);
        c.addZone(button.rect, static_cast<HitKind>(button.action), task.id);
    }
}

void paintRow(Canvas& c, const PanelLayout& layout, int index, const TaskView& task)
{
    const int w = c.width;
    const int y = panelRowLine(layout, index);
    Rect card = panelRowCard(layout, index);
    if (!c.chrome || !c.chrome->paint(c.dc, card, 10, kCardFill, kRowOutline, kWindowBackground)) {
        fillRoundRect(c.g, card, 10, kCardFill);
        strokeRoundRect(c.g, card, 10, kRowOutline);
    }

    auto app = findApp(c.input.catalog, task.id);
    if (!app) app = findSearchResult(c.input.catalog, task.id);
    paintAppIcon(c, app, {236, y - 39, 284, y + 9});

    bool mismatch = stateOf(task) == TaskState::Downloaded && !task.md5Ok;
    drawText(c.dc, c.fonts.strong, mismatch ? task.name + L"  (MD5 校验不一致)" : task.name,
             {298, y - 46, w - 260, y - 22}, mismatch ? kTextRed : kTextPrimary, kLeftLine);
    paintProgress(c, task, y);
    RowStatus status = statusLine(task);
    drawText(c.dc, c.fonts.status, status.text, {298, y - 2, w - 260, y + 18}, status.colour, kLeftLine);
    paintRowButtons(c, task, y);
}

}  // namespace

void paintDownloadPanel(Canvas& c)
{
    paintHeader(c);
    const auto& tasks = c.input.tasks;
    if (tasks.empty()) {
        drawText(c.dc, c.fonts.body, L"暂无下载任务，去首页挑几款软件吧", {kSidebarWidth, 214, c.width, 284}, kTextMuted,
                 kCentredLine);
        return;
    }
    PanelLayout layout = panelLayout(c.width, c.height, static_cast<int>(tasks.size()), c.view.panelScroll);
    c.view.panelScroll = layout.scroll;
    {
        gdi::Clip clip(c.dc, c.g, panelClipRect(layout));
        ZoneClip zones(c, panelClipRect(layout));
        int index = 0;
        for (const auto& entry : tasks) {
            if (panelRowVisible(layout, index)) paintRow(c, layout, index, entry.second);
            ++index;
        }
    }
    if (layout.maximum > 0) {
        fillRoundRect(c.g, panelTrackRect(layout), 2, kScrollTrack);
        fillRoundRect(c.g, panelThumbRect(layout), 2, kScrollThumb);
    }
}
