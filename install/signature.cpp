#include "install/signature.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "install/signature_verdict.h"

namespace {

// The state WinVerifyTrust keeps between its verify and close actions.
class TrustCheck {
public:
    explicit TrustCheck(const std::wstring& path)
    {
        file_.cbStruct = sizeof(file_);
        file_.pcwszFilePath = path.c_str();
        data_.cbStruct = sizeof(data_);
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        SetLastError(ERROR_SUCCESS);
        result_ = static_cast<uint32_t>(WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_));
        lastError_ = GetLastError();
    }
    ~TrustCheck()
    {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustCheck(const TrustCheck&) = delete;
    TrustCheck& operator=(const TrustCheck&) = delete;

    uint32_t result() const { return result_; }
    uint32_t lastError() const { return lastError_; }
    // The first signer, or null when the file carries none that could be read.
    CRYPT_PROVIDER_SGNR* signer() const
    {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
        return provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    }

private:
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    uint32_t result_ = 0;
    uint32_t lastError_ = 0;
};

std::wstring subjectName(PCCERT_CONTEXT cert)
{
    DWORD length = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::vector<wchar_t> name(length);
    CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    return std::wstring(name.data());
}

// dwError of the Authenticode chain policy; non-zero when there is no chain.
uint32_t chainPolicyError(PCCERT_CHAIN_CONTEXT chain)
{
    if (!chain) return static_cast<uint32_t>(CERT_E_CHAINING);
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof(para);
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &para, &status))
        return static_cast<uint32_t>(CERT_E_CHAINING);
    return status.dwError;
}

}  // namespace

InstallerSignature checkInstallerSignature(const std::wstring& path)
{
    TrustCheck check(path);
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    std::wstring publisher;
    if (CRYPT_PROVIDER_SGNR* signer = check.signer()) {
        chain = signer->pChainContext;
        CRYPT_PROVIDER_CERT* cert = WTHelperGetProvCertFromChain(signer, 0);
        if (cert && cert->pCert) publisher = subjectName(cert->pCert);
    }
    InstallerSignature signature;
    signature.state = signatureVerdict(check.result(), check.lastError(), chainPolicyError(chain));
    if (signature.state == SignatureState::Trusted || signature.state == SignatureState::Untrusted)
        signature.publisher = publisher;
    return signature;
}
