// What an installer's exit code and its Authenticode check mean.

#include <gtest/gtest.h>

#include "install/exit_code.h"
#include "install/signature_verdict.h"

namespace {

TEST(InstallerExit, EachCodeReadsAsWhatItMeans)
{
    const std::wstring cancelled = L"安装已取消，可点击右侧按钮重新安装";
    const std::wstring restart = L"安装完成，重启电脑后生效";
    const struct {
        uint32_t code;
        bool judgeByUninstallKeys;
        std::wstring line;
    } rows[] = {
        {0, true, L""},
        {3010, true, restart},
        {1641, true, restart},
        {1602, false, cancelled},
        {1223, false, cancelled},
        {1618, false, L"另一个安装正在进行，请稍后重新安装"},
        {1638, false, L"已安装该软件的其他版本"},
        {1603, false, L"安装失败（错误代码 1603）"},
        {0x80004005u, false, L"安装失败（错误代码 2147500037）"},  // unsigned, in decimal
    };
    for (const auto& row : rows) {
        const InstallerExit meaning = installerExitMeaning(row.code);
        EXPECT_EQ(meaning.judgeByUninstallKeys, row.judgeByUninstallKeys) << row.code;
        EXPECT_EQ(meaning.line, row.line) << row.code;
    }
}

TEST(SignatureVerdict, OnlyAVouchedChainIsTrustedAndEveryUnknownAnswerBlocks)
{
    const uint32_t noSignature = 0x800B0100, subjectUnknown = 0x800B0003, untrustedRoot = 0x800B0109;
    const struct {
        const char* what;
        uint32_t result;
        uint32_t lastError;
        uint32_t chainError;
        SignatureState state;
    } rows[] = {
        {"valid, chain vouched for", 0, 0, 0, SignatureState::Trusted},
        // Wine 8 answers 0 for a self-signed SHA-256 signature.
        {"valid by the answer, chain not vouched for", 0, 0, untrustedRoot, SignatureState::Untrusted},
        {"untrusted root (self-signed SHA-1 under Wine)", untrustedRoot, untrustedRoot, 0, SignatureState::Untrusted},
        {"no signature", noSignature, noSignature, 0, SignatureState::Unsigned},
        {"no checker for the file kind", subjectUnknown, subjectUnknown, 0, SignatureState::Unsigned},
        {"no signature said, but another error behind it", noSignature, 0x80096010, 0, SignatureState::Broken},
        {"code changed after signing", 0x80096010, 0x80096010, 0, SignatureState::Broken},
        {"signer explicitly distrusted", 0x800B0111, 0, 0, SignatureState::Broken},
    };
    for (const auto& row : rows)
        EXPECT_EQ(signatureVerdict(row.result, row.lastError, row.chainError), row.state) << row.what;
}

}  // namespace
