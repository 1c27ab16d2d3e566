#pragma once
// How an app card's action button and its icon placeholder look, decided from
// plain numbers so the table is tested natively.

#include <cstdint>
#include <string>

#include "download/task_state.h"
#include "ui/installed_card.h"
#include "ui/palette.h"

// The part of a download task the card button depends on.
struct ButtonTask {
    int32_t state = 0;
    int64_t received = 0;
    int64_t size = 0;
    bool isArchive = false;
};

struct CardButtonLook {
    std::wstring label;
    Argb fill = 0;
    TextColor labelColor = 0;
    int overlayWidth = 0;  // progress overlay from the left edge; 0: none
};

// task null: the app has no task. hovered: the pointer is over the card's button.
// installed: what the Uninstall keys say of an app without a task (see
// installedCardFor); it comes before the package rows, a task overrides it.
CardButtonLook cardButtonLook(bool hasPackage, const ButtonTask* task, bool hovered,
                              InstalledCard installed = InstalledCard::None);

// The lettered placeholder's colours for an app id of any sign; without an app
// the first palette colour.
struct PlaceholderLook {
    TextColor letter = 0;
    Argb fill = 0;     // 14 % of the colour over white
    Argb outline = 0;  // 30 % of the colour over white
};
PlaceholderLook placeholderLook(int32_t appId, bool hasApp);

// The placeholder's letter: the name's first character (a surrogate pair kept
// whole), "?" for an empty name.
std::wstring placeholderLetter(const std::wstring& name);
