#pragma once
// Installed-version searches.

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class ChainerConfig;
struct SearchEntry;

// What one search entry collected, and whether it was satisfied.
struct FoundItem {
  std::vector<std::wstring> foundTexts;  // in the order found
  std::wstring valueText;                // the registry value a content comparison read
  bool satisfied = false;
};

// Runs the search entries of a prerequisite, refilling `foundItems`, and answers whether an
// acceptable version is installed. `use64Bit` is the prerequisite's x switch; `config` gives the
// payload paths of program-running entries.
bool RunSearches(const std::vector<SearchEntry>& searches, std::vector<FoundItem>& foundItems, int32_t op,
                 bool use64Bit, const ChainerConfig& config);

}  // namespace quillon
