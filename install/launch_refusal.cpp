#include "install/launch_refusal.h"

const wchar_t* launchRefusalText(LaunchRefusal refusal)
{
    switch (refusal) {
    case LaunchRefusal::FileUnreadable: return L"无法读取安装程序，未能校验，已阻止运行";
    case LaunchRefusal::FileChanged: return L"安装程序在校验后被改动，已阻止运行，请重新下载";
    case LaunchRefusal::SignatureBroken: return L"安装程序的数字签名已损坏，已阻止运行";
    case LaunchRefusal::None: break;
    }
    return L"";
}
