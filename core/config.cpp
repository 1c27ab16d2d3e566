#include "core/config.h"

#include "core/config_text.h"
#include "core/handles.h"
#include "core/program_folder.h"

#include <windows.h>
#include <shlobj.h>

const wchar_t* const defaultServerUrl = L"https://catalog.pakvane.com";

Config g_config = defaultConfig();

namespace {

constexpr DWORD kReadChunk = 4096;

// config.json beside the running executable: a read-only fallback.
std::wstring besideExecutablePath() { return programFolder() + L"\\config.json"; }

bool writeAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return false;
    return written == text.size();
}

}  // namespace

std::wstring configFilePath()
{
    wchar_t buffer[MAX_PATH] = {};
    // Not checked: on failure the buffer stays empty and the path is rooted
    // at the current drive, which still works as a place for the file.
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, buffer);
    std::wstring folder = std::wstring(buffer) + L"\\Lorimund";
    CreateDirectoryW(folder.c_str(), nullptr);  // usually exists already
    return folder + L"\\config.json";
}

bool readWholeFile(const std::wstring& path, std::string& out)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[kReadChunk];
    DWORD read = 0;
    // A read error part-way keeps what was read.
    while (ReadFile(file.get(), buffer, kReadChunk, &read, nullptr) && read > 0) out.append(buffer, read);
    return true;
}

Config loadConfig()
{
    std::string bytes;
    // An empty per-user file is still the user's file: only one that cannot be
    // opened sends us to the copy beside the executable.
    if (!readWholeFile(configFilePath(), bytes)) readWholeFile(besideExecutablePath(), bytes);
    return configFromText(bytes);
}

bool saveConfig(const Config& config)
{
    const std::string text = configFileText(config);
    const std::wstring path = configFilePath();
    // Writing in place would leave a truncated file after a crash or a full
    // disk; the move below replaces the old file only once the new one is whole.
    const std::wstring temporary = path + L".tmp";
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool written = writeAll(file.get(), text) && FlushFileBuffers(file.get());
    file.reset();
    if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}
