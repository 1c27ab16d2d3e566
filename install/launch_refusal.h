#pragma once
// Why the installer worker did not launch a downloaded installer. The worker
// posts it with WM_APP_INSTALL_REFUSED; the task keeps the same text as its
// error. Platform-free.

#include <cstdint>

enum class LaunchRefusal : int32_t {
    None = 0,
    FileUnreadable = 1,   // the file could not be opened or hashed: it cannot be verified
    FileChanged = 2,      // its MD5 no longer matches the catalog's
    SignatureBroken = 3,  // its Authenticode signature does not fit it
};

// The text shown for a refusal; empty for None.
const wchar_t* launchRefusalText(LaunchRefusal refusal);
