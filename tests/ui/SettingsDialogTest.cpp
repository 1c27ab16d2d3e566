// The settings dialog in a real window over a stand-in main window: layout,
// one instance, the owner disabled and given back, what "保存" and "取消"
// write, and the keys that reach it through IsDialogMessageW. Saving writes
// the real config.json of the throwaway Wine prefix, which is put back after
// every test.

#include "core/config.h"
#include "core/handles.h"
#include "core/text.h"
#include "download/download_folder.h"
#include "tests/support/test_server.h"
#include "ui/settings_dialog.h"
#include "ui/settings_text.h"
#include "ui/view_state.h"

#include "pakvane_version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kOwnerClass[] = L"PakvaneTestOwner";
constexpr RECT kOwnerRect = {100, 80, 1000, 681};  // 900 x 601: the odd height checks the rounding

bool runningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void writeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring className(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

RECT rectInParent(HWND child)
{
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

int settingsWindowCount()
{
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM counter) {
            if (className(window) == L"KXSettings") ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// One key through IsDialogMessageW, as the message loop passes it, with the
// key held down as GetMessageW would have recorded it.
bool pressKey(HWND dialog, WPARAM key)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[key] = 0x80;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    MSG msg = {};
    msg.hwnd = focus ? focus : dialog;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    msg.lParam = 1;
    const bool handled = IsDialogMessageW(dialog, &msg);
    keys[key] = 0;
    SetKeyboardState(keys);
    return handled;
}

class SettingsDialog : public ::testing::Test {
protected:
    // One owner for all tests: under Wine without a window manager every
    // window that goes away costs seconds.
    static void SetUpTestSuite()
    {
        if (!runningUnderWine()) return;
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW ownerClass = {};
        ownerClass.cbSize = sizeof ownerClass;
        ownerClass.lpfnWndProc = DefWindowProcW;
        ownerClass.hInstance = instance;
        ownerClass.lpszClassName = kOwnerClass;
        RegisterClassExW(&ownerClass);
        owner_ = CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW, kOwnerRect.left, kOwnerRect.top,
                                 kOwnerRect.right - kOwnerRect.left, kOwnerRect.bottom - kOwnerRect.top, nullptr,
                                 nullptr, instance, nullptr);
        ShowWindow(owner_, SW_SHOW);
    }
    static void TearDownTestSuite()
    {
        if (owner_) DestroyWindow(owner_);
        owner_ = nullptr;
    }

    void SetUp() override
    {
        if (!runningUnderWine()) GTEST_SKIP() << "writes %APPDATA%: runs only in a throwaway Wine prefix";
        ASSERT_TRUE(registerSettingsDialogClass(GetModuleHandleW(nullptr)));
        ASSERT_TRUE(owner_);
        EnableWindow(owner_, TRUE);
        // Other tests in this program may have a real main window: theirs
        // comes back afterwards.
        previousMainWindow_ = viewState().mainWindow;
        previousToast_ = viewState().toast;
        viewState().mainWindow = owner_;
        viewState().toast = Toast{};

        configPath_ = configFilePath();
        configExisted_ = GetFileAttributesW(configPath_.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (configExisted_) configBytes_ = fileBytes(configPath_);
        DeleteFileW(configPath_.c_str());
        savedConfig_ = g_config;
        const std::wstring inUse = downloadFolder();
        setDownloadFolderOverride(L"");
        defaultFolder_ = downloadFolder();
        previousOverride_ = inUse == defaultFolder_ ? std::wstring() : inUse;

        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        pickedFolder_ = std::wstring(temp) + L"pakvane-settings-" + std::to_wstring(GetCurrentProcessId());
    }

    void TearDown() override
    {
        if (!runningUnderWine()) return;
        if (settingsDialogHwnd) DestroyWindow(settingsDialogHwnd);
        viewState().mainWindow = previousMainWindow_;
        viewState().toast = previousToast_;
        g_config = savedConfig_;
        setDownloadFolderOverride(previousOverride_);
        RemoveDirectoryW(pickedFolder_.c_str());
        DeleteFileW(configPath_.c_str());
        if (configExisted_) writeFile(configPath_, configBytes_);
    }

    HWND open()
    {
        openSettingsDialog();
        return settingsDialogHwnd;
    }

    void click(HWND dialog, int id)
    {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }

    static HWND owner_;
    std::wstring configPath_;
    bool configExisted_ = false;
    std::string configBytes_;
    Config savedConfig_;
    HWND previousMainWindow_ = nullptr;
    Toast previousToast_;
    std::wstring previousOverride_;
    std::wstring defaultFolder_;
    std::wstring pickedFolder_;
};

HWND SettingsDialog::owner_ = nullptr;

}  // namespace

TEST_F(SettingsDialog, OpensOnceCentredOverTheOwnerWhichItDisables)
{
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(className(dialog), L"KXSettings");
    EXPECT_EQ(windowText(dialog), L"下载设置");
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
    EXPECT_FALSE(IsWindowEnabled(owner_));
    const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUPWINDOW | WS_DLGFRAME), WS_POPUPWINDOW | WS_DLGFRAME);
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

    RECT rect = {};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.left, 100 + (900 - 478) / 2);
    EXPECT_EQ(rect.top, 80 + (601 - 272) / 2);
    EXPECT_EQ(rect.right - rect.left, 478);
    EXPECT_EQ(rect.bottom - rect.top, 272);

    openSettingsDialog();
    EXPECT_EQ(settingsDialogHwnd, dialog);
    EXPECT_EQ(settingsWindowCount(), 1);

    DestroyWindow(dialog);
    EXPECT_EQ(settingsDialogHwnd, nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    EXPECT_EQ(settingsWindowCount(), 0);
}

TEST_F(SettingsDialog, EightControlsWithTheirTextsPlacesIdsStylesAndFonts)
{
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    const std::wstring footer = std::wstring(kSettingsCredit) + L"    版本 v" + PAKVANE_VERSION_WIDE;
    const struct {
        const wchar_t* className;
        std::wstring text;
        RECT rect;
        int id;
        LONG extraStyle;
        int fontHeight;
        int fontWeight;
    } expected[] = {
        {L"Static", L"下载设置", {30, 20, 230, 42}, 0, 0, -15, 700},
        {L"Static", L"安装包保存目录", {30, 52, 330, 72}, 0, 0, -14, 400},
        {L"Edit", defaultFolder_, {30, 76, 360, 106}, 103, WS_BORDER | ES_AUTOHSCROLL | ES_READONLY, -14, 400},
        {L"Button", L"浏览...", {368, 76, 448, 106}, 3, 0, -14, 400},
        {L"Static", L"修改后对新的下载任务生效", {30, 116, 330, 136}, 0, 0, -14, 400},
        {L"Button", L"取消", {248, 156, 332, 190}, 1, 0, -14, 400},
        {L"Button", L"保存", {342, 156, 426, 190}, 2, 0, -14, 400},
        {L"Static", footer, {30, 204, 410, 222}, 0, 0, -12, 400},
    };
    const std::vector<HWND> controls = children(dialog);
    ASSERT_EQ(controls.size(), 8u);
    for (size_t i = 0; i < controls.size(); ++i) {
        const auto& e = expected[i];
        HWND control = controls[i];
        SCOPED_TRACE(wideToUtf8(e.text));
        EXPECT_EQ(_wcsicmp(className(control).c_str(), e.className), 0) << wideToUtf8(className(control));
        EXPECT_EQ(windowText(control), e.text);
        const RECT rect = rectInParent(control);
        EXPECT_EQ(rect.left, e.rect.left);
        EXPECT_EQ(rect.top, e.rect.top);
        EXPECT_EQ(rect.right, e.rect.right);
        EXPECT_EQ(rect.bottom, e.rect.bottom);
        if (e.id) {
            EXPECT_EQ(GetDlgCtrlID(control), e.id);
        }
        // An edit control takes WS_BORDER off its style and draws the border itself.
        const LONG style = static_cast<LONG>(GetWindowLongPtrW(control, GWL_STYLE));
        const LONG wanted = WS_CHILD | WS_VISIBLE | (e.id == 103 ? e.extraStyle & ~WS_BORDER : e.extraStyle);
        EXPECT_EQ(style & wanted, wanted);
        EXPECT_EQ(GetWindowLongPtrW(control, GWL_EXSTYLE) & ~(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY), 0);

        LOGFONTW font = {};
        HFONT handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        ASSERT_TRUE(handle);
        ASSERT_EQ(GetObjectW(handle, sizeof font, &font), static_cast<int>(sizeof font));
        EXPECT_EQ(font.lfHeight, e.fontHeight);
        EXPECT_EQ(font.lfWeight, e.fontWeight);
        EXPECT_EQ(std::wstring(font.lfFaceName), L"Microsoft YaHei");
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
    }

    // Read-only: typing leaves the folder as it was.
    HWND edit = GetDlgItem(dialog, 103);
    SendMessageW(edit, WM_CHAR, L'x', 1);
    EXPECT_EQ(windowText(edit), defaultFolder_);
}

TEST_F(SettingsDialog, FooterIsDrawnGreyOnTheDialogBackground)
{
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    const std::vector<HWND> controls = children(dialog);
    ASSERT_EQ(controls.size(), 8u);
    HDC dc = GetDC(dialog);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkMode(dc, OPAQUE);
    LRESULT brush = SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(controls[7]));
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetTextColor(dc), RGB(150, 153, 160));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);

    // Other labels keep the default colours.
    SetTextColor(dc, RGB(1, 2, 3));
    brush = SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(controls[1]));
    EXPECT_NE(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(NULL_BRUSH));
    EXPECT_NE(GetTextColor(dc), RGB(150, 153, 160));
    ReleaseDC(dialog, dc);
}

TEST_F(SettingsDialog, SaveStoresTheFolderEverywhereAndSaysSo)
{
    const struct {
        std::wstring edit;
        std::wstring stored;
        const wchar_t* toast;
    } cases[] = {
        {pickedFolder_ + L"\\", pickedFolder_, L"下载目录已保存"},
        {pickedFolder_ + L"\\/", pickedFolder_, L"下载目录已保存"},
        {L"D:\\", L"", L"已恢复默认下载目录"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(wideToUtf8(c.edit));
        g_config = Config{L"https://keep.example", L"beta", L"E:\\Old"};
        viewState().toast = Toast{};
        HWND dialog = open();
        ASSERT_TRUE(dialog);
        SetWindowTextW(GetDlgItem(dialog, 103), c.edit.c_str());
        click(dialog, 2);

        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(settingsDialogHwnd, nullptr);
        EXPECT_TRUE(IsWindowEnabled(owner_));
        EXPECT_EQ(g_config.downloadDir, c.stored);
        EXPECT_EQ(downloadFolder(), c.stored.empty() ? defaultFolder_ : c.stored);
        const Config onDisk = loadConfig();
        EXPECT_EQ(onDisk.downloadDir, c.stored);
        EXPECT_EQ(onDisk.server, L"https://keep.example");
        EXPECT_EQ(onDisk.channel, L"beta");
        EXPECT_EQ(viewState().toast.text, c.toast);
        EXPECT_EQ(viewState().toast.kind, ToastKind::Success);
    }
}

TEST_F(SettingsDialog, SaveKeepsAFolderLongerThanThePathLimit)
{
    std::wstring longFolder = L"C:\\";
    while (longFolder.size() < 300) longFolder += L"deep-folder\\";
    longFolder.pop_back();
    setDownloadFolderOverride(longFolder);
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    click(dialog, 2);
    EXPECT_EQ(g_config.downloadDir, longFolder);
}

TEST_F(SettingsDialog, CancelSavesNothing)
{
    const Config before = g_config;
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    SetWindowTextW(GetDlgItem(dialog, 103), (pickedFolder_ + L"\\").c_str());
    click(dialog, 1);

    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(settingsDialogHwnd, nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    EXPECT_EQ(g_config.downloadDir, before.downloadDir);
    EXPECT_EQ(downloadFolder(), defaultFolder_);
    EXPECT_EQ(fileBytes(configPath_), "<missing>");
    EXPECT_TRUE(viewState().toast.text.empty());
}

TEST_F(SettingsDialog, KeysThroughIsDialogMessage)
{
    // Esc leaves without saving, although IsDialogMessageW sends it as
    // command 2, the id of "保存".
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    SetWindowTextW(GetDlgItem(dialog, 103), (pickedFolder_ + L"\\").c_str());
    EXPECT_TRUE(pressKey(dialog, VK_ESCAPE));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(fileBytes(configPath_), "<missing>");
    EXPECT_TRUE(viewState().toast.text.empty());

    // Tab walks the controls that take the focus.
    dialog = open();
    ASSERT_TRUE(dialog);
    SetFocus(dialog);
    std::vector<int> visited;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(pressKey(dialog, VK_TAB));
        visited.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ(visited, (std::vector<int>{103, 3, 1, 2, 103}));

    // Enter on no button saves.
    DeleteFileW(configPath_.c_str());
    viewState().toast = Toast{};
    SetWindowTextW(GetDlgItem(dialog, 103), (pickedFolder_ + L"\\").c_str());
    SetFocus(GetDlgItem(dialog, 103));
    EXPECT_TRUE(pressKey(dialog, VK_RETURN));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(loadConfig().downloadDir, pickedFolder_);
    EXPECT_EQ(viewState().toast.text, L"下载目录已保存");
}

namespace {

// Answers the folder picker as soon as it shows: a thread timer runs inside
// the picker's own message loop.
struct PickerAnswer {
    static WPARAM command;
    static int ticks;
    static bool answered;

    static void CALLBACK onTimer(HWND, UINT, UINT_PTR timer, DWORD)
    {
        if (++ticks > 600) {  // 60 s: give up, but never leave the test hanging
            KillTimer(nullptr, timer);
        }
        HWND picker = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) {
                if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == settingsDialogHwnd) {
                    *reinterpret_cast<HWND*>(found) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&picker));
        if (!picker) return;
        KillTimer(nullptr, timer);
        answered = true;
        PostMessageW(picker, WM_COMMAND, command, 0);
    }
};
WPARAM PickerAnswer::command = IDCANCEL;
int PickerAnswer::ticks = 0;
bool PickerAnswer::answered = false;

}  // namespace

TEST_F(SettingsDialog, BrowseTakesAPickedFolderAndCancelKeepsTheText)
{
    HWND dialog = open();
    ASSERT_TRUE(dialog);
    HWND edit = GetDlgItem(dialog, 103);
    const std::wstring before = windowText(edit);

    PickerAnswer::command = IDCANCEL;
    PickerAnswer::ticks = 0;
    PickerAnswer::answered = false;
    SetTimer(nullptr, 0, 100, PickerAnswer::onTimer);
    click(dialog, 3);
    ASSERT_TRUE(PickerAnswer::answered);
    EXPECT_EQ(windowText(edit), before);

    PickerAnswer::command = IDOK;
    PickerAnswer::ticks = 0;
    PickerAnswer::answered = false;
    SetTimer(nullptr, 0, 100, PickerAnswer::onTimer);
    click(dialog, 3);
    ASSERT_TRUE(PickerAnswer::answered);
    // The picker opens at its default place; accepting it gives that folder.
    const std::wstring picked = windowText(edit);
    EXPECT_NE(picked, before);
    const DWORD attributes = GetFileAttributesW(picked.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << wideToUtf8(picked);

    // Nothing is saved until "保存".
    EXPECT_EQ(fileBytes(configPath_), "<missing>");
    EXPECT_TRUE(IsWindow(dialog));
}

TEST_F(SettingsDialog, AtOneAndAHalfTimesTheDialogItsControlsAndFontsGrowAndFollowADpiChange)
{
    const Scale previous = viewState().scale;
    viewState().scale = Scale::forDpi(144);
    HWND dialog = open();
    viewState().scale = previous;
    ASSERT_TRUE(dialog);
    RECT rect = {};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.right - rect.left, 717);
    EXPECT_EQ(rect.bottom - rect.top, 408);
    EXPECT_EQ(rect.left, 100 + (900 - 717) / 2);
    auto fontHeight = [](HWND control) {
        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return font.lfHeight;
    };
    const std::vector<HWND> controls = children(dialog);
    ASSERT_EQ(controls.size(), 8u);
    const RECT edit = rectInParent(controls[2]);
    EXPECT_EQ(edit.left, 45);
    EXPECT_EQ(edit.top, 114);
    EXPECT_EQ(edit.right, 540);
    EXPECT_EQ(edit.bottom, 159);
    EXPECT_EQ(fontHeight(controls[0]), -23);  // heading 15 x 1.5, rounded up
    EXPECT_EQ(fontHeight(controls[2]), -21);
    EXPECT_EQ(fontHeight(controls[7]), -18);

    // Moved to a 100 % monitor: the suggested rectangle, and 100 % inside.
    RECT suggested = {200, 150, 678, 422};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.left, 200);
    EXPECT_EQ(rect.right - rect.left, 478);
    const RECT save = rectInParent(controls[6]);
    EXPECT_EQ(save.left, 342);
    EXPECT_EQ(save.bottom, 190);
    EXPECT_EQ(fontHeight(controls[2]), -14);
}

namespace {

// Whether the owner was enabled when the dialog got WM_DESTROY.
HWND g_watchedOwner = nullptr;
int g_ownerEnabledAtDestroy = -1;

LRESULT CALLBACK watchDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_DESTROY && call->hwnd == settingsDialogHwnd)
        g_ownerEnabledAtDestroy = IsWindowEnabled(g_watchedOwner) ? 1 : 0;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST_F(SettingsDialog, OwnerIsEnabledBeforeTheDialogGoesSoItGetsTheActivationBack)
{
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, watchDestroy, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    g_watchedOwner = owner_;
    for (int way = 0; way < 2; ++way) {
        HWND dialog = open();
        ASSERT_TRUE(dialog);
        ASSERT_FALSE(IsWindowEnabled(owner_));
        g_ownerEnabledAtDestroy = -1;
        if (way == 0)
            click(dialog, kSettingsCancelId);
        else
            SendMessageW(dialog, WM_CLOSE, 0, 0);  // the system close
        EXPECT_EQ(settingsDialogHwnd, nullptr) << way;
        EXPECT_EQ(g_ownerEnabledAtDestroy, 1) << way;
    }
    UnhookWindowsHookEx(hook);
}
