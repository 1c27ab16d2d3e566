#pragma once
// What the Authenticode check before a launch found in an installer. Kept with
// the task so the download list can say who published it. Platform-free.

#include <cstdint>
#include <string>

enum class SignatureState : int32_t {
    Unchecked = 0,  // never looked at: the installer has not been launched yet
    Unsigned = 1,   // no signature: launched as any other file
    Trusted = 2,    // valid, and the signer's chain ends at a trusted root
    Untrusted = 3,  // valid for this file, but nobody vouches for the signer (self-signed, unknown root)
    Broken = 4      // present but does not fit the file, or cannot be checked: never launched
};

struct InstallerSignature {
    SignatureState state = SignatureState::Unchecked;
    std::wstring publisher;  // the signer certificate's subject name; empty unless Trusted or Untrusted
};
