#include "download/download_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "core/program_folder.h"

namespace {

// FOLDERID_Downloads, spelled out so no GUID library is needed at link time.
const GUID kDownloadsFolderId = {0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
constexpr int kCsidlFallback = 0x2C;  // CSIDL_PROGRAM_FILES_COMMONX86
constexpr wchar_t kSubFolder[] = L"\\Pakvane";

// Set by the UI thread, read by whoever starts a download: kept under a lock so
// no reader ever sees a half-assigned string.
struct Override {
    std::mutex lock;
    std::wstring dir;
};

Override& folderOverride()
{
    // Never destroyed, like the manager that reads it.
    static Override* const instance = new Override();
    return *instance;
}

std::wstring currentOverride()
{
    Override& o = folderOverride();
    std::lock_guard<std::mutex> guard(o.lock);
    return o.dir;
}

// Memory handed out by the shell, freed with CoTaskMemFree.
class CoTaskString {
public:
    CoTaskString() = default;
    ~CoTaskString() { CoTaskMemFree(text_); }
    CoTaskString(const CoTaskString&) = delete;
    CoTaskString& operator=(const CoTaskString&) = delete;
    PWSTR* out() { return &text_; }
    const wchar_t* get() const { return text_; }

private:
    PWSTR text_ = nullptr;
};

std::wstring knownDownloadsFolder()
{
    CoTaskString path;
    // The shell may hand out memory even on failure, so the owner frees it either way.
    if (SUCCEEDED(SHGetKnownFolderPath(kDownloadsFolderId, 0, nullptr, path.out())) && path.get()) {
        return path.get();
    }
    return std::wstring();
}

// The default folder as the shell gives it, with the sub-folder; empty when
// neither look-up gives a base.
std::wstring defaultFolderPath();

std::wstring fallbackShellFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, kCsidlFallback, nullptr, 0, buffer))) {
        buffer[MAX_PATH - 1] = 0;
        return buffer;
    }
    return std::wstring();
}

std::wstring defaultFolderPath()
{
    std::wstring base = knownDownloadsFolder();
    if (base.empty()) base = fallbackShellFolder();
    return base.empty() ? std::wstring() : base + kSubFolder;
}

// What the UI knows of the default folder, and the one resolving worker.
// Never destroyed: the worker may outlive the window.
struct Resolver {
    std::mutex lock;
    std::wstring knownDefault;
    bool running = false;
    bool again = false;
    HWND window = nullptr;
};

Resolver& resolver()
{
    static Resolver* const instance = new Resolver();
    return *instance;
}

void resolveUntilSettled()
{
    Resolver& r = resolver();
    for (bool more = true; more;) {
        const bool chosen = !currentOverride().empty();
        const std::wstring folder = downloadFolder();
        HWND notify = nullptr;
        {
            std::lock_guard<std::mutex> guard(r.lock);
            if (!chosen && folder != r.knownDefault) {
                r.knownDefault = folder;
                notify = r.window;
            }
            more = r.again;
            r.again = false;
            r.running = more;
        }
        if (notify) PostMessageW(notify, WM_APP_REFRESH, 0, 0);
    }
}

}  // namespace

void refreshDownloadFolder(HWND window)
{
    Resolver& r = resolver();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        r.window = window;
        if (r.running) {
            r.again = true;
            return;
        }
        r.running = true;
    }
    if (!startDetachedThread([] { resolveUntilSettled(); })) {
        std::lock_guard<std::mutex> guard(r.lock);
        r.running = false;
        r.again = false;
    }
}

std::wstring knownDownloadFolder()
{
    std::wstring chosen = currentOverride();
    if (!chosen.empty()) return chosen;
    Resolver& r = resolver();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.knownDefault;
}

std::wstring downloadFolderInUse()
{
    std::wstring known = knownDownloadFolder();
    if (!known.empty()) return known;
    std::wstring folder = defaultFolderPath();
    if (folder.empty()) return programFolder();
    Resolver& r = resolver();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.knownDefault.empty()) r.knownDefault = folder;
    return folder;
}

void createFolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0) return;
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
}

void setDownloadFolderOverride(const std::wstring& dir)
{
    std::wstring trimmed = dir;
    while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();

    Override& o = folderOverride();
    std::lock_guard<std::mutex> guard(o.lock);
    o.dir = trimmed;
}

std::wstring downloadFolder()
{
    std::wstring chosen = currentOverride();
    if (!chosen.empty()) {
        // Only the last level is created; a folder that cannot be made shows up
        // as a failure of the first download that uses it.
        CreateDirectoryW(chosen.c_str(), nullptr);
        return chosen;
    }

    const std::wstring folder = defaultFolderPath();
    if (!folder.empty()) {
        CreateDirectoryW(folder.c_str(), nullptr);
        return folder;
    }
    return programFolder();
}

bool isExistingFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
