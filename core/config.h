#pragma once
// The per-user settings in config.json: catalog server, channel, download folder.

#include <string>

struct Config {
    std::wstring server;
    std::wstring channel;
    std::wstring downloadDir;
};

extern Config g_config;
extern const wchar_t* const defaultServerUrl;

// The per-user folder of the program's files (%APPDATA%\Lorimund), without
// a trailing backslash; creates it.
std::wstring userDataFolder();
// Path of the per-user config.json; creates its folder.
std::wstring configFilePath();
// Appends the file's bytes to out; false only when the file cannot be opened.
bool readWholeFile(const std::wstring& path, std::string& out);
// Never fails: anything missing or malformed falls back to the defaults.
Config loadConfig();
// Writes a temporary file beside config.json and moves it into place, so a
// failed save leaves the previous file untouched. True when the file is in place.
bool saveConfig(const Config& config);
