#pragma once
// Searches among the products and components that Windows Installer knows. msi.dll is loaded from
// the system folder on first use and kept; when it cannot be loaded every search finds nothing.

#include <string>
#include <vector>

namespace quillon {

// Appends the "VersionString" of the product `productCode` to `found`; nothing for a product that
// is not installed, a code that is not a product code, or a failed call.
void CollectProductVersion(const std::wstring& productCode, std::vector<std::wstring>& found);

// Appends the "VersionString" of every installed product related to `upgradeCode`, in the order
// Windows Installer enumerates them; nothing when none is or the code is not valid.
void CollectUpgradeCodeVersions(const std::wstring& upgradeCode, std::vector<std::wstring>& found);

// True when Windows Installer locates the component `componentCode` installed locally or to run
// from its source.
bool IsComponentInstalled(const std::wstring& componentCode);

}  // namespace quillon
