// The download-manager page: header with the task count, "清除已完成" and the
// download folder line, then one row per task, scrolled like the grid.

#include <cwchar>

#include "ui/format.h"
#include "ui/paint_context.h"
#include "ui/row_status.h"

namespace {

constexpr UINT kPathLine = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_END_ELLIPSIS;

TaskState::Value stateOf(const TaskView& task) { return static_cast<TaskState::Value>(task.state); }

void paintSmallButton(const Canvas& c, const Rect& rect, const wchar_t* label, HitKind kind, bool outlineOnHover)
{
    bool hovered = c.hovered(kind);
    c.fillRoundRect(rect, 13, kCardFill);
    c.strokeRoundRect(rect, 13, hovered && outlineOnHover ? kButtonOutlineHover : kButtonOutline);
    c.text(c.fonts.button, label, rect, hovered ? kTextAccent : kTextSecondary, kCentredLine);
}

void paintHeader(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    wchar_t heading[64];
    std::swprintf(heading, 64, L"下载管理 · %d 个任务", static_cast<int>(c.input.tasks.size()));
    c.text(c.fonts.heading, heading, f.heading, kTextPrimary, kLeftLine);
    paintSmallButton(c, f.clearButton, L"清除已完成", HitKind::PanelClearFinished, false);
    c.text(c.fonts.small, L"下载目录：", f.folderLabel, kTextSecondary, kLeftLine);
    c.text(c.fonts.small, c.input.downloadFolder, f.folderPath, kTextMuted, kPathLine);
    paintSmallButton(c, f.openFolderButton, L"打开目录", HitKind::PanelOpenDownloadFolder, true);
    paintSmallButton(c, f.changeFolderButton, L"修改目录", HitKind::PanelChangeFolder, true);
}

void paintProgress(const Canvas& c, const TaskView& task, int y)
{
    const int w = c.layout.width;
    const Rect track = panelRowTrackRect(w, y);
    c.fillRoundRect(track, 3, kProgressTrack);
    switch (stateOf(task)) {
    case TaskState::Downloading:
    case TaskState::Paused: {
        int percent = transferPercent(task.received, task.size);
        int width = percent >= 1 ? panelProgressWidth(percent, w) : 0;
        if (width >= 1) c.fillRoundRect({track.left, track.top, track.left + width, track.bottom}, 3, kAccent);
        break;
    }
    case TaskState::Downloaded:
    case TaskState::Installed:
    case TaskState::Installing:
    case TaskState::InstallUnconfirmed: c.fillRoundRect(track, 3, kProgressDone); break;
    case TaskState::Failed: c.fillRoundRect(track, 3, kProgressFailed); break;
    default: break;
    }
}

RowStatus statusLine(const TaskView& task)
{
    const std::wstring held = formatSize(task.received) + L" / " + formatSize(task.size);
    if (stateOf(task) == TaskState::Downloading) {
        std::wstring text = held + L" · " + formatSpeed(task.speed);
        if (task.retries > 0) text += L" · 网络波动，正在重试";
        return {text, kTextMuted};
    }
    if (stateOf(task) == TaskState::Paused) return {held + L" · 已暂停", kTextMuted};
    return rowStatus({task.state, task.isArchive, task.error, {task.signature, task.publisher}});
}

const wchar_t* buttonLabel(PanelAction action)
{
    switch (action) {
    case PanelAction::Cancel: return L"取消";
    case PanelAction::Install: return L"安装";
    case PanelAction::OpenFolder: return L"打开文件夹";
    case PanelAction::Retry: return L"重试";
    case PanelAction::Pause: return L"暂停";
    case PanelAction::Resume: return L"继续";
    }
    return L"";
}

void paintRowButtons(const Canvas& c, const PanelRow& row)
{
    for (const PanelButton& button : row.buttons) {
        if (button.filled) {
            c.fillRoundRect(button.rect, 15, kAccent);
        } else {
            c.fillRoundRect(button.rect, 15, kCardFill);
            c.strokeRoundRect(button.rect, 15, kButtonOutline);
        }
        c.text(c.fonts.button, buttonLabel(button.action), button.rect, button.filled ? kTextWhite : kTextSecondary,
               kCentredLine);
    }
}

void paintRow(const Canvas& c, const PanelRow& row, const TaskView& task)
{
    const int w = c.layout.width;
    const int y = row.line;
    c.panel(row.card, 10, kCardFill, kRowOutline, kWindowBackground);

    auto app = findApp(c.input.catalog, task.id);
    if (!app) app = findSearchResult(c.input.catalog, task.id);
    paintAppIcon(c, app, panelRowIconRect(y));

    bool mismatch = stateOf(task) == TaskState::Downloaded && !task.md5Ok;
    c.text(c.fonts.strong, mismatch ? task.name + L"  (MD5 校验不一致)" : task.name, panelRowNameRect(w, y),
           mismatch ? kTextRed : kTextPrimary, kLeftLine);
    paintProgress(c, task, y);
    RowStatus status = statusLine(task);
    c.text(c.fonts.status, status.text, panelRowStatusRect(w, y), status.colour, kLeftLine);
    paintRowButtons(c, row);
}

}  // namespace

void paintDownloadPanel(const Canvas& c)
{
    paintHeader(c);
    const FrameLayout& f = c.layout;
    if (c.input.tasks.empty()) {
        c.text(c.fonts.body, L"暂无下载任务，去首页挑几款软件吧", f.messageLine, kTextMuted, kCentredLine);
        return;
    }
    {
        CanvasClip clip(c, f.panelClip);
        for (const PanelRow& row : f.panelRows) {
            auto it = c.input.tasks.find(row.taskId);
            if (it != c.input.tasks.end()) paintRow(c, row, it->second);
        }
    }
    if (f.pageScroll.maximum > 0) {
        c.fillRoundRect(f.pageScroll.track, 2, kScrollTrack);
        c.fillRoundRect(f.pageScroll.thumb, 2, kScrollThumb);
    }
}

std::wstring taskStatusText(const TaskView& task) { return statusLine(task).text; }
