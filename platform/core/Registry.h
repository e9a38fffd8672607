#pragma once
// Reading the registry by path text (ROOT\sub\key and ROOT\sub\key\ValueName) in either registry
// view, and the small value store on a key of the current user. Nothing here logs or reports an
// error text: a key or value that cannot be read is an answer the caller acts on.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Holders.h"

namespace quillon {

// The root key named by the text before the first backslash, letter case ignored: HKLM,
// HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER, HKCR, HKEY_CLASSES_ROOT, HKCC, HKEY_CURRENT_CONFIG;
// any other name means HKEY_USERS. Null (no root) for an empty path or one without backslash.
HKEY ParseRootKey(const std::wstring& path);

// Opens the key ROOT\sub\key for reading (KEY_READ); the 64-bit view is asked for only when
// `use64BitView` is set and Windows is 64-bit. An empty holder when it cannot be opened.
RegistryKeyHolder OpenKeyByPath(const std::wstring& keyPath, bool use64BitView);

// True when OpenKeyByPath can open the key.
bool KeyExists(const std::wstring& keyPath, bool use64BitView);

// True when the value ROOT\sub\key\Name exists, whatever its type (a path ending in a backslash
// names the default value). False for a path without backslash or a key that cannot be opened.
bool ValueExists(const std::wstring& valuePath, bool use64BitView);

// Reads a value of an open key as text: REG_SZ, REG_EXPAND_SZ (not expanded) and REG_MULTI_SZ as
// their characters without the trailing NULs (the NULs between the strings of a REG_MULTI_SZ stay),
// a 4-byte REG_DWORD as an unsigned decimal number. Returns false and leaves `text` untouched for a
// missing value, any other type, or a key that went away.
[[nodiscard]] bool ReadValueText(HKEY key, const std::wstring& valueName, std::wstring& text);

// OpenKeyByPath on the key part of ROOT\sub\key\Name, then ReadValueText; false (and `text`
// untouched) when the path has no backslash, the key cannot be opened or the value not be read.
[[nodiscard]] bool ReadValueAtPath(const std::wstring& valuePath, bool use64BitView, std::wstring& text);

// The text of the value ROOT\sub\key\Name for formatted texts: the key is opened for querying only,
// in the 64-bit view whenever `use64BitView` is set (also on 32-bit Windows). Empty when the key or
// the value cannot be read.
std::wstring ReadValueForExpansion(const std::wstring& valuePath, bool use64BitView);

// Replaces `names` with the value names of ROOT\sub\key in index order (the 64-bit view whenever
// `use64BitView` is set). True when the enumeration reached its end. False when the key cannot be
// opened (then `names` is untouched) or the enumeration stopped on an error (then `names` holds
// what was read before it).
[[nodiscard]] bool EnumValueNames(const std::wstring& keyPath, bool use64BitView, std::vector<std::wstring>& names);

// Named REG_SZ values under HKEY_CURRENT_USER\<keyPath>, read and written through the ANSI calls;
// integers are kept as decimal texts. The first value written under a name is never replaced.
class UserSettingsStore {
 public:
  static constexpr DWORD kAlreadyStored = 3;  // AddString: the name has a value, left as it was
  static constexpr int kNotRead = 1;          // GetString: no readable text value under the name

  // Nothing is touched until the first write, which creates the key. With `deleteOnDestroy` the
  // key and its values are deleted when the store goes away. An empty `keyPath` makes every
  // operation fail, so the store can never write to or delete HKEY_CURRENT_USER itself.
  UserSettingsStore(std::string keyPath, bool deleteOnDestroy);
  UserSettingsStore(const UserSettingsStore&) = delete;
  UserSettingsStore& operator=(const UserSettingsStore&) = delete;
  ~UserSettingsStore();

  // Stores `value` as decimal text through AddString and gives its result.
  DWORD SetInt(const std::string& name, int32_t value);

  // Stores `text` under `name` unless a text value of that name can be read already (then
  // kAlreadyStored, nothing written). 0 when written, else the Win32 error of creating or writing.
  DWORD AddString(const std::string& name, const std::string& text);

  // 0 with the stored text in `text`; kNotRead (and `text` untouched) when the key or a REG_SZ or
  // REG_EXPAND_SZ value of that name cannot be read.
  int GetString(const std::string& name, std::string& text) const;

  const std::string& KeyPath() const { return keyPath_; }

 private:
  std::string keyPath_;
  bool deleteOnDestroy_;
};

}  // namespace quillon
