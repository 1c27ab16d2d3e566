#include "install/exit_code.h"

namespace {

struct KnownExit {
    uint32_t code;
    bool judgeByUninstallKeys;
    const wchar_t* line;
};

// Windows Installer's codes, which many setup programs return as well.
const KnownExit kKnownExits[] = {
    {0, true, L""},
    {3010, true, L"安装完成，重启电脑后生效"},  // ERROR_SUCCESS_REBOOT_REQUIRED
    {1641, true, L"安装完成，重启电脑后生效"},  // ERROR_SUCCESS_REBOOT_INITIATED
    {1602, false, L"安装已取消，可点击右侧按钮重新安装"},  // ERROR_INSTALL_USEREXIT
    {1223, false, L"安装已取消，可点击右侧按钮重新安装"},  // ERROR_CANCELLED
    {1618, false, L"另一个安装正在进行，请稍后重新安装"},  // ERROR_INSTALL_ALREADY_RUNNING
    {1638, false, L"已安装该软件的其他版本"},              // ERROR_PRODUCT_VERSION
};

}  // namespace

InstallerExit installerExitMeaning(uint32_t exitCode)
{
    for (const KnownExit& known : kKnownExits)
        if (known.code == exitCode) return {known.judgeByUninstallKeys, known.line};
    return {false, L"安装失败（错误代码 " + std::to_wstring(exitCode) + L"）"};
}
