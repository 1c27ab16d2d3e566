#pragma once
// The status line of a download row once its transfer is over, decided from
// plain values so it is tested natively.

#include <cstdint>
#include <string>

#include "download/installer_signature.h"
#include "ui/palette.h"

// The part of a task the line depends on.
struct RowStatusFacts {
    int32_t state = 0;
    bool isArchive = false;
    std::wstring error;
    InstallerSignature signature;
};

struct RowStatus {
    std::wstring text;
    TextColor colour = 0;
};

// Every state but Downloading and Paused, whose lines show the transfer's figures.
// After a launch the line also says who signed the installer.
RowStatus rowStatus(const RowStatusFacts& facts);

// " · 发布者：X", " · 发布者：X（未验证）" or " · 未签名"; empty before the first
// launch and for a broken signature (whose own text is the line).
std::wstring signatureNote(const InstallerSignature& signature);
