#include "tests/install/uninstall_registry.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "core/handles.h"
#include "core/text.h"
#include "tests/support/test_server.h"

namespace {

HKEY rootKey(UninstallRoot root) { return root == UninstallRoot::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

std::wstring locationPath(UninstallRoot root)
{
    switch (root) {
    case UninstallRoot::Machine64:
        return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    case UninstallRoot::Machine32:
        return L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    case UninstallRoot::User:
        break;
    }
    return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
}

std::wstring entryPath(UninstallRoot root, const std::wstring& name) { return locationPath(root) + L"\\" + name; }

UniqueRegKey createKey(UninstallRoot root, const std::wstring& name)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(rootKey(root), entryPath(root, name).c_str(), 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create Uninstall entry " << wideToUtf8(name) << ": error " << status;
        return UniqueRegKey();
    }
    return UniqueRegKey(key);
}

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// RegSetValueExW adds a NUL to strings stored without one (Wine does); the
// native call stores the bytes exactly as given, as other writers may.
LSTATUS setRawValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes)
{
    using NtSetValueKeyFn = NTSTATUS(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);
    auto setValue = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    if (!setValue) return ERROR_PROC_NOT_FOUND;
    std::wstring valueName = name;
    UNICODE_STRING unicodeName;
    unicodeName.Buffer = &valueName[0];
    unicodeName.Length = static_cast<USHORT>(valueName.size() * sizeof(wchar_t));
    unicodeName.MaximumLength = unicodeName.Length;
    NTSTATUS status = setValue(key, &unicodeName, 0, type, const_cast<void*>(data), bytes);
    return status >= 0 ? ERROR_SUCCESS : static_cast<LSTATUS>(status);
}

}  // namespace

std::wstring identityPrefix(UninstallRoot root)
{
    switch (root) {
    case UninstallRoot::Machine64:
        return L"LM64\\";
    case UninstallRoot::Machine32:
        return L"LM32\\";
    case UninstallRoot::User:
        break;
    }
    return L"CU\\";
}

std::wstring uniqueToken()
{
    static std::atomic<unsigned> counter{0};
    wchar_t text[32];
    std::swprintf(text, 32, L"%08lX%08lX%04X", GetCurrentProcessId(), GetTickCount(), ++counter & 0xFFFFu);
    return text;
}

int32_t uniqueAppId()
{
    static std::atomic<int32_t> next{610000};
    return next++;
}

ScratchUninstallKeys::~ScratchUninstallKeys()
{
    for (const auto& made : made_) RegDeleteTreeW(rootKey(made.first), entryPath(made.first, made.second).c_str());
    for (const auto& made : made_) {
        if (exists(made.first, made.second))
            ADD_FAILURE() << "Uninstall entry left behind: " << wideToUtf8(made.second);
    }
}

bool ScratchUninstallKeys::create(UninstallRoot root, const std::wstring& name)
{
    made_.emplace_back(root, name);
    return createKey(root, name).valid();
}

bool ScratchUninstallKeys::createWithDisplayName(UninstallRoot root, const std::wstring& name,
                                                 const std::wstring& displayName)
{
    return createWithRawDisplayName(root, name, REG_SZ, displayName.c_str(),
                                    static_cast<DWORD>((displayName.size() + 1) * sizeof(wchar_t)));
}

bool ScratchUninstallKeys::createWithRawDisplayName(UninstallRoot root, const std::wstring& name, DWORD type,
                                                    const void* data, DWORD bytes)
{
    made_.emplace_back(root, name);
    UniqueRegKey key = createKey(root, name);
    if (!key) return false;
    LSTATUS status = setRawValue(key.get(), L"DisplayName", type, data, bytes);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot write DisplayName of " << wideToUtf8(name) << ": error " << status;
        return false;
    }
    return true;
}

bool ScratchUninstallKeys::writeValue(UninstallRoot root, const std::wstring& name, const wchar_t* valueName,
                                      DWORD type, const void* data, DWORD bytes)
{
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(rootKey(root), entryPath(root, name).c_str(), 0, KEY_SET_VALUE, &opened);
    if (status == ERROR_SUCCESS) {
        UniqueRegKey key(opened);
        status = setRawValue(key.get(), valueName, type, data, bytes);
    }
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot write a value of " << wideToUtf8(name) << ": error " << status;
        return false;
    }
    return true;
}

bool ScratchUninstallKeys::setDisplayVersion(UninstallRoot root, const std::wstring& name, const std::wstring& version)
{
    return writeValue(root, name, L"DisplayVersion", REG_SZ, version.c_str(),
                      static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
}

void ScratchUninstallKeys::track(UninstallRoot root, const std::wstring& name) { made_.emplace_back(root, name); }

bool ScratchUninstallKeys::exists(UninstallRoot root, const std::wstring& name, std::wstring* displayName)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(rootKey(root), entryPath(root, name).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    UniqueRegKey key(opened);
    if (displayName) {
        wchar_t data[1024] = {};
        DWORD type = 0;
        DWORD bytes = sizeof(data) - sizeof(wchar_t);
        displayName->clear();
        if (RegQueryValueExW(key.get(), L"DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_SZ)
            *displayName = data;
    }
    return true;
}

DWORD ScratchUninstallKeys::storedDisplayNameBytes(UninstallRoot root, const std::wstring& name)
{
    DWORD bytes = 0;
    if (RegGetValueW(rootKey(root), entryPath(root, name).c_str(), L"DisplayName", RRF_RT_ANY | RRF_NOEXPAND,
                     nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return 0;
    return bytes;
}

bool writeTestInstallerSidecar(const std::wstring& installer, const TestInstallerPlan& plan)
{
    std::string sidecar = "exit=" + std::to_string(plan.exitCode) + "\n";
    if (!plan.uninstallKey.empty()) {
        std::wstring location = identityPrefix(plan.location);
        location.pop_back();
        sidecar += "uninstallKey=" + wideToUtf8(plan.uninstallKey) + "\nlocation=" + wideToUtf8(location) + "\n";
    }
    if (plan.withDisplayName) sidecar += "displayName=" + wideToUtf8(plan.displayName) + "\n";
    if (!writeFile(installer + L".txt", sidecar)) {
        ADD_FAILURE() << "cannot write the sidecar of " << wideToUtf8(installer);
        return false;
    }
    return true;
}

std::wstring prepareTestInstaller(const TestInstallerPlan& plan)
{
    const std::wstring built =
        testBuildDir() + (plan.signedCopy ? L"\\signed_test_installer.exe" : L"\\test_installer.exe");
    const std::wstring copy = makeScratchDir(L"installer") + L"\\setup.exe";
    if (!CopyFileW(built.c_str(), copy.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy " << wideToUtf8(built) << " (is it built? osslsigncode signs the signed copy)";
        return std::wstring();
    }
    return writeTestInstallerSidecar(copy, plan) ? copy : std::wstring();
}
