#include "ui/installed_card.h"

#include "install/version_compare.h"

InstalledCard installedCardFor(bool hasTask, bool hasPackage, bool installed, const std::wstring& installedVersion,
                               const std::wstring& catalogVersion)
{
    if (hasTask || !installed) return InstalledCard::None;
    // Without a package a click can only say there is none: show what is installed.
    if (hasPackage && compareVersions(catalogVersion, installedVersion) == VersionOrder::Newer)
        return InstalledCard::Updatable;
    return InstalledCard::Installed;
}

std::wstring installedCardLabel(InstalledCard card)
{
    switch (card) {
    case InstalledCard::Installed: return L"已安装";
    case InstalledCard::Updatable: return L"可更新";
    case InstalledCard::None: break;
    }
    return std::wstring();
}
