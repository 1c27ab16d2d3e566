#include "core/config_text.h"

#include "core/json.h"
#include "core/text.h"

namespace {

std::wstring memberText(const json::Value& root, const char* key)
{
    const json::Value* member = root.get(key);
    return member ? utf8ToWide(member->asString("")) : std::wstring();
}

void trimTrailing(std::wstring& text, const wchar_t* separators)
{
    size_t keep = text.find_last_not_of(separators);
    text.erase(keep == std::wstring::npos ? 0 : keep + 1);
}

}  // namespace

Config defaultConfig()
{
    return Config{defaultServerUrl, L"default", std::wstring()};
}

Config configFromText(const std::string& bytes)
{
    Config config = defaultConfig();
    if (bytes.empty()) return config;
    auto root = json::parse(bytes);
    if (!root) return config;

    // Only '/' is trimmed: the URL is otherwise taken as written.
    std::wstring server = memberText(*root, "server");
    trimTrailing(server, L"/");
    if (!server.empty()) config.server = server;

    std::wstring channel = memberText(*root, "channel");
    if (!channel.empty()) config.channel = channel;

    // A bare drive such as "D:" is not a folder of its own: keep the automatic one.
    std::wstring downloadDir = memberText(*root, "downloadDir");
    trimTrailing(downloadDir, L"\\/");
    if (downloadDir.size() >= 3) config.downloadDir = downloadDir;
    return config;
}

std::string configFileText(const Config& config)
{
    std::string text = "{\n  \"server\": \"";
    text += json::escape(wideToUtf8(config.server));
    text += "\",\n  \"channel\": \"";
    text += json::escape(wideToUtf8(config.channel));
    text += "\",\n  \"downloadDir\": \"";
    text += json::escape(wideToUtf8(config.downloadDir));
    text += "\"\n}\n";
    return text;
}
