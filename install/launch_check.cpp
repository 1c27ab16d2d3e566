#include "install/launch_check.h"

#include "download/verify.h"
#include "install/signature.h"

LaunchCheck checkBeforeLaunch(const std::wstring& path, const std::string& expectedMd5)
{
    LaunchCheck check;
    // Readers may share the file (the installer itself, msiexec, the checks
    // below); nobody may write, rename or delete it while it is held.
    check.hold.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!check.hold) {
        check.refusal = LaunchRefusal::FileUnreadable;
        return check;
    }
    if (!expectedMd5.empty()) {
        switch (checkFileDigest(path, expectedMd5)) {
        case DigestCheck::Matches: break;
        case DigestCheck::Differs: check.refusal = LaunchRefusal::FileChanged; return check;
        case DigestCheck::Unreadable: check.refusal = LaunchRefusal::FileUnreadable; return check;
        }
    }
    check.signature = checkInstallerSignature(path);
    if (check.signature.state == SignatureState::Broken) check.refusal = LaunchRefusal::SignatureBroken;
    return check;
}
