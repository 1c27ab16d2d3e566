#include "install/signature_verdict.h"

namespace {

constexpr uint32_t kTrustNoSignature = 0x800B0100;     // TRUST_E_NOSIGNATURE
constexpr uint32_t kTrustSubjectUnknown = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN: no checker for this file kind
constexpr uint32_t kTrustProviderUnknown = 0x800B0001; // TRUST_E_PROVIDER_UNKNOWN

// The signature fits the file; only the signer is not vouched for.
const uint32_t kUnvouchedSigner[] = {
    0x800B0109,  // CERT_E_UNTRUSTEDROOT: self-signed or an unknown root
    0x800B010A,  // CERT_E_CHAINING: no chain to any root
    0x800B010D,  // CERT_E_UNTRUSTEDTESTROOT
    0x800B0112,  // CERT_E_UNTRUSTEDCA
    0x800B0101,  // CERT_E_EXPIRED: signed without a time stamp by a certificate that has expired since
};

bool meansNoSignature(uint32_t code)
{
    return code == kTrustNoSignature || code == kTrustSubjectUnknown || code == kTrustProviderUnknown;
}

}  // namespace

SignatureState signatureVerdict(uint32_t trustResult, uint32_t lastError, uint32_t chainPolicyError)
{
    if (trustResult == 0) return chainPolicyError == 0 ? SignatureState::Trusted : SignatureState::Untrusted;
    if (trustResult == kTrustNoSignature) return meansNoSignature(lastError) ? SignatureState::Unsigned
                                                                            : SignatureState::Broken;
    if (meansNoSignature(trustResult)) return SignatureState::Unsigned;
    for (uint32_t code : kUnvouchedSigner)
        if (trustResult == code) return SignatureState::Untrusted;
    return SignatureState::Broken;
}
