#pragma once
// A registry key of the test's own, unique to the process and the scope, deleted with everything
// below it at the end of the scope. Under HKEY_CURRENT_USER by default:
// HKCU\Software\ChainerTests\<unique>. Under HKEY_LOCAL_MACHINE the key is made in both registry
// views (the test process is 32-bit, so they are two different keys) and removed from both.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace quillon::testing {

class ScopedRegistryOverride {
 public:
  explicit ScopedRegistryOverride(HKEY root = HKEY_CURRENT_USER) : root_(root) {
    static std::atomic<unsigned> counter{0};
    name_ = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"-" +
            std::to_wstring(::GetTickCount());
    subPath_ = std::wstring(kParent) + L"\\" + name_;
    for (REGSAM view : Views()) CreateKey(L"", view);
  }
  ScopedRegistryOverride(const ScopedRegistryOverride&) = delete;
  ScopedRegistryOverride& operator=(const ScopedRegistryOverride&) = delete;
  ~ScopedRegistryOverride() {
    for (REGSAM view : Views()) {
      HKEY parent = nullptr;
      if (::RegOpenKeyExW(root_, kParent, 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(parent, name_.c_str());
        ::RegCloseKey(parent);
      }
      // Leaves the shared parent behind only while another test process still has a key in it.
      ::RegDeleteKeyExW(root_, kParent, view, 0);
    }
  }

  bool IsMachineKey() const { return root_ == HKEY_LOCAL_MACHINE; }
  // The key as the chainer's path texts name it, e.g. "HKCU\Software\ChainerTests\12-1-345".
  std::wstring Path() const { return std::wstring(IsMachineKey() ? L"HKLM\\" : L"HKCU\\") + subPath_; }
  // The key below its root, e.g. "Software\ChainerTests\12-1-345".
  const std::wstring& SubPath() const { return subPath_; }
  // The same in 8-bit text, for the ANSI value store.
  std::string AnsiSubPath() const { return std::string(subPath_.begin(), subPath_.end()); }

  // Creates `subKey` below the test key (empty: the test key itself) in `view` (0, KEY_WOW64_32KEY
  // or KEY_WOW64_64KEY).
  bool CreateKey(const std::wstring& subKey, REGSAM view = 0) const {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root_, Join(subKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(key);
    return true;
  }

  // Writes raw value data below the test key, creating `subKey` when needed.
  bool SetValue(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data, DWORD size,
                REGSAM view = 0) const {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root_, Join(subKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const LONG status = ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }
  // A REG_SZ (or another text type) with its terminating NUL.
  bool SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& text,
                 REGSAM view = 0, DWORD type = REG_SZ) const {
    return SetValue(subKey, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                    view);
  }
  bool SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value, REGSAM view = 0) const {
    return SetValue(subKey, name, REG_DWORD, &value, sizeof(value), view);
  }
  bool DeleteValue(const std::wstring& subKey, const std::wstring& name, REGSAM view = 0) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root_, Join(subKey).c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return false;
    const LONG status = ::RegDeleteValueW(key, name.c_str());
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }
  // Deletes `subKey` below the test key and everything in it.
  bool DeleteKey(const std::wstring& subKey, REGSAM view = 0) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root_, subPath_.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return false;
    const LONG status = ::RegDeleteTreeW(key, subKey.c_str());
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }

 private:
  static constexpr wchar_t kParent[] = L"Software\\ChainerTests";

  std::vector<REGSAM> Views() const {
    if (IsMachineKey()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};  // HKCU\Software is one key for both views
  }
  std::wstring Join(const std::wstring& subKey) const { return subKey.empty() ? subPath_ : subPath_ + L"\\" + subKey; }

  HKEY root_;
  std::wstring name_;
  std::wstring subPath_;
};

}  // namespace quillon::testing
