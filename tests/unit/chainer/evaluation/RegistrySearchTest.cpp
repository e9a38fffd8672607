// The registry searches, in both registry views, with and without the x switch.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/OsInfo.h"
#include "chainer/evaluation/Prerequisite.h"
#include "chainer/evaluation/Search.h"
#include "tests/support/ScopedRegistryOverride.h"

namespace quillon {
namespace {

using testing::ScopedRegistryOverride;

FoundItem RunOne(int32_t kind, const std::wstring& searchString, bool use64Bit, const wchar_t* verMin = L"",
                 const wchar_t* refContent = L"") {
  SearchEntry entry;
  entry.SearchType = kind;
  entry.SearchString = searchString;
  entry.VerMin = verMin;
  entry.RefContent = refContent;
  ChainerConfig config;
  std::vector<FoundItem> items;
  RunSearches({entry}, items, 0, use64Bit, config);
  EXPECT_EQ(1u, items.size());
  return items.empty() ? FoundItem{} : items[0];
}

using Texts = std::vector<std::wstring>;

// HKLM\Software\ChainerTests\<unique> in both views, each with its own content, so that every
// answer shows which view was read.
class RegistrySearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GetOsInfo().is64BitWindows) GTEST_SKIP() << "the two views are one on 32-bit Windows";
    for (const auto& [view, version] : {std::pair{KEY_WOW64_64KEY, L"6.4"}, std::pair{KEY_WOW64_32KEY, L"3.2"}}) {
      ASSERT_TRUE(key_.SetString(L"", L"Version", version, view));
      ASSERT_TRUE(key_.CreateKey(std::wstring(L"Versions\\") + version, view));
      ASSERT_TRUE(key_.CreateKey(std::wstring(L"Only") + (view == KEY_WOW64_64KEY ? L"64" : L"32"), view));
    }
    ASSERT_TRUE(key_.CreateKey(L"Versions\\2.0", KEY_WOW64_32KEY));
    ASSERT_TRUE(key_.SetString(L"", L"Only32Value", L"x", KEY_WOW64_32KEY));
    ASSERT_TRUE(key_.SetString(L"Names", L"1.0", L"", KEY_WOW64_64KEY));
    ASSERT_TRUE(key_.SetString(L"Names", L"7.5", L"", KEY_WOW64_64KEY));
    ASSERT_TRUE(key_.SetString(L"Names", L"2.5", L"", KEY_WOW64_32KEY));
  }
  std::wstring Path(const std::wstring& rest) const { return rest.empty() ? key_.Path() : key_.Path() + L"\\" + rest; }

  ScopedRegistryOverride key_{HKEY_LOCAL_MACHINE};
};

TEST_F(RegistrySearchTest, SubkeysValuesAndNamesComeFromTheChosenView) {
  const struct {
    int32_t kind;
    std::wstring path;
    bool use64Bit;
    Texts found;
  } kCases[] = {
      {1, Path(L"Versions"), true, {L"6.4"}},
      {1, Path(L"Versions"), false, {L"2.0", L"3.2"}},
      {2, Path(L"Version"), true, {L"6.4"}},
      {2, Path(L"Version"), false, {L"3.2"}},
      {12, Path(L"Names"), true, {L"1.0", L"7.5"}},
      {12, Path(L"Names"), false, {L"2.5"}},
      {1, Path(L"Missing"), true, {}},
      {2, Path(L"Missing"), false, {}},
      {12, Path(L"Missing"), true, {}},
  };
  for (const auto& c : kCases) {
    const FoundItem item = RunOne(c.kind, c.path, c.use64Bit);
    EXPECT_EQ(c.found, item.foundTexts) << c.kind << L" " << c.path << L" " << c.use64Bit;
    EXPECT_EQ(!c.found.empty(), item.satisfied) << c.kind << L" " << c.path;
  }
}

TEST_F(RegistrySearchTest, RangeTestOverSubkeys) {
  // 2.0 and 3.2 in the 32-bit view: a lower bound of 3 is met by 3.2, one of 4 by neither.
  EXPECT_TRUE(RunOne(1, Path(L"Versions"), false, L"3").satisfied);
  EXPECT_FALSE(RunOne(1, Path(L"Versions"), false, L"4").satisfied);
  EXPECT_TRUE(RunOne(1, Path(L"Versions"), true, L"4").satisfied);
  EXPECT_FALSE(RunOne(12, Path(L"Names"), true, L"8").satisfied);
}

TEST_F(RegistrySearchTest, FactsAboutKeysAndValues) {
  const struct {
    int32_t kind;
    std::wstring path;
    bool use64Bit;
    bool satisfied;
  } kCases[] = {
      {5, Path(L"Only64"), true, true},          {5, Path(L"Only64"), false, false},
      {5, Path(L"Only32"), false, true},         {5, Path(L"Only32"), true, false},
      {6, Path(L"Only64"), true, false},         {6, Path(L"Only64"), false, true},
      {7, Path(L"Only32Value"), false, true},    {7, Path(L"Only32Value"), true, false},
      {8, Path(L"Only32Value"), false, false},   {8, Path(L"Only32Value"), true, true},
      {7, Path(L"Version"), true, true},         {7, Path(L"Missing\\Value"), true, false},
      {8, Path(L"Missing\\Value"), false, true},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.satisfied, RunOne(c.kind, c.path, c.use64Bit).satisfied)
        << c.kind << L" " << c.path << L" " << c.use64Bit;
  }
}

TEST_F(RegistrySearchTest, CompareReadsTheValueOfTheChosenView) {
  const FoundItem wide = RunOne(9, Path(L"Version"), true, L"", L"M6.4");
  EXPECT_TRUE(wide.satisfied);
  EXPECT_EQ(L"6.4", wide.valueText);
  EXPECT_TRUE(wide.foundTexts.empty());
  const FoundItem narrow = RunOne(9, Path(L"Version"), false, L"", L"M6.4");
  EXPECT_FALSE(narrow.satisfied);
  EXPECT_EQ(L"3.2", narrow.valueText);
  // A value that cannot be read is never satisfied, not even by a test that holds for the empty text.
  const FoundItem missing = RunOne(9, Path(L"Missing"), true, L"", L"DOK");
  EXPECT_FALSE(missing.satisfied);
  EXPECT_EQ(L"", missing.valueText);
}

// Value types and data shapes in the current user's key, which both views share.
TEST(RegistryValueSearchTest, ValueDataAsTextWhateverItsType) {
  ScopedRegistryOverride key;
  const DWORD one = 1;
  ASSERT_TRUE(key.SetString(L"", L"Text", L"4.2"));
  ASSERT_TRUE(key.SetString(L"", L"Empty", L""));
  ASSERT_TRUE(key.SetValue(L"", L"NoData", REG_SZ, nullptr, 0));
  ASSERT_TRUE(key.SetValue(L"", L"Dword", REG_DWORD, &one, sizeof(one)));
  ASSERT_TRUE(key.SetValue(L"", L"Multi", REG_MULTI_SZ, L"5.1\0six\0", 10 * sizeof(wchar_t)));
  ASSERT_TRUE(key.SetValue(L"", L"Unterminated", REG_SZ, L"7.7", 3 * sizeof(wchar_t)));
  ASSERT_TRUE(key.SetValue(L"", L"OddBytes", REG_BINARY,
                           "8\0.\0"
                           "1\0x",
                           7));
  ASSERT_TRUE(key.SetString(L"", L"Expand", L"%TEMP%\\9.0", false, REG_EXPAND_SZ));
  ASSERT_TRUE(key.SetString(L"", L"", L"3.3"));
  const std::wstring big(32768, L'9');
  ASSERT_TRUE(key.SetString(L"", L"Big", big));
  ASSERT_TRUE(key.SetString(L"", L"Dec", L"12"));
  ASSERT_TRUE(key.SetString(L"", L"Phrase", L"NOT OK"));

  const struct {
    const wchar_t* name;
    Texts found;
  } kCases[] = {
      {L"Text", {L"4.2"}},     {L"Empty", {L""}},
      {L"NoData", {L""}},      {L"Dword", {std::wstring(1, wchar_t{1})}},
      {L"Multi", {L"5.1"}},    {L"Unterminated", {L"7.7"}},
      {L"OddBytes", {L"8.1"}}, {L"Expand", {L"%TEMP%\\9.0"}},
      {L"", {L"3.3"}},         {L"Big", {big}},
      {L"Missing", {}},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.found, RunOne(2, key.Path() + L"\\" + c.name, false).foundTexts) << c.name;
  }
  EXPECT_TRUE(RunOne(2, key.Path() + L"\\Text", false, L"4.2").satisfied);
  // Without bounds any value found is acceptable, the empty one too; with a bound it must read as a version.
  EXPECT_TRUE(RunOne(2, key.Path() + L"\\Empty", false).satisfied);
  EXPECT_FALSE(RunOne(2, key.Path() + L"\\Empty", false, L"1").satisfied);
  EXPECT_FALSE(RunOne(2, key.Path() + L"\\Missing", false).satisfied);

  // The comparison on real values: a DWORD reads as its decimal number.
  const struct {
    const wchar_t* name;
    const wchar_t* refContent;
    bool satisfied;
  } kCompare[] = {
      {L"Phrase", L"SOK", false}, {L"Phrase", L"COK", true},     {L"Phrase", L"EOK", true},
      {L"Phrase", L"XOK", false}, {L"Phrase", L"DOK", true},     {L"Phrase", L"MNOT OK", true},
      {L"Dec", L"G10", true},     {L"Dec", L"L10", false},       {L"Dword", L"M1", true},
      {L"Dword", L"G0", true},    {L"Expand", L"S%TEMP%", true}, {L"Empty", L"M", true},
      {L"Dec", L"", false},       {L"Dec", L"Z12", false},
  };
  for (const auto& c : kCompare) {
    EXPECT_EQ(c.satisfied, RunOne(9, key.Path() + L"\\" + c.name, false, L"", c.refContent).satisfied)
        << c.name << L" " << c.refContent;
  }
}

TEST(RegistryValueSearchTest, PathsThatNameNoKey) {
  // A path with an empty root name ("\\x") names HKEY_USERS, and "HKCU\\" the root key itself.
  const std::wstring bad[] = {L"",
                              L"HKCU",
                              L"Software\\Microsoft",
                              L"NoRoot\\Software\\Value",
                              L"?",
                              L"HKCU\\Software\\ChainerTests\\No\\Such\\Key",
                              L"HKCU\\" + std::wstring(65536, L'k'),
                              std::wstring(65536, L'\\')};
  for (const std::wstring& path : bad) {
    for (int32_t kind : {1, 2, 5, 7, 9, 12}) {
      const FoundItem item = RunOne(kind, path, true, L"", L"M");
      EXPECT_FALSE(item.satisfied) << kind << L" " << path.substr(0, 80);
      EXPECT_TRUE(item.foundTexts.empty()) << kind << L" " << path.substr(0, 80);
    }
    EXPECT_TRUE(RunOne(6, path, false).satisfied) << path.substr(0, 80);
  }
}

}  // namespace
}  // namespace quillon
