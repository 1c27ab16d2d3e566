#include "core/config.h"

#include "core/atomic_file.h"
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

}  // namespace

std::wstring userDataFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    // Not checked: on failure the buffer stays empty and the path is rooted
    // at the current drive, which still works as a place for the files.
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, buffer);
    std::wstring folder = std::wstring(buffer) + L"\\Lorimund";
    CreateDirectoryW(folder.c_str(), nullptr);  // usually exists already
    return folder;
}

std::wstring configFilePath()
{
    return userDataFolder() + L"\\config.json";
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
    return replaceFileAtomically(configFilePath(), configFileText(config));
}
