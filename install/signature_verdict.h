#pragma once
// How the answers of the Authenticode check read. Platform-free.

#include <cstdint>

#include "download/installer_signature.h"

// trustResult is WinVerifyTrust's answer and lastError the thread's last error
// right after it (Windows answers TRUST_E_NOSIGNATURE also for a signature it
// cannot read, and tells the two apart only there). chainPolicyError is the
// dwError of CertVerifyCertificateChainPolicy on the signer's chain, non-zero
// when no chain could be had.
//
// A success alone never makes a publisher trusted: Wine 8 answers 0 for some
// self-signed signatures, and only the chain tells them apart. Every answer
// not known to mean "no signature" or "valid but not vouched for" is Broken,
// so that an installer that cannot be checked is not started.
SignatureState signatureVerdict(uint32_t trustResult, uint32_t lastError, uint32_t chainPolicyError);
