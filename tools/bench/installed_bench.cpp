// Times the installed-apps snapshot with many Uninstall entries: the registry
// walk alone, the name matching alone, and the whole worker round trip from
// start to the adopted result. Writes its entries under HKCU and removes them.
//
//   installed_bench.exe [entries] [catalog apps] [rounds]

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app_messages.h"
#include "install/installed_apps.h"
#include "install/installed_index.h"

namespace {

using Clock = std::chrono::steady_clock;

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring entryKey(int i) { return kUninstall + std::wstring(L"PakvaneBench-") + std::to_wstring(i); }
std::wstring appName(int i) { return L"Bench Product " + std::to_wstring(i) + L" Suite"; }

bool setText(HKEY key, const wchar_t* name, const std::wstring& text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool writeEntries(int count)
{
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, entryKey(i).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const bool ok = setText(key, L"DisplayName", appName(i) + L" (x64)") &&
                        setText(key, L"DisplayVersion", std::to_wstring(i % 9) + L"." + std::to_wstring(i % 17) +
                                                            L"." + std::to_wstring(i)) &&
                        setText(key, L"Publisher", L"Pakvane Bench");
        RegCloseKey(key);
        if (!ok) return false;
    }
    return true;
}

void removeEntries(int count)
{
    for (int i = 0; i < count; ++i) RegDeleteTreeW(HKEY_CURRENT_USER, entryKey(i).c_str());
}

// Every other catalog app is among the entries.
std::vector<CatalogAppName> catalogNames(int count)
{
    std::vector<CatalogAppName> names;
    for (int i = 0; i < count; ++i) names.push_back(CatalogAppName{i + 1, appName(i * 2)});
    return names;
}

bool waitForReady(HWND window)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == window && message.message == WM_APP_INSTALLED_READY) return message.wParam == 1;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int appCount = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;

    removeEntries(entries);
    if (!writeEntries(entries)) {
        std::fprintf(stderr, "cannot write the Uninstall entries\n");
        removeEntries(entries);
        return 1;
    }
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const std::vector<CatalogAppName> apps = catalogNames(appCount);

    std::vector<double> walkMs, matchMs, roundTripMs;
    size_t listed = 0, installed = 0;
    bool ok = window != nullptr;
    for (int round = 0; ok && round < rounds; ++round) {
        Clock::time_point start = Clock::now();
        InstalledIndex index;
        walkMs.push_back(millisSince(start));
        listed = index.displayNames.size();

        start = Clock::now();
        installed = matchInstalledApps(apps, index.displayNames, index.displayVersions).size();
        matchMs.push_back(millisSince(start));

        start = Clock::now();
        ok = startInstalledSnapshot(window, apps) && waitForReady(window) && adoptInstalledPending();
        roundTripMs.push_back(millisSince(start));
    }
    removeEntries(entries);
    if (window) DestroyWindow(window);
    if (!ok) {
        std::fprintf(stderr, "the snapshot worker did not report a result\n");
        return 1;
    }

    std::printf("%d bench entries written (%zu DisplayNames listed in all), %d catalog apps, %zu installed, "
                "%d rounds (medians)\n",
                entries, listed, appCount, installed, rounds);
    std::printf("registry walk (InstalledIndex):        %8.1f ms\n", median(walkMs));
    std::printf("name matching (matchInstalledApps):    %8.1f ms\n", median(matchMs));
    std::printf("worker start to adopted result:        %8.1f ms\n", median(roundTripMs));
    return 0;
}
