#include "ui/row_status.h"

#include "download/task_state.h"

namespace {

// The task's own text (an exit code's meaning, a refused launch) where there
// is one, else the state's.
std::wstring errorOr(const std::wstring& error, const wchar_t* text) { return error.empty() ? text : error; }

}  // namespace

std::wstring signatureNote(const InstallerSignature& signature)
{
    switch (signature.state) {
    case SignatureState::Trusted: return L" · 发布者：" + signature.publisher;
    // A signer nobody vouches for may call itself anything.
    case SignatureState::Untrusted: return L" · 发布者：" + signature.publisher + L"（未验证）";
    case SignatureState::Unsigned: return L" · 未签名";
    case SignatureState::Unchecked:
    case SignatureState::Broken: break;
    }
    return std::wstring();
}

RowStatus rowStatus(const RowStatusFacts& facts)
{
    const std::wstring note = signatureNote(facts.signature);
    switch (facts.state) {
    case TaskState::Verifying: return {L"正在校验文件...", kTextMuted};
    case TaskState::Downloaded:
        // A download that could not be verified, or a launch that was refused.
        if (!facts.error.empty()) return {facts.error, kTextRed};
        return {(facts.isArchive ? L"下载成功 · 压缩包已保存" : L"下载完成") + note, kTextGreen};
    case TaskState::Failed: return {L"下载失败：" + facts.error, kTextRed};
    case TaskState::Cancelled: return {L"已取消", kTextMuted};
    case TaskState::Installed: return {errorOr(facts.error, L"安装完成") + note, kTextGreen};
    case TaskState::Installing: return {L"正在安装，请稍候..." + note, kTextGreen};
    case TaskState::InstallUnconfirmed: return {errorOr(facts.error, L"安装已取消，可点击右侧按钮重新安装") + note, kTextRed};
    case TaskState::Downloading:
    case TaskState::Paused:
    default: break;
    }
    return {L"", kTextMuted};
}
