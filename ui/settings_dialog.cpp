#include "ui/settings_dialog.h"

#include "core/config.h"
#include "download/download_folder.h"
#include "ui/gdi_guards.h"
#include "ui/product_version.h"
#include "ui/settings_text.h"
#include "ui/view_state.h"

#include <shlobj.h>

#include <string>

HWND settingsDialogHwnd = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"KXSettings";
constexpr wchar_t kTitle[] = L"下载设置";
constexpr wchar_t kPickerTitle[] = L"选择下载保存目录";
constexpr int kDialogWidth = 478;
constexpr int kDialogHeight = 272;
constexpr int kPathCapacity = 260;
constexpr COLORREF kFooterTextColour = RGB(150, 153, 160);

struct ControlSpec {
    const wchar_t* className;
    const wchar_t* text;  // null: filled in when created
    int x, y, width, height;
    int id;  // 0: none
    DWORD extraStyle;
};

enum ControlIndex { kHeadingLabel, kFolderLabel, kFolderEdit, kBrowseButton, kHintLabel, kCancelButton,
                    kSaveButton, kFooterLabel, kControlCount };

// IsDialogMessageW moves the focus with Tab only between WS_TABSTOP controls.
const ControlSpec kControls[kControlCount] = {
    {L"STATIC", kTitle, 30, 20, 200, 22, 0, 0},
    {L"STATIC", L"安装包保存目录", 30, 52, 300, 20, 0, 0},
    {L"EDIT", nullptr, 30, 76, 330, 30, kSettingsFolderEditId,
     WS_BORDER | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP},
    {L"BUTTON", L"浏览...", 368, 76, 80, 30, kSettingsBrowseId, WS_TABSTOP},
    {L"STATIC", L"修改后对新的下载任务生效", 30, 116, 300, 20, 0, 0},
    {L"BUTTON", L"取消", 248, 156, 84, 34, kSettingsCancelId, WS_TABSTOP},
    {L"BUTTON", L"保存", 342, 156, 84, 34, kSettingsSaveId, WS_TABSTOP},
    {L"STATIC", nullptr, 30, 204, 380, 18, 0, 0},
};

// The one open dialog's controls, fonts and scale. The fonts outlive the
// controls that use them: they go in WM_NCDESTROY, after the children.
struct DialogParts {
    HWND controls[kControlCount] = {};
    gdi::GdiObject bodyFont;
    gdi::GdiObject headingFont;
    gdi::GdiObject footerFont;
    Scale scale;
};

DialogParts& dialogParts()
{
    static DialogParts parts;
    return parts;
}

gdi::GdiObject makeFont(int height, int weight)
{
    return gdi::GdiObject(CreateFontW(dialogParts().scale.px(height), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                      CLEARTYPE_QUALITY, 0, L"Microsoft YaHei"));
}

BOOL CALLBACK setBodyFont(HWND child, LPARAM font)
{
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

BOOL CALLBACK setHeadingFont(HWND child, LPARAM font)
{
    wchar_t text[64] = {};
    GetWindowTextW(child, text, 64);
    if (std::wstring(text) == kTitle) SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

// New fonts at the dialog's scale; the old ones go once no control uses them.
void applyFonts(HWND dialog)
{
    DialogParts& parts = dialogParts();
    gdi::GdiObject body = makeFont(-14, FW_NORMAL);
    gdi::GdiObject heading = makeFont(-15, FW_BOLD);
    gdi::GdiObject footer = makeFont(-12, FW_NORMAL);
    EnumChildWindows(dialog, setBodyFont, reinterpret_cast<LPARAM>(body.get()));
    EnumChildWindows(dialog, setHeadingFont, reinterpret_cast<LPARAM>(heading.get()));
    SendMessageW(parts.controls[kFooterLabel], WM_SETFONT, reinterpret_cast<WPARAM>(footer.get()), TRUE);
    parts.bodyFont = std::move(body);
    parts.headingFont = std::move(heading);
    parts.footerFont = std::move(footer);
}

// Every control at its place times the dialog's scale.
void placeControls()
{
    const DialogParts& parts = dialogParts();
    for (int i = 0; i < kControlCount; ++i) {
        const ControlSpec& c = kControls[i];
        const Rect r = parts.scale.px(Rect{c.x, c.y, c.x + c.width, c.y + c.height});
        SetWindowPos(parts.controls[i], nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// The whole text of a control: a folder longer than the usual path limit
// (one typed into config.json) must not be cut short by a save.
std::wstring controlText(HWND control)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], static_cast<int>(text.size()))));
    return text;
}

LRESULT onCreate(HWND dialog)
{
    // Opening the dialog never waits for a disk: the folder is not made here.
    const std::wstring folder = downloadFolderInUse();
    const std::wstring footer = settingsFooterText(moduleProductVersion());
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    DialogParts& parts = dialogParts();
    for (int i = 0; i < kControlCount; ++i) {
        const ControlSpec& c = kControls[i];
        const wchar_t* text = c.text ? c.text : i == kFolderEdit ? folder.c_str() : footer.c_str();
        parts.controls[i] = CreateWindowExW(0, c.className, text, WS_CHILD | WS_VISIBLE | c.extraStyle, c.x, c.y,
                                            c.width, c.height, dialog,
                                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    }
    placeControls();
    applyFonts(dialog);
    return 0;
}

// The owner is enabled again before the dialog goes: Windows then hands the
// activation back to it, not to some other program's window.
void closeDialog(HWND dialog)
{
    if (HWND main = viewState().mainWindow) EnableWindow(main, TRUE);
    DestroyWindow(dialog);
}

// A monitor of another DPI: the suggested rectangle, controls and fonts to match.
LRESULT onDpiChanged(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    dialogParts().scale = Scale::forDpi(LOWORD(wParam));
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(dialog, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    placeControls();
    applyFonts(dialog);
    return 0;
}

void browseForFolder(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, kSettingsFolderEditId);
    wchar_t displayName[kPathCapacity] = {};
    const int currentLength = GetWindowTextLengthW(edit);
    if (currentLength >= 1 && currentLength <= kPathCapacity - 1) GetWindowTextW(edit, displayName, kPathCapacity);

    BROWSEINFOW info = {};
    info.hwndOwner = dialog;
    info.pszDisplayName = displayName;
    info.lpszTitle = kPickerTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item) return;
    wchar_t path[kPathCapacity] = {};
    const BOOL isFolder = SHGetPathFromIDListW(item, path);
    CoTaskMemFree(item);
    if (isFolder && path[0]) SetWindowTextW(edit, path);
}

void saveAndClose(HWND dialog)
{
    const std::wstring dir = downloadDirToStore(controlText(GetDlgItem(dialog, kSettingsFolderEditId)));
    g_config.downloadDir = dir;
    setDownloadFolderOverride(dir);
    saveConfig(g_config);  // a failed save is not reported; the folder holds until exit
    HWND main = viewState().mainWindow;
    refreshDownloadFolder(main);
    closeDialog(dialog);
    showToast(dir.empty() ? L"已恢复默认下载目录" : L"下载目录已保存", ToastKind::Success);
    if (main) InvalidateRect(main, nullptr, FALSE);
}

LRESULT onCommand(HWND dialog, WPARAM wParam)
{
    if (HIWORD(wParam) != BN_CLICKED) return 0;  // the edit control's notifications
    int id = LOWORD(wParam);
    // IsDialogMessageW turns Esc into command 2, which is "保存" here. Esc must
    // leave without saving, so "保存" arriving with Esc held down is "取消".
    if (id == kSettingsSaveId && GetKeyState(VK_ESCAPE) < 0) id = kSettingsCancelId;
    switch (id) {
    case kSettingsCancelId:
        closeDialog(dialog);
        break;
    case kSettingsBrowseId:
        browseForFolder(dialog);
        break;
    case kSettingsSaveId:
        saveAndClose(dialog);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT onCtlColorStatic(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    HWND control = reinterpret_cast<HWND>(lParam);
    if (!control || control != dialogParts().controls[kFooterLabel])
        return DefWindowProcW(dialog, WM_CTLCOLORSTATIC, wParam, lParam);
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, kFooterTextColour);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

LRESULT onDestroy()
{
    settingsDialogHwnd = nullptr;
    if (HWND main = viewState().mainWindow) {
        EnableWindow(main, TRUE);
        SetForegroundWindow(main);
    }
    return 0;
}

LRESULT onNcDestroy(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    DialogParts& parts = dialogParts();
    for (HWND& control : parts.controls) control = nullptr;
    parts.bodyFont.reset();
    parts.headingFont.reset();
    parts.footerFont.reset();
    return DefWindowProcW(dialog, WM_NCDESTROY, wParam, lParam);
}

}  // namespace

bool registerSettingsDialogClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = settingsDialogProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void openSettingsDialog()
{
    if (settingsDialogHwnd) {
        SetForegroundWindow(settingsDialogHwnd);
        return;
    }
    HWND main = viewState().mainWindow;
    RECT mainRect = {};
    if (main) GetWindowRect(main, &mainRect);
    // At the main window's scale: it opens over it, on its monitor.
    const Scale scale = viewState().scale;
    dialogParts().scale = scale;
    const int width = scale.px(kDialogWidth);
    const int height = scale.px(kDialogHeight);
    const int left = mainRect.left + (mainRect.right - mainRect.left - width) / 2;
    const int top = mainRect.top + (mainRect.bottom - mainRect.top - height) / 2;
    HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, kTitle, WS_POPUPWINDOW | WS_DLGFRAME, left, top,
                                  width, height, main, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!dialog) return;
    settingsDialogHwnd = dialog;
    ShowWindow(dialog, SW_SHOW);
    if (main) EnableWindow(main, FALSE);
}

LRESULT CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return onCreate(window);
    case WM_COMMAND:
        return onCommand(window, wParam);
    case WM_CTLCOLORSTATIC:
        return onCtlColorStatic(window, wParam, lParam);
    case WM_CLOSE:
        closeDialog(window);
        return 0;
    case WM_DPICHANGED:
        return onDpiChanged(window, wParam, lParam);
    case WM_DESTROY:
        return onDestroy();
    case WM_NCDESTROY:
        return onNcDestroy(window, wParam, lParam);
    case DM_GETDEFID:
        // Enter with no button focused means "保存", not command 1 ("取消").
        return MAKELRESULT(kSettingsSaveId, DC_HASDEFID);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
