// The download row's status line once the transfer is over.

#include <gtest/gtest.h>

#include "ui/row_status.h"

TEST(RowStatus, SaysWhatHappenedAndWhoSignedTheInstaller)
{
    enum : int32_t { kDownloaded = 2, kInstalled = 5, kInstalling = 6, kUnconfirmed = 7 };
    const InstallerSignature none, unsigned_{SignatureState::Unsigned, L""};
    const InstallerSignature trusted{SignatureState::Trusted, L"Lorimund"};
    const InstallerSignature untrusted{SignatureState::Untrusted, L"Lorimund 示例发布者"};
    const std::wstring broken = L"安装程序的数字签名已损坏，已阻止运行";
    const struct {
        RowStatusFacts facts;
        std::wstring text;
        TextColor colour;
    } rows[] = {
        {{kDownloaded, false, L"", none}, L"下载完成", kTextGreen},
        {{kDownloaded, true, L"", none}, L"下载成功 · 压缩包已保存", kTextGreen},
        {{kDownloaded, false, broken, {SignatureState::Broken, L""}}, broken, kTextRed},
        {{kInstalling, false, L"", trusted}, L"正在安装，请稍候... · 发布者：Lorimund", kTextGreen},
        {{kInstalled, false, L"", untrusted}, L"安装完成 · 发布者：Lorimund 示例发布者（未验证）", kTextGreen},
        {{kInstalled, false, L"安装完成，重启电脑后生效", unsigned_}, L"安装完成，重启电脑后生效 · 未签名", kTextGreen},
        {{kUnconfirmed, false, L"", none}, L"安装已取消，可点击右侧按钮重新安装", kTextRed},
        {{kUnconfirmed, false, L"安装失败（错误代码 1603）", unsigned_}, L"安装失败（错误代码 1603） · 未签名", kTextRed},
    };
    for (const auto& row : rows) {
        const RowStatus status = rowStatus(row.facts);
        EXPECT_EQ(status.text, row.text) << "row " << &row - rows;
        EXPECT_EQ(status.colour, row.colour) << "row " << &row - rows;
    }
}
