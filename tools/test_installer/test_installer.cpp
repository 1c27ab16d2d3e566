// A stand-in installer for tests. The launcher passes no arguments, so what it
// does comes from a sidecar file beside it, "<own path>.txt", UTF-8, one
// "key=value" per line:
//
//   exit=1223                  exit code (default 0)
//   uninstallKey=Foo-123       create ...\Uninstall\Foo-123 before exiting
//   location=LM32              where: CU (HKCU, default), LM64 (HKLM) or LM32
//                              (HKLM, the 32-bit view's key)
//   displayName=Foo Editor     give that entry a REG_SZ DisplayName
//
// Without a sidecar it exits 0 and touches nothing. An exit code of 3 reports
// that the sidecar or the registry could not be used.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "core/handles.h"

namespace {

constexpr int kSetupError = 3;
const wchar_t kUninstallPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kUninstallPath32[] = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Behaviour {
    DWORD exitCode = 0;
    std::wstring uninstallKey;
    std::wstring location = L"CU";
    std::wstring displayName;
    bool hasDisplayName = false;
};

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

bool readFile(const std::wstring& path, std::string& out)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) != 0) && got > 0) out.append(buffer, got);
    return ok;
}

void applyLine(std::wstring line, Behaviour& behaviour)
{
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) return;
    std::wstring key = line.substr(0, eq);
    std::wstring value = line.substr(eq + 1);
    if (key == L"exit") {
        behaviour.exitCode = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    } else if (key == L"uninstallKey") {
        behaviour.uninstallKey = value;
    } else if (key == L"location") {
        behaviour.location = value;
    } else if (key == L"displayName") {
        behaviour.displayName = value;
        behaviour.hasDisplayName = true;
    }
}

bool loadBehaviour(Behaviour& behaviour)
{
    wchar_t self[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4) return false;
    std::string bytes;
    if (!readFile(std::wstring(self, n) + L".txt", bytes)) return true;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text = widen(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        applyLine(text.substr(start, end - start), behaviour);
        start = end + 1;
    }
    return true;
}

bool createUninstallEntry(const Behaviour& behaviour)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring path;
    if (behaviour.location == L"CU") {
        root = HKEY_CURRENT_USER;
        path = kUninstallPath;
    } else if (behaviour.location == L"LM64") {
        path = kUninstallPath;
    } else if (behaviour.location == L"LM32") {
        path = kUninstallPath32;
    } else {
        return false;
    }
    path += behaviour.uninstallKey;
    HKEY created = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr) !=
        ERROR_SUCCESS)
        return false;
    UniqueRegKey key(created);
    if (!behaviour.hasDisplayName) return true;
    const std::wstring& name = behaviour.displayName;
    return RegSetValueExW(key.get(), L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                          static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    Behaviour behaviour;
    if (!loadBehaviour(behaviour)) return kSetupError;
    if (!behaviour.uninstallKey.empty() && !createUninstallEntry(behaviour)) return kSetupError;
    return static_cast<int>(behaviour.exitCode);
}
