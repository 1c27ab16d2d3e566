#pragma once
// The card button of an app without a task that the Uninstall keys show as
// installed. Platform-free.

#include <string>

enum class InstalledCard {
    None,       // not decided here: the task or package rows apply
    Installed,  // "已安装" in the installed look; a click downloads afresh
    Updatable,  // "可更新" in the accent look; a click downloads as "安 装" does
};

// A task, whatever its state, decides the button on its own: None. Installed
// unless the catalog's version is newer than the installed one; when either
// version is empty or they cannot be compared, Installed. An app the server has
// no package for is never offered as an update.
InstalledCard installedCardFor(bool hasTask, bool hasPackage, bool installed, const std::wstring& installedVersion,
                               const std::wstring& catalogVersion);

// "已安装", "可更新"; empty for None.
std::wstring installedCardLabel(InstalledCard card);
