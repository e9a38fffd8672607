#pragma once
// Installed-version searches.

#include <string>
#include <vector>

namespace quillon {

// What one search entry collected, and whether it was satisfied.
struct FoundItem {
  std::vector<std::wstring> foundTexts;  // in the order found
  std::wstring valueText;                // the registry value a content comparison read
  bool satisfied = false;
};

}  // namespace quillon
