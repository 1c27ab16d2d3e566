#pragma once
// The checks the installer worker makes on a downloaded installer right
// before it launches it.

#include <string>

#include "core/handles.h"
#include "download/installer_signature.h"
#include "install/launch_refusal.h"

struct LaunchCheck {
    LaunchRefusal refusal = LaunchRefusal::None;
    InstallerSignature signature;
    // The file, held open without write or delete sharing from before the
    // checks until the installer has ended, so what was checked is what runs.
    UniqueFile hold;
};

// Checks the file's MD5 again against expectedMd5 (when it is not empty), then
// its Authenticode signature. Reads the whole file twice: worker threads only.
LaunchCheck checkBeforeLaunch(const std::wstring& path, const std::string& expectedMd5);
