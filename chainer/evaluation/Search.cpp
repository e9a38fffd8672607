#include "chainer/evaluation/Search.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/FileSearch.h"
#include "chainer/evaluation/FormattedText.h"
#include "chainer/evaluation/InstallerSearch.h"
#include "chainer/evaluation/OsInfo.h"
#include "chainer/evaluation/Prerequisite.h"
#include "chainer/evaluation/Version.h"
#include "chainer/installation/AppPackageInstaller.h"
#include "chainer/installation/PackageLauncher.h"
#include "platform/core/Paths.h"
#include "platform/core/Registry.h"

namespace quillon {
namespace {

constexpr DWORD kSubkeyNameRoom = 260;  // names of up to 259 characters

void CollectSubkeyNames(const std::wstring& keyPath, bool use64Bit, std::vector<std::wstring>& found) {
  const RegistryKeyHolder key = OpenKeyByPath(keyPath, use64Bit);
  if (!key.IsValid()) return;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kSubkeyNameRoom];
    DWORD length = kSubkeyNameRoom;
    if (::RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
    found.emplace_back(name, length);
  }
}

// The value's bytes read as UTF-16 up to the first NUL, whatever its type.
void CollectValueData(const std::wstring& valuePath, bool use64Bit, std::vector<std::wstring>& found) {
  const size_t slash = valuePath.rfind(L'\\');
  if (slash == std::wstring::npos) return;
  const RegistryKeyHolder key = OpenKeyByPath(valuePath.substr(0, slash), use64Bit);
  if (!key.IsValid()) return;
  const std::wstring valueName = valuePath.substr(slash + 1);
  BYTE none[1] = {0};
  DWORD size = 0;
  LONG status = ::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr, none, &size);
  std::vector<BYTE> data;
  if (status == ERROR_MORE_DATA) {
    data.assign(size, 0);
    status = ::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr, data.data(), &size);
    size = std::min<DWORD>(size, static_cast<DWORD>(data.size()));
  }
  if (status != ERROR_SUCCESS) return;
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  text.resize(std::wcslen(text.c_str()));
  found.push_back(std::move(text));
}

bool IsDecimalDigits(const std::wstring& text) { return text.find_first_not_of(L"0123456789") == std::wstring::npos; }

bool RunProgram(const SearchEntry& entry, const ChainerConfig& config) {
  const std::wstring program = config.PayloadPath(entry.SearchString);
  const std::wstring arguments = ExpandFormattedText(entry.SearchCmdLine, false);
  // A program that hands over to a running one leaves no exit code to judge by.
  DWORD exitCode = ERROR_INVALID_FUNCTION;
  const bool started =
      LaunchAndWait(program, arguments, GetFolderPart(program), entry.RefContent == L"WND_HIDE", exitCode);
  return started && exitCode == 0;
}

// name?architecture?publisher: runs of "?" divide like one, empty parts are skipped, and each part
// is trimmed of white space. Installed packages exist from Windows 10 on.
void CollectAppPackageVersion(const std::wstring& searchString, std::vector<std::wstring>& found) {
  if (!IsOsAtLeast(10, 0, 0, 0)) return;
  constexpr wchar_t kBlanks[] = L" \t\r\n\v\f";
  std::wstring parts[3];
  size_t count = 0;
  for (size_t start = 0; count < 3;) {
    start = searchString.find_first_not_of(L'?', start);
    if (start == std::wstring::npos) break;
    const size_t end = std::min(searchString.find(L'?', start), searchString.size());
    std::wstring part = searchString.substr(start, end - start);
    const size_t first = part.find_first_not_of(kBlanks);
    if (first != std::wstring::npos) parts[count] = part.substr(first, part.find_last_not_of(kBlanks) - first + 1);
    ++count;
    start = end;
  }
  std::wstring version = MsixFinder::Find(parts[0], parts[2], parts[1]);
  if (!version.empty()) found.push_back(std::move(version));
}

// Runs the collector of `entry` into `item` and decides whether the entry is satisfied.
void RunEntry(const SearchEntry& entry, bool use64Bit, const ChainerConfig& config, FoundItem& item) {
  std::vector<std::wstring>& found = item.foundTexts;
  switch (static_cast<SearchKind>(entry.SearchType)) {
    case SearchKind::FileSearch:
      CollectFileVersion(entry.SearchString, use64Bit, found);
      break;
    case SearchKind::RegistrySubkeys:
      CollectSubkeyNames(entry.SearchString, use64Bit, found);
      break;
    case SearchKind::RegistryValueText:
      CollectValueData(entry.SearchString, use64Bit, found);
      break;
    case SearchKind::MsiProductVersion:
      CollectProductVersion(entry.SearchString, found);
      break;
    case SearchKind::MsiUpgradeCodeVersions:
      CollectUpgradeCodeVersions(entry.SearchString, found);
      break;
    case SearchKind::RegistryKeyExists:
      item.satisfied = KeyExists(entry.SearchString, use64Bit);
      return;
    case SearchKind::RegistryKeyMissing:
      item.satisfied = !KeyExists(entry.SearchString, use64Bit);
      return;
    case SearchKind::RegistryValueExists:
      item.satisfied = ValueExists(entry.SearchString, use64Bit);
      return;
    case SearchKind::RegistryValueMissing:
      item.satisfied = !ValueExists(entry.SearchString, use64Bit);
      return;
    case SearchKind::RegistryValueCompare:
      item.satisfied = ReadValueAtPath(entry.SearchString, use64Bit, item.valueText) &&
                       RefContentMatches(entry.RefContent, item.valueText);
      return;
    case SearchKind::RunProgram:
      item.satisfied = RunProgram(entry, config);
      return;
    case SearchKind::MsiComponentInstalled:
      item.satisfied = IsComponentInstalled(entry.SearchString);
      return;
    case SearchKind::RegistryValueNames: {
      std::vector<std::wstring> names;
      static_cast<void>(EnumValueNames(entry.SearchString, use64Bit, names));
      found = std::move(names);
      break;
    }
    case SearchKind::AppxPackage:
      CollectAppPackageVersion(entry.SearchString, found);
      break;
    case SearchKind::SubfolderNames:
      CollectSubfolderNames(entry.SearchString, use64Bit, found);
      break;
    default:
      item.satisfied = true;  // an unknown kind asks for nothing
      return;
  }
  item.satisfied = IsVersionInRange(entry.VerMin, entry.VerMax, found);
}

}  // namespace

bool RefContentMatches(const std::wstring& refContent, const std::wstring& value) {
  if (refContent.empty()) return false;
  const std::wstring operand = refContent.substr(1);
  switch (refContent[0]) {
    case L'M':
      return value == operand;
    case L'D':
      return value != operand;
    case L'C':
      return value.find(operand) != std::wstring::npos;
    case L'X':
      return value.find(operand) == std::wstring::npos;
    case L'S':
      return value.find(operand) == 0;
    case L'E':
      return value.size() >= operand.size() &&
             value.compare(value.size() - operand.size(), operand.size(), operand) == 0;
    case L'G':
      return IsDecimalDigits(value) && IsDecimalDigits(operand) && TextToInt(value) > TextToInt(operand);
    case L'L':
      return IsDecimalDigits(value) && IsDecimalDigits(operand) && TextToInt(value) < TextToInt(operand);
    default:
      return false;
  }
}

bool RunSearches(const std::vector<SearchEntry>& searches, std::vector<FoundItem>& foundItems, int32_t op,
                 bool use64Bit, const ChainerConfig& config) {
  foundItems.clear();
  bool answer = op == 0;
  for (const SearchEntry& entry : searches) {
    FoundItem item;
    RunEntry(entry, use64Bit, config, item);
    if (op == 0) {
      answer = answer && item.satisfied;
    } else if (op == 1) {
      answer = answer || item.satisfied;
    }
    foundItems.push_back(std::move(item));
    // Stop once no later entry can change the answer.
    if ((op == 0 && !answer) || (op == 1 && answer)) break;
  }
  return answer;
}

}  // namespace quillon
