#include "ui/card_look.h"

namespace {

CardButtonLook accentButton(const wchar_t* label, bool hovered)
{
    return {label, hovered ? kAccentHover : kAccent, kTextWhite, 0};
}

CardButtonLook progressButton(std::wstring label, const ButtonTask& task)
{
    // One pixel per percent; a transfer past its announced size stays inside the button.
    return {std::move(label), kHoverFill, kTextAccent, transferPercent(task.received, task.size)};
}

// "<word> N%", N the clamped share of the transfer.
CardButtonLook percentButton(const wchar_t* word, const ButtonTask& task)
{
    return progressButton(std::wstring(word) + L" " + std::to_wstring(transferPercent(task.received, task.size)) + L"%",
                          task);
}

uint8_t channel(TextColor colour, int shift) { return static_cast<uint8_t>((colour >> shift) & 0xFF); }

// Each channel 255 - (255 - c) * percent / 100, opaque.
Argb tint(TextColor colour, int percent)
{
    Argb result = 0xFF000000;
    // ARGB keeps red in bits 16..23, the text colour in bits 0..7.
    const int textShift[3] = {0, 8, 16};
    const int argbShift[3] = {16, 8, 0};
    for (int i = 0; i < 3; ++i) {
        int c = channel(colour, textShift[i]);
        result |= static_cast<Argb>(255 - (255 - c) * percent / 100) << argbShift[i];
    }
    return result;
}

}  // namespace

CardButtonLook cardButtonLook(bool hasPackage, const ButtonTask* task, bool hovered, InstalledCard installed)
{
    if (!task) {
        if (installed == InstalledCard::Installed) return {L"已安装", kGreenTint, kTextGreen, 0};
        if (installed == InstalledCard::Updatable) return accentButton(L"可更新", hovered);
        if (hasPackage) return accentButton(L"安 装", hovered);
        return {L"敬请期待", kHoverFill, kTextDisabled, 0};
    }
    switch (task->state) {
    case TaskState::Downloading: return percentButton(L"下载中", *task);
    case TaskState::Verifying: return progressButton(L"校验中", *task);
    case TaskState::Paused: return percentButton(L"已暂停", *task);
    case TaskState::Downloaded:
    case TaskState::InstallUnconfirmed: return accentButton(task->isArchive ? L"打开文件夹" : L"立即安装", hovered);
    case TaskState::Failed: return accentButton(L"重试", hovered);
    case TaskState::Cancelled: return accentButton(L"重新下载", hovered);
    case TaskState::Installed: return {L"已安装", kGreenTint, kTextGreen, 0};
    case TaskState::Installing: return {L"安装中", kGreenTint, kTextGreen, 0};
    default: return cardButtonLook(hasPackage, nullptr, hovered);
    }
}

PlaceholderLook placeholderLook(int32_t appId, bool hasApp)
{
    // Ids are signed: a negative id must still pick a palette entry.
    int index = hasApp ? ((appId % 5) + 5) % 5 : 0;
    TextColor colour = kPlaceholderColors[index];
    return {colour, tint(colour, 14), tint(colour, 30)};
}

std::wstring placeholderLetter(const std::wstring& name)
{
    if (name.empty()) return L"?";
    size_t length = 1;
    if (name.size() > 1 && name[0] >= 0xD800 && name[0] <= 0xDBFF && name[1] >= 0xDC00 && name[1] <= 0xDFFF) length = 2;
    return name.substr(0, length);
}
