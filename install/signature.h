#pragma once
// The Authenticode check of an installer before it is launched.

#include <string>

#include "download/installer_signature.h"

// Checks the file's signature with WinVerifyTrust (no UI, no revocation
// check, nothing fetched from the network) and the signer's chain. Reads the
// whole file: call it on a worker thread, never on the UI thread.
InstallerSignature checkInstallerSignature(const std::wstring& path);
