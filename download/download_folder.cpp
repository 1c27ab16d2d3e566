#include "download/download_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>

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

std::wstring fallbackShellFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, kCsidlFallback, nullptr, 0, buffer))) {
        buffer[MAX_PATH - 1] = 0;
        return buffer;
    }
    return std::wstring();
}

}  // namespace

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

    std::wstring base = knownDownloadsFolder();
    if (base.empty()) base = fallbackShellFolder();
    if (!base.empty()) {
        std::wstring folder = base + kSubFolder;
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
