#include "platform/core/Registry.h"

#include <cstring>

#include "chainer/evaluation/OsInfo.h"

namespace quillon {
namespace {

constexpr DWORD kFirstReadBytes = 200;
constexpr DWORD kMaxValueNameLength = 16383;
// A value that keeps growing between the size answer and the next read must not keep us looping.
constexpr int kMaxReadAttempts = 8;

struct RootName {
  const wchar_t* shortName;
  const wchar_t* longName;
  HKEY key;
};

const RootName kRoots[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

bool EqualsIgnoringCase(const wchar_t* text, size_t length, const wchar_t* name) {
  const size_t nameLength = std::char_traits<wchar_t>::length(name);
  return length == nameLength && ::CompareStringOrdinal(text, static_cast<int>(length), name,
                                                        static_cast<int>(nameLength), TRUE) == CSTR_EQUAL;
}

// ROOT\sub\key\Name taken apart: the sub-key lies between the first and the last backslash.
struct ValuePath {
  HKEY root = nullptr;
  std::wstring subKey;
  std::wstring valueName;
};

ValuePath SplitValuePath(const std::wstring& path) {
  ValuePath parts;
  parts.root = ParseRootKey(path);
  if (parts.root == nullptr) return parts;
  const size_t first = path.find(L'\\');
  const size_t last = path.rfind(L'\\');
  if (last > first) parts.subKey = path.substr(first + 1, last - first - 1);
  parts.valueName = path.substr(last + 1);
  return parts;
}

RegistryKeyHolder OpenKey(HKEY root, const std::wstring& subKey, REGSAM access) {
  if (root == nullptr) return RegistryKeyHolder();
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) return RegistryKeyHolder();
  return RegistryKeyHolder(key);
}

std::wstring SubKeyOf(const std::wstring& keyPath) {
  const size_t first = keyPath.find(L'\\');
  return first == std::wstring::npos ? std::wstring() : keyPath.substr(first + 1);
}

REGSAM ViewForOpening(bool use64BitView) {
  return use64BitView && GetOsInfo().is64BitWindows ? KEY_WOW64_64KEY : 0;
}

RegistryKeyHolder OpenValueKey(const ValuePath& parts, REGSAM access) {
  return OpenKey(parts.root, parts.subKey, access);
}

}  // namespace

HKEY ParseRootKey(const std::wstring& path) {
  const size_t slash = path.find(L'\\');
  if (slash == std::wstring::npos) return nullptr;
  for (const RootName& root : kRoots) {
    if (EqualsIgnoringCase(path.data(), slash, root.shortName) ||
        EqualsIgnoringCase(path.data(), slash, root.longName)) {
      return root.key;
    }
  }
  return HKEY_USERS;
}

RegistryKeyHolder OpenKeyByPath(const std::wstring& keyPath, bool use64BitView) {
  return OpenKey(ParseRootKey(keyPath), SubKeyOf(keyPath), KEY_READ | ViewForOpening(use64BitView));
}

bool KeyExists(const std::wstring& keyPath, bool use64BitView) {
  return OpenKeyByPath(keyPath, use64BitView).IsValid();
}

bool ValueExists(const std::wstring& valuePath, bool use64BitView) {
  const ValuePath parts = SplitValuePath(valuePath);
  const RegistryKeyHolder key = OpenValueKey(parts, KEY_READ | ViewForOpening(use64BitView));
  if (!key.IsValid()) return false;
  return ::RegQueryValueExW(key.Get(), parts.valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool ReadValueText(HKEY key, const std::wstring& valueName, std::wstring& text) {
  if (key == nullptr) return false;
  // Two spare bytes beyond what the system is told: room for a terminating NUL in every case.
  std::vector<BYTE> buffer(kFirstReadBytes + sizeof(wchar_t), 0);
  DWORD type = REG_NONE;
  DWORD size = kFirstReadBytes;
  LONG status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, buffer.data(), &size);
  for (int attempt = 1; status == ERROR_MORE_DATA && attempt < kMaxReadAttempts; ++attempt) {
    if (size > 0xFFFFFFF0u) return false;
    const DWORD capacity = size + 2;
    buffer.assign(static_cast<size_t>(capacity) + sizeof(wchar_t), 0);
    size = capacity;
    status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, buffer.data(), &size);
  }
  if (status != ERROR_SUCCESS) return false;

  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      std::wstring value(size / sizeof(wchar_t), L'\0');
      if (!value.empty()) std::memcpy(value.data(), buffer.data(), value.size() * sizeof(wchar_t));
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      text = std::move(value);
      return true;
    }
    case REG_DWORD: {
      if (size != sizeof(DWORD)) return false;  // no number can be read from other sizes
      DWORD number = 0;
      std::memcpy(&number, buffer.data(), sizeof(number));
      text = std::to_wstring(number);
      return true;
    }
    default:
      return false;
  }
}

bool ReadValueAtPath(const std::wstring& valuePath, bool use64BitView, std::wstring& text) {
  const ValuePath parts = SplitValuePath(valuePath);
  const RegistryKeyHolder key = OpenValueKey(parts, KEY_READ | ViewForOpening(use64BitView));
  return key.IsValid() && ReadValueText(key.Get(), parts.valueName, text);
}

std::wstring ReadValueForExpansion(const std::wstring& valuePath, bool use64BitView) {
  const ValuePath parts = SplitValuePath(valuePath);
  const RegistryKeyHolder key = OpenValueKey(parts, KEY_QUERY_VALUE | (use64BitView ? KEY_WOW64_64KEY : 0));
  std::wstring text;
  if (!key.IsValid() || !ReadValueText(key.Get(), parts.valueName, text)) return std::wstring();
  return text;
}

bool EnumValueNames(const std::wstring& keyPath, bool use64BitView, std::vector<std::wstring>& names) {
  const RegistryKeyHolder key =
      OpenKey(ParseRootKey(keyPath), SubKeyOf(keyPath), KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0));
  if (!key.IsValid()) return false;
  names.clear();
  std::vector<wchar_t> name(kMaxValueNameLength + 1);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LONG status =
        ::RegEnumValueW(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) return false;
    names.emplace_back(name.data(), length);
  }
}

UserSettingsStore::UserSettingsStore(std::string keyPath, bool deleteOnDestroy)
    : keyPath_(std::move(keyPath)), deleteOnDestroy_(deleteOnDestroy) {}

UserSettingsStore::~UserSettingsStore() {
  if (deleteOnDestroy_ && !keyPath_.empty()) ::RegDeleteKeyA(HKEY_CURRENT_USER, keyPath_.c_str());
}

DWORD UserSettingsStore::SetInt(const std::string& name, int32_t value) {
  return AddString(name, std::to_string(value));
}

DWORD UserSettingsStore::AddString(const std::string& name, const std::string& text) {
  if (keyPath_.empty()) return ERROR_INVALID_PARAMETER;
  std::string existing;
  if (GetString(name, existing) == 0) return kAlreadyStored;
  HKEY raw = nullptr;
  const LONG created = ::RegCreateKeyA(HKEY_CURRENT_USER, keyPath_.c_str(), &raw);
  if (created != ERROR_SUCCESS) return static_cast<DWORD>(created);
  const RegistryKeyHolder key(raw);
  return static_cast<DWORD>(::RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.c_str()),
                                             static_cast<DWORD>(text.size() + 1)));
}

int UserSettingsStore::GetString(const std::string& name, std::string& text) const {
  if (keyPath_.empty()) return kNotRead;
  HKEY raw = nullptr;
  if (::RegOpenKeyA(HKEY_CURRENT_USER, keyPath_.c_str(), &raw) != ERROR_SUCCESS) return kNotRead;
  const RegistryKeyHolder key(raw);
  std::vector<char> buffer(260 + 1, '\0');
  DWORD type = REG_NONE;
  DWORD size = 260;
  LONG status = ::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
  for (int attempt = 1; status == ERROR_MORE_DATA && attempt < kMaxReadAttempts; ++attempt) {
    if (size > 0xFFFFFFF0u) return kNotRead;
    buffer.assign(static_cast<size_t>(size) + 1, '\0');
    status = ::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(buffer.data()), &size);
  }
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return kNotRead;
  // The data need not end in a NUL; the spare byte of the buffer gives it one.
  text.assign(buffer.data(), ::strnlen(buffer.data(), size));
  return 0;
}

}  // namespace quillon
