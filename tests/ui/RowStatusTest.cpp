// The download row's status line once the transfer is over.

#include <gtest/gtest.h>

#include "ui/row_status.h"

namespace {

enum : int32_t { kVerifying = 1, kDownloaded, kFailed, kCancelled, kInstalled, kInstalling, kUnconfirmed };

TEST(RowStatus, StatesSayWhatHappenedAndWhoSignedTheInstaller)
{
    const InstallerSignature none;
    const InstallerSignature trusted{SignatureState::Trusted, L"Lorimund"};
    const InstallerSignature untrusted{SignatureState::Untrusted, L"Lorimund 示例发布者"};
    const InstallerSignature unsigned_{SignatureState::Unsigned, L""};
    const InstallerSignature broken{SignatureState::Broken, L""};
    const std::wstring refused = L"安装程序的数字签名已损坏，已阻止运行";
    const struct {
        const char* what;
        RowStatusFacts facts;
        std::wstring text;
        TextColor colour;
    } rows[] = {
        {"verifying", {kVerifying, false, L"", none}, L"正在校验文件...", kTextMuted},
        {"downloaded", {kDownloaded, false, L"", none}, L"下载完成", kTextGreen},
        {"archive", {kDownloaded, true, L"", none}, L"下载成功 · 压缩包已保存", kTextGreen},
        {"launch failed, unsigned", {kDownloaded, false, L"", unsigned_}, L"下载完成 · 未签名", kTextGreen},
        {"signature broken", {kDownloaded, false, refused, broken}, refused, kTextRed},
        {"not verified", {kDownloaded, false, L"无法读取下载的文件，MD5 校验未完成", none},
         L"无法读取下载的文件，MD5 校验未完成", kTextRed},
        {"failed", {kFailed, false, L"网络错误", none}, L"下载失败：网络错误", kTextRed},
        {"cancelled", {kCancelled, false, L"", none}, L"已取消", kTextMuted},
        {"installing, trusted", {kInstalling, false, L"", trusted}, L"正在安装，请稍候... · 发布者：Lorimund", kTextGreen},
        {"installed, trusted", {kInstalled, false, L"", trusted}, L"安装完成 · 发布者：Lorimund", kTextGreen},
        {"installed, self-signed", {kInstalled, false, L"", untrusted},
         L"安装完成 · 发布者：Lorimund 示例发布者（未验证）", kTextGreen},
        {"installed, restart", {kInstalled, false, L"安装完成，重启电脑后生效", unsigned_},
         L"安装完成，重启电脑后生效 · 未签名", kTextGreen},
        {"unconfirmed", {kUnconfirmed, false, L"", none}, L"安装已取消，可点击右侧按钮重新安装", kTextRed},
        {"exit code", {kUnconfirmed, false, L"安装失败（错误代码 1603）", unsigned_},
         L"安装失败（错误代码 1603） · 未签名", kTextRed},
    };
    for (const auto& row : rows) {
        const RowStatus status = rowStatus(row.facts);
        EXPECT_EQ(status.text, row.text) << row.what;
        EXPECT_EQ(status.colour, row.colour) << row.what;
    }
}

}  // namespace
