#pragma once
// Uninstall entries that a test makes in the throwaway Wine prefix, and the
// test installer it runs; everything made is removed again when the test ends.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class UninstallRoot { Machine64, Machine32, User };

// The identity prefix ("LM64\", "LM32\", "CU\") a snapshot gives entries there.
std::wstring identityPrefix(UninstallRoot root);
// A fixed-width token unique to this process and call, so that no two tokens
// are prefixes of each other (the name rule allows prefixes).
std::wstring uniqueToken();
// An application id that no other test of this program uses.
int32_t uniqueAppId();

class ScratchUninstallKeys {
public:
    ScratchUninstallKeys() = default;
    ~ScratchUninstallKeys();
    ScratchUninstallKeys(const ScratchUninstallKeys&) = delete;
    ScratchUninstallKeys& operator=(const ScratchUninstallKeys&) = delete;

    // An entry without values.
    bool create(UninstallRoot root, const std::wstring& name);
    // An entry with a REG_SZ DisplayName, NUL included.
    bool createWithDisplayName(UninstallRoot root, const std::wstring& name, const std::wstring& displayName);
    // An entry whose DisplayName holds exactly these bytes with this type.
    bool createWithRawDisplayName(UninstallRoot root, const std::wstring& name, DWORD type, const void* data,
                                  DWORD bytes);
    // A value of an entry made before: exactly these bytes with this type.
    bool writeValue(UninstallRoot root, const std::wstring& name, const wchar_t* valueName, DWORD type,
                    const void* data, DWORD bytes);
    // A REG_SZ DisplayVersion, NUL included, on an entry made before.
    bool setDisplayVersion(UninstallRoot root, const std::wstring& name, const std::wstring& version);
    // An entry another process is expected to make; removed at the end as well.
    void track(UninstallRoot root, const std::wstring& name);
    // Whether the entry exists now, and its REG_SZ DisplayName if it has one.
    static bool exists(UninstallRoot root, const std::wstring& name, std::wstring* displayName = nullptr);
    // Size in bytes of the stored DisplayName; 0 when there is none.
    static DWORD storedDisplayNameBytes(UninstallRoot root, const std::wstring& name);

private:
    std::vector<std::pair<UninstallRoot, std::wstring>> made_;
};

// What the test installer (tools/test_installer) does when it runs.
struct TestInstallerPlan {
    DWORD exitCode = 0;
    std::wstring uninstallKey;  // empty: creates no entry
    UninstallRoot location = UninstallRoot::User;
    bool withDisplayName = false;
    std::wstring displayName;
    bool signedCopy = false;  // the copy signed with the build's self-signed certificate
};

// A copy of the built test installer in a scratch folder with its sidecar
// written; empty (and a test failure) when the build output is missing.
std::wstring prepareTestInstaller(const TestInstallerPlan& plan);
// The sidecar that steers the test installer at `installer` (a copy under any name).
bool writeTestInstallerSidecar(const std::wstring& installer, const TestInstallerPlan& plan);
