#include "ui/settings_text.h"

const wchar_t kSettingsCredit[] = L"Pakvane 由 Lorimund 开发";

std::wstring downloadDirToStore(const std::wstring& editText)
{
    std::wstring dir = editText;
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    // "D:\" ends as "D:": a whole drive is not a download folder of its own.
    if (dir.size() <= 3) dir.clear();
    return dir;
}

std::wstring shortProductVersion(const std::wstring& productVersion)
{
    size_t dots = 0;
    for (size_t i = 0; i < productVersion.size(); ++i) {
        if (productVersion[i] == L'.' && ++dots == 3) return productVersion.substr(0, i);
    }
    return productVersion;
}

std::wstring settingsFooterText(const std::wstring& productVersion)
{
    std::wstring text = kSettingsCredit;
    const std::wstring version = shortProductVersion(productVersion);
    if (!version.empty()) text += L"    版本 v" + version;
    return text;
}
