#include "platform/core/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "chainer/evaluation/OsInfo.h"
#include "tests/support/ScopedOsInfoOverride.h"
#include "tests/support/ScopedRegistryOverride.h"

namespace quillon {
namespace {

using testing::OsProfile;
using testing::ScopedOsInfoOverride;
using testing::ScopedRegistryOverride;

constexpr wchar_t kUntouched[] = L"untouched";

std::string Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string DwordBytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof(value)); }

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

bool KeyIsThere(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

TEST(RegistryTest, ParseRootKeyIgnoresLetterCaseAndFallsBackToUsers) {
  const struct {
    const wchar_t* path;
    HKEY root;
  } kCases[] = {
      {L"HKLM\\Software", HKEY_LOCAL_MACHINE},
      {L"hklm\\Software\\X", HKEY_LOCAL_MACHINE},
      {L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
      {L"Hkey_Local_Machine\\x\\y", HKEY_LOCAL_MACHINE},
      {L"HKCU\\x", HKEY_CURRENT_USER},
      {L"hkey_current_user\\x", HKEY_CURRENT_USER},
      {L"HKCR\\x", HKEY_CLASSES_ROOT},
      {L"HKEY_CLASSES_ROOT\\x", HKEY_CLASSES_ROOT},
      {L"hkcc\\x", HKEY_CURRENT_CONFIG},
      {L"HKEY_CURRENT_CONFIG\\x", HKEY_CURRENT_CONFIG},
      {L"HKU\\S-1-5-18\\Software", HKEY_USERS},
      {L"HKEY_USERS\\.DEFAULT", HKEY_USERS},
      {L"XYZ\\Software", HKEY_USERS},
      {L"HKLMX\\Software", HKEY_USERS},
      {L"HKL\\Software", HKEY_USERS},
      {L"\\Software", HKEY_USERS},
      {L"HKLM", nullptr},
      {L"HKEY_LOCAL_MACHINE", nullptr},
      {L"", nullptr},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.root, ParseRootKey(c.path)) << c.path;
}

TEST(RegistryTest, KeyPathsOpenUnderEveryRoot) {
  ScopedRegistryOverride registry;
  const struct {
    std::wstring path;
    bool exists;
  } kCases[] = {
      {L"HKLM\\Software", true},
      {L"hklm\\software\\microsoft\\windows nt\\currentversion", true},
      {L"HKEY_LOCAL_MACHINE\\", true},
      {registry.Path(), true},
      {L"hkcu\\" + registry.SubPath(), true},
      {L"HKCR\\Msi.Package", true},
      {L"HKCC\\", true},
      // HKEY_USERS\S-1-5-18 does not exist under Wine; .DEFAULT does everywhere.
      {L"HKU\\.DEFAULT\\Software", true},
      {L"XYZ\\.DEFAULT\\Software", true},
      {L"HKEY_USERS\\.DEFAULT", true},
      {registry.Path() + L"\\missing", false},
      {L"HKLM", false},
      {L"", false},
      {L"HKLM\\" + std::wstring(100000, L'k'), false},
  };
  for (const auto& c : kCases) {
    for (bool use64BitView : {false, true}) {
      EXPECT_EQ(c.exists, KeyExists(c.path, use64BitView)) << c.path.substr(0, 80) << L" " << use64BitView;
      EXPECT_EQ(c.exists, OpenKeyByPath(c.path, use64BitView).IsValid()) << c.path.substr(0, 80);
    }
  }
}

TEST(RegistryTest, ValuesReadAsText) {
  ScopedRegistryOverride registry;
  const std::wstring hundred(100, L'h');
  const std::wstring megabyte(512 * 1024, L'm');
  const struct {
    const wchar_t* name;
    DWORD type;
    std::string data;
    bool readable;
    std::wstring text;
  } kCases[] = {
      {L"sz", REG_SZ, Bytes(std::wstring(L"hello", 6)), true, L"hello"},
      {L"szTrailingNuls", REG_SZ, Bytes(std::wstring(L"ab\0\0\0\0", 6)), true, L"ab"},
      {L"szEmpty", REG_SZ, Bytes(std::wstring(1, L'\0')), true, L""},
      {L"szNoData", REG_SZ, "", true, L""},
      {L"szUnterminated", REG_SZ, Bytes(L"abc"), true, L"abc"},
      {L"szOddSize", REG_SZ, std::string("a\0b", 3), true, L"a"},
      {L"szInnerNul", REG_SZ, Bytes(std::wstring(L"a\0b\0", 4)), true, std::wstring(L"a\0b", 3)},
      {L"szFirstBufferExactly", REG_SZ, Bytes(std::wstring(99, L'x') + L'\0'), true, std::wstring(99, L'x')},
      {L"szFirstBufferFullNoNul", REG_SZ, Bytes(std::wstring(100, L'y')), true, std::wstring(100, L'y')},
      {L"szJustOver", REG_SZ, Bytes(hundred + L'\0'), true, hundred},
      {L"szMegabyte", REG_SZ, Bytes(megabyte + L'\0'), true, megabyte},
      {L"expand", REG_EXPAND_SZ, Bytes(std::wstring(L"%TEMP%\\x", 9)), true, L"%TEMP%\\x"},
      {L"multi", REG_MULTI_SZ, Bytes(std::wstring(L"a\0b\0\0", 5)), true, std::wstring(L"a\0b", 3)},
      {L"dwordMax", REG_DWORD, DwordBytes(4294967295u), true, L"4294967295"},
      {L"dwordZero", REG_DWORD, DwordBytes(0), true, L"0"},
      {L"dwordShort", REG_DWORD, std::string("\x01\x02", 2), false, L""},
      {L"dwordLong", REG_DWORD, std::string(8, '\x01'), false, L""},
      {L"dwordBigEndian", REG_DWORD_BIG_ENDIAN, DwordBytes(1), false, L""},
      {L"binary", REG_BINARY, std::string("\x01\x02\xff", 3), false, L""},
      {L"qword", REG_QWORD, std::string("\0\0\0\0\x01\0\0\0", 8), false, L""},
      {L"none", REG_NONE, "", false, L""},
      {L"link", REG_LINK, Bytes(L"x"), false, L""},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(registry.SetValue(L"values", c.name, c.type, c.data.data(), static_cast<DWORD>(c.data.size())))
        << c.name;
  }
  const RegistryKeyHolder key = OpenKeyByPath(registry.Path() + L"\\values", false);
  ASSERT_TRUE(key.IsValid());
  for (const auto& c : kCases) {
    const std::wstring path = registry.Path() + L"\\values\\" + c.name;
    std::wstring text = kUntouched;
    EXPECT_EQ(c.readable, ReadValueText(key.Get(), c.name, text)) << c.name;
    EXPECT_EQ(c.readable ? c.text : kUntouched, text) << c.name;
    text = kUntouched;
    EXPECT_EQ(c.readable, ReadValueAtPath(path, false, text)) << c.name;
    EXPECT_EQ(c.readable ? c.text : kUntouched, text) << c.name;
    EXPECT_EQ(c.readable ? c.text : L"", ReadValueForExpansion(path, false)) << c.name;
    // A value that exists is there whatever its type, even when it has no text.
    EXPECT_TRUE(ValueExists(path, false)) << c.name;
  }
}

TEST(RegistryTest, MissingValuesKeysAndPaths) {
  ScopedRegistryOverride registry;
  ASSERT_TRUE(registry.SetString(L"k", L"there", L"x"));
  const std::wstring missing[] = {
      registry.Path() + L"\\k\\absent",
      registry.Path() + L"\\absent\\there",
      registry.Path() + L"\\k\\",  // the default value, which this key does not have
      L"HKCU",
      L"",
      L"HKLM\\" + std::wstring(300, L'k') + L"\\v",
      registry.Path() + L"\\k\\" + std::wstring(20000, L'v'),
  };
  for (const std::wstring& path : missing) {
    std::wstring text = kUntouched;
    EXPECT_FALSE(ValueExists(path, false)) << path.substr(0, 80);
    EXPECT_FALSE(ReadValueAtPath(path, false, text)) << path.substr(0, 80);
    EXPECT_EQ(kUntouched, text);
    EXPECT_EQ(L"", ReadValueForExpansion(path, true));
  }
  std::wstring text = kUntouched;
  EXPECT_FALSE(ReadValueText(nullptr, L"x", text));
  EXPECT_EQ(kUntouched, text);
}

TEST(RegistryTest, PathEndingInBackslashNamesTheDefaultValue) {
  ScopedRegistryOverride registry;
  ASSERT_TRUE(registry.SetString(L"k", L"", L"default text"));
  ASSERT_TRUE(registry.SetString(L"k", L"named", L"named text"));
  std::wstring text;
  EXPECT_TRUE(ValueExists(registry.Path() + L"\\k\\", false));
  EXPECT_TRUE(ReadValueAtPath(registry.Path() + L"\\k\\", false, text));
  EXPECT_EQ(L"default text", text);
  EXPECT_EQ(L"default text", ReadValueForExpansion(registry.Path() + L"\\k\\", false));
  EXPECT_EQ(L"named text", ReadValueForExpansion(registry.Path() + L"\\k\\named", false));
  // With one backslash the value lies directly under the root: HKCU\Software is a key, not a value.
  EXPECT_FALSE(ValueExists(L"HKCU\\Software", false));
  EXPECT_TRUE(KeyExists(L"HKCU\\Software", false));
}

TEST(RegistryTest, KeysThatVanishGiveNothing) {
  ScopedRegistryOverride registry;
  ASSERT_TRUE(registry.SetString(L"gone", L"v", L"x"));
  const std::wstring keyPath = registry.Path() + L"\\gone";
  const RegistryKeyHolder key = OpenKeyByPath(keyPath, false);
  ASSERT_TRUE(key.IsValid());
  ASSERT_TRUE(registry.DeleteKey(L"gone"));

  std::wstring text = kUntouched;
  EXPECT_FALSE(ReadValueText(key.Get(), L"v", text));
  EXPECT_EQ(kUntouched, text);
  EXPECT_FALSE(KeyExists(keyPath, false));
  EXPECT_FALSE(ValueExists(keyPath + L"\\v", false));
  std::vector<std::wstring> names{L"earlier"};
  EXPECT_FALSE(EnumValueNames(keyPath, false, names));
  EXPECT_EQ(std::vector<std::wstring>{L"earlier"}, names);
}

TEST(RegistryTest, EnumValueNamesListsEveryName) {
  ScopedRegistryOverride registry;
  const std::wstring longest(16383, L'n');
  for (const std::wstring& name : {std::wstring(L"b"), std::wstring(L"a"), std::wstring(L""), longest}) {
    ASSERT_TRUE(registry.SetString(L"k", name, L"x")) << name.size();
  }
  ASSERT_TRUE(registry.SetDword(L"k", L"c", 7));
  ASSERT_TRUE(registry.CreateKey(L"k\\subkey"));  // keys are not values
  ASSERT_TRUE(registry.CreateKey(L"empty"));

  std::vector<std::wstring> names{L"earlier"};
  ASSERT_TRUE(EnumValueNames(registry.Path() + L"\\k", false, names));
  EXPECT_EQ((std::vector<std::wstring>{L"", L"a", L"b", L"c", longest}), Sorted(names));

  names = {L"earlier"};
  EXPECT_TRUE(EnumValueNames(registry.Path() + L"\\empty", true, names));
  EXPECT_TRUE(names.empty());

  names = {L"earlier"};
  EXPECT_FALSE(EnumValueNames(registry.Path() + L"\\missing", false, names));
  EXPECT_FALSE(EnumValueNames(L"HKCU", false, names));
  EXPECT_EQ(std::vector<std::wstring>{L"earlier"}, names);
}

// The test process is 32-bit on 64-bit Windows, so HKLM\Software has two views with separate keys.
class RegistryViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(GetOsInfo().is64BitWindows) << "the unit tests run as a WOW64 process";
    ASSERT_TRUE(machine_.SetString(L"", L"v", L"64", KEY_WOW64_64KEY));
    ASSERT_TRUE(machine_.SetString(L"", L"v", L"32", KEY_WOW64_32KEY));
    ASSERT_TRUE(machine_.SetString(L"", L"only32", L"x", KEY_WOW64_32KEY));
    ASSERT_TRUE(machine_.CreateKey(L"only64", KEY_WOW64_64KEY));
  }

  std::wstring ReadThroughKey(bool use64BitView) {
    const RegistryKeyHolder key = OpenKeyByPath(Path(), use64BitView);
    std::wstring text;
    if (!key.IsValid() || !ReadValueText(key.Get(), L"v", text)) return L"<none>";
    return text;
  }
  std::wstring ReadAtPath(const std::wstring& path, bool use64BitView) {
    std::wstring text;
    return ReadValueAtPath(path, use64BitView, text) ? text : L"<none>";
  }
  std::vector<std::wstring> Names(bool use64BitView) {
    std::vector<std::wstring> names;
    return EnumValueNames(Path(), use64BitView, names) ? Sorted(names) : std::vector<std::wstring>{L"<none>"};
  }
  std::wstring Path() const { return machine_.Path(); }

  ScopedRegistryOverride machine_{HKEY_LOCAL_MACHINE};
};

TEST_F(RegistryViewTest, TheFlagChoosesTheSixtyFourBitViewOnSixtyFourBitWindows) {
  EXPECT_EQ(L"32", ReadThroughKey(false));
  EXPECT_EQ(L"64", ReadThroughKey(true));
  EXPECT_EQ(L"32", ReadAtPath(Path() + L"\\v", false));
  EXPECT_EQ(L"64", ReadAtPath(Path() + L"\\v", true));
  // Root names in any letter case reach the same key.
  std::wstring lower = Path();
  std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
  EXPECT_EQ(L"64", ReadAtPath(lower + L"\\v", true));
  EXPECT_EQ(L"32", ReadAtPath(L"HKEY_LOCAL_MACHINE\\" + machine_.SubPath() + L"\\v", false));
  // The 32-bit view seen from the 64-bit one.
  EXPECT_EQ(L"32", ReadAtPath(L"HKLM\\Software\\Wow6432Node\\" + machine_.SubPath().substr(9) + L"\\v", true));

  EXPECT_FALSE(KeyExists(Path() + L"\\only64", false));
  EXPECT_TRUE(KeyExists(Path() + L"\\only64", true));
  EXPECT_TRUE(ValueExists(Path() + L"\\only32", false));
  EXPECT_FALSE(ValueExists(Path() + L"\\only32", true));
  EXPECT_EQ(L"32", ReadValueForExpansion(Path() + L"\\v", false));
  EXPECT_EQ(L"64", ReadValueForExpansion(Path() + L"\\v", true));
  EXPECT_EQ((std::vector<std::wstring>{L"only32", L"v"}), Names(false));
  EXPECT_EQ(std::vector<std::wstring>{L"v"}, Names(true));
}

TEST_F(RegistryViewTest, OnThirtyTwoBitWindowsOnlyOpeningIgnoresTheFlag) {
  ScopedOsInfoOverride xp(OsProfile::WindowsXpSp3X86);
  ASSERT_FALSE(GetOsInfo().is64BitWindows);
  // Opening and what builds on it: no KEY_WOW64_64KEY without 64-bit Windows.
  EXPECT_EQ(L"32", ReadThroughKey(true));
  EXPECT_EQ(L"32", ReadAtPath(Path() + L"\\v", true));
  EXPECT_FALSE(KeyExists(Path() + L"\\only64", true));
  EXPECT_TRUE(ValueExists(Path() + L"\\only32", true));
  // Formatted texts and the enumeration ask for the 64-bit view whenever the flag is set.
  EXPECT_EQ(L"64", ReadValueForExpansion(Path() + L"\\v", true));
  EXPECT_EQ(std::vector<std::wstring>{L"v"}, Names(true));
}

class UserSettingsStoreTest : public ::testing::Test {
 protected:
  std::string StorePath() const { return registry_.AnsiSubPath() + "\\Store"; }

  ScopedRegistryOverride registry_;
};

TEST_F(UserSettingsStoreTest, FirstWriteCreatesTheKeyAndWins) {
  UserSettingsStore store(StorePath(), false);
  EXPECT_FALSE(KeyIsThere(HKEY_CURRENT_USER, StorePath()));
  std::string text = "untouched";
  EXPECT_EQ(UserSettingsStore::kNotRead, store.GetString("Code", text));
  EXPECT_EQ("untouched", text);
  EXPECT_FALSE(KeyIsThere(HKEY_CURRENT_USER, StorePath()));  // reading creates nothing

  EXPECT_EQ(0u, store.AddString("Code", "3010"));
  EXPECT_TRUE(KeyIsThere(HKEY_CURRENT_USER, StorePath()));
  EXPECT_EQ(UserSettingsStore::kAlreadyStored, store.AddString("Code", "0"));
  EXPECT_EQ(UserSettingsStore::kAlreadyStored, store.SetInt("Code", 1));
  EXPECT_EQ(0, store.GetString("Code", text));
  EXPECT_EQ("3010", text);

  // What was written is a plain REG_SZ that the wide functions read too.
  std::wstring wide;
  EXPECT_TRUE(ReadValueAtPath(registry_.Path() + L"\\Store\\Code", false, wide));
  EXPECT_EQ(L"3010", wide);
}

TEST_F(UserSettingsStoreTest, SetIntStoresDecimalText) {
  UserSettingsStore store(StorePath(), false);
  const struct {
    const char* name;
    int32_t value;
    const char* text;
  } kCases[] = {
      {"minusFive", -5, "-5"},
      {"zero", 0, "0"},
      {"max", 2147483647, "2147483647"},
      {"min", -2147483647 - 1, "-2147483648"},
      {"", 1602, "1602"},  // the key's default value
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(0u, store.SetInt(c.name, c.value)) << c.name;
    std::string text;
    EXPECT_EQ(0, store.GetString(c.name, text)) << c.name;
    EXPECT_EQ(c.text, text) << c.name;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, StorePath().c_str(), 0, KEY_READ, &key));
    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(key, c.name, nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << c.name;
    ::RegCloseKey(key);
  }
}

TEST_F(UserSettingsStoreTest, TextsOfEveryLengthReadBack) {
  UserSettingsStore store(StorePath(), false);
  for (size_t length : {0u, 258u, 259u, 260u, 261u, 1000u, 100000u}) {
    const std::string name = "len" + std::to_string(length);
    const std::string value(length, 'v');
    EXPECT_EQ(0u, store.AddString(name, value)) << length;
    std::string text;
    EXPECT_EQ(0, store.GetString(name, text)) << length;
    EXPECT_EQ(value, text) << length;
  }
}

TEST_F(UserSettingsStoreTest, ValuesWithoutTextAreReplaced) {
  UserSettingsStore store(StorePath(), false);
  ASSERT_TRUE(registry_.SetDword(L"Store", L"Code", 5));
  ASSERT_TRUE(registry_.SetValue(L"Store", L"Raw", REG_BINARY, "ab", 2));
  ASSERT_TRUE(registry_.SetValue(L"Store", L"Unterminated", REG_SZ, "a\0b\0", 4));  // "ab" without NUL
  std::string text = "untouched";
  EXPECT_EQ(UserSettingsStore::kNotRead, store.GetString("Code", text));
  EXPECT_EQ(UserSettingsStore::kNotRead, store.GetString("Raw", text));
  EXPECT_EQ("untouched", text);
  EXPECT_EQ(0, store.GetString("Unterminated", text));
  EXPECT_EQ("ab", text);
  EXPECT_EQ(0u, store.SetInt("Code", 1603));
  EXPECT_EQ(0, store.GetString("Code", text));
  EXPECT_EQ("1603", text);
}

TEST_F(UserSettingsStoreTest, TheDeleteFlagRemovesTheWholeKey) {
  {
    UserSettingsStore store(StorePath(), true);
    EXPECT_EQ(0u, store.SetInt("App1", 0));
    EXPECT_EQ(0u, store.SetInt("App2", 3010));
    EXPECT_TRUE(KeyIsThere(HKEY_CURRENT_USER, StorePath()));
  }
  EXPECT_FALSE(KeyIsThere(HKEY_CURRENT_USER, StorePath()));
  EXPECT_TRUE(KeyIsThere(HKEY_CURRENT_USER, registry_.AnsiSubPath()));  // only the store's own key

  {
    UserSettingsStore store(StorePath(), false);
    EXPECT_EQ(0u, store.SetInt("App1", 0));
  }
  EXPECT_TRUE(KeyIsThere(HKEY_CURRENT_USER, StorePath()));
  UserSettingsStore reopened(StorePath(), true);
  std::string text;
  EXPECT_EQ(0, reopened.GetString("App1", text));  // a later run reads what an earlier one stored
  EXPECT_EQ("0", text);

  { UserSettingsStore neverWritten(registry_.AnsiSubPath() + "\\Never", true); }
  EXPECT_FALSE(KeyIsThere(HKEY_CURRENT_USER, registry_.AnsiSubPath() + "\\Never"));
}

TEST_F(UserSettingsStoreTest, AnEmptyKeyPathNeverTouchesTheUserRoot) {
  {
    UserSettingsStore store("", true);
    EXPECT_NE(0u, store.AddString("ChainerTestsValue", "x"));
    EXPECT_NE(0u, store.SetInt("ChainerTestsValue", 1));
    std::string text;
    EXPECT_EQ(UserSettingsStore::kNotRead, store.GetString("ChainerTestsValue", text));
  }
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key));
  EXPECT_NE(ERROR_SUCCESS, ::RegQueryValueExA(key, "ChainerTestsValue", nullptr, nullptr, nullptr, nullptr));
  ::RegCloseKey(key);
  EXPECT_TRUE(KeyIsThere(HKEY_CURRENT_USER, "Software"));
}

}  // namespace
}  // namespace quillon
