#pragma once
// Installed-version searches.

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class ChainerConfig;
struct SearchEntry;

// The kinds of evidence a search entry names (its SearchType); any other value is satisfied without
// a search.
enum class SearchKind : int32_t {
  FileSearch = 0,
  RegistrySubkeys = 1,
  RegistryValueText = 2,
  MsiProductVersion = 3,
  MsiUpgradeCodeVersions = 4,
  RegistryKeyExists = 5,
  RegistryKeyMissing = 6,
  RegistryValueExists = 7,
  RegistryValueMissing = 8,
  RegistryValueCompare = 9,
  RunProgram = 10,
  MsiComponentInstalled = 11,
  RegistryValueNames = 12,
  AppxPackage = 13,
  SubfolderNames = 14,
};

// What one search entry collected, and whether it was satisfied.
struct FoundItem {
  std::vector<std::wstring> foundTexts;  // in the order found
  std::wstring valueText;                // the registry value a content comparison read
  bool satisfied = false;
};

// Runs the search entries of a prerequisite, refilling `foundItems`, and answers whether an
// acceptable version is installed. `use64Bit` is the prerequisite's x switch; `config` gives the
// payload paths of program-running entries.
// Operator 0 needs every entry satisfied and stops at the first that is not; operator 1 needs one and
// stops at the first that is; any other operator runs every entry and answers false. With no
// entries the answer is true under operator 0 only. Only the entries that were run are recorded.
bool RunSearches(const std::vector<SearchEntry>& searches, std::vector<FoundItem>& foundItems, int32_t op,
                 bool use64Bit, const ChainerConfig& config);

// The registry value comparison: the first letter of `refContent` picks the test (M equal, D
// different, C contains, X does not contain, S starts with, E ends with, G and L greater or less as
// decimal numbers made of digits only), the rest is the operand; exact and case-sensitive. False for
// an empty `refContent` or any other letter.
bool RefContentMatches(const std::wstring& refContent, const std::wstring& value);

}  // namespace quillon
