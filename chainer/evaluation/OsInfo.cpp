#include "chainer/evaluation/OsInfo.h"

#include <atomic>
#include <memory>
#include <vector>

#include "chainer/evaluation/Version.h"
#include "platform/core/Holders.h"
#include "platform/core/Logger.h"

namespace quillon {
namespace {

constexpr wchar_t kVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr wchar_t kProductOptionsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr wchar_t kNotIdentified[] = L"OsNotIdentified";
constexpr wchar_t kAll64BitVersions[] =
    L"Windows XP/Vista/Windows 7/Windows 8 x64/Windows 8.1 x64/Windows 10 x64/Windows 11 x64";
constexpr wchar_t kAll32BitVersions[] =
    L"Windows 9x/ME/NT/2000/XP/Vista/Windows 7/Windows 8 x86/Windows 8.1 x86/Windows 10 x86";

// Both keys live in the 64-bit view on every system; the 32-bit view of CurrentVersion is a copy
// that need not agree with it.
constexpr REGSAM kVersionAccess = KEY_READ | KEY_WOW64_64KEY;

RegistryKeyHolder OpenVersionKey(HKEY root, const wchar_t* subKey) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, subKey, 0, kVersionAccess, &key) != ERROR_SUCCESS) return RegistryKeyHolder();
  return RegistryKeyHolder(key);
}

bool ReadDword(HKEY key, const wchar_t* name, uint32_t& value) {
  DWORD type = REG_NONE;
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(data)) {
    return false;
  }
  value = data;
  return true;
}

// A text value of at most `maxChars` characters; longer values count as missing.
bool ReadText(HKEY key, const wchar_t* name, size_t maxChars, std::wstring& text) {
  std::vector<wchar_t> buffer(maxChars + 1, L'\0');
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(maxChars * sizeof(wchar_t));
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  const size_t chars = size / sizeof(wchar_t);
  size_t length = 0;
  while (length < chars && buffer[length] != L'\0') ++length;
  text.assign(buffer.data(), length);
  return true;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool RunsUnderWow64() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  // Looked up at run time: the oldest systems the filters know have no such export.
  static const auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64) && wow64 == TRUE;
}

const wchar_t* Arch(const OsInfo& os) { return os.is64BitWindows ? L"x64" : L"x86"; }

bool IsServer64(const OsInfo& os) { return os.isServer && os.is64BitWindows; }

std::wstring WithArch(const wchar_t* name, const OsInfo& os) { return std::wstring(name) + L" " + Arch(os); }

const wchar_t* Windows10Release(uint32_t build) {
  struct Release {
    uint32_t build;
    const wchar_t* name;
  };
  static constexpr Release kReleases[] = {
      {10240, L"1507"}, {10586, L"1511"}, {14393, L"1607"}, {15063, L"1703"}, {16299, L"1709"},
      {17134, L"1803"}, {17763, L"1809"}, {18362, L"1903"}, {18363, L"1909"}, {19041, L"2004"},
      {19042, L"20H2"}, {19043, L"21H1"}, {19044, L"21H2"}, {19045, L"22H2"}, {20348, L"21H2"},
  };
  for (const Release& release : kReleases) {
    if (release.build == build) return release.name;
  }
  return nullptr;
}

std::wstring ServicePackName(const wchar_t* family, uint32_t servicePack, uint32_t highestKnown,
                             bool zeroIsRtm, const OsInfo& os) {
  if (servicePack == 0 && zeroIsRtm) return WithArch((std::wstring(family) + L" RTM").c_str(), os);
  if (servicePack >= 1 && servicePack <= highestKnown) {
    return WithArch((std::wstring(family) + L" SP" + std::to_wstring(servicePack)).c_str(), os);
  }
  return WithArch(family, os);
}

struct OsRecord {
  OsInfo info;
  std::wstring detailed;
  std::wstring generic;
};

OsRecord MakeRecord(const OsInfo& info) { return OsRecord{info, DetailedOsName(info), GenericOsName(info)}; }

const OsRecord& SystemRecord() {
  // Never destroyed: the logger's exit step may write its header after static destruction began.
  static const OsRecord* const record = new OsRecord(MakeRecord(ReadOsInfo(HKEY_LOCAL_MACHINE)));
  return *record;
}

std::atomic<const OsRecord*> gOverride{nullptr};

bool IsOsAllowedByName(const OsInfo& os, const std::wstring& detailed, const std::wstring& generic,
                       const std::wstring& winNTVersions, const std::wstring& winNT64Versions) {
  const std::wstring& list = os.is64BitWindows ? winNT64Versions : winNTVersions;
  if (list == (os.is64BitWindows ? kAll64BitVersions : kAll32BitVersions)) return false;
  if (list.empty()) return true;
  static constexpr wchar_t kSeparator[] = L", ";
  size_t start = 0;
  for (;;) {
    const size_t separator = list.find(kSeparator, start);
    const size_t length = separator == std::wstring::npos ? std::wstring::npos : separator - start;
    const std::wstring item = list.substr(start, length);
    if (item == detailed || item == generic) return false;
    if (separator == std::wstring::npos) return true;
    start = separator + 2;
    if (start == list.size()) return true;  // a separator at the very end adds no empty item
  }
}

const OsRecord& CurrentRecord() {
  const OsRecord* override = gOverride.load(std::memory_order_acquire);
  return override != nullptr ? *override : SystemRecord();
}

}  // namespace

OsInfo ReadOsInfo(HKEY root) {
  OsInfo info;
  {
    const RegistryKeyHolder key = OpenVersionKey(root, kVersionKey);
    if (!key.IsValid()) return info;
    ReadDword(key.Get(), L"CurrentMajorVersionNumber", info.majorVersion);
    ReadDword(key.Get(), L"CurrentMinorVersionNumber", info.minorVersion);
    std::wstring text;
    // Systems before Windows 10 have only the "6.1" text.
    if (info.majorVersion == 0 && ReadText(key.Get(), L"CurrentVersion", 16, text) && text.size() == 3 &&
        IsDigit(text[0]) && IsDigit(text[2])) {
      info.majorVersion = static_cast<uint32_t>(text[0] - L'0');
      info.minorVersion = static_cast<uint32_t>(text[2] - L'0');
    }
    if (ReadText(key.Get(), L"CurrentBuildNumber", 260, text)) {
      info.buildNumber = static_cast<uint32_t>(TextToInt(text));
    }
    // Windows 11 still calls itself 10.0; only its build tells it apart.
    if (info.majorVersion == 10 && info.buildNumber >= 22000) info.majorVersion = 11;
    if (ReadText(key.Get(), L"CSDVersion", 260, text) && !text.empty()) {
      info.servicePack = static_cast<uint32_t>(text.back()) - static_cast<uint32_t>(L'0');
    }
  }
  info.is64BitWindows = RunsUnderWow64();
  const RegistryKeyHolder options = OpenVersionKey(root, kProductOptionsKey);
  std::wstring productType;
  if (options.IsValid() && ReadText(options.Get(), L"ProductType", 260, productType)) {
    info.isServer = productType != L"WinNT";
  }
  return info;
}

const OsInfo& GetOsInfo() { return CurrentRecord().info; }

std::wstring DetailedOsName(const OsInfo& os) {
  const uint32_t major = os.majorVersion;
  const uint32_t minor = os.minorVersion;
  const uint32_t build = os.buildNumber;
  const uint32_t sp = os.servicePack;
  const bool server64 = IsServer64(os);
  if (major == 11 && minor == 0) {
    if (build == 22000) return L"Windows 11 version 21H2 x64";
    if (build == 22621) return L"Windows 11 version 22H2 x64";
    if (build == 22631) return L"Windows 11 version 23H2 x64";
    return server64 ? L"Windows Server x64" : L"Windows 11 x64";
  }
  if (major == 10 && minor == 0) {
    if (server64 && build == 14393) return L"Windows Server 2016 x64";
    if (server64 && build == 17763) return L"Windows Server 2019 x64";
    if (server64 && build == 20348) return L"Windows Server 2022 x64";
    if (const wchar_t* release = Windows10Release(build)) {
      return WithArch((std::wstring(L"Windows 10 version ") + release).c_str(), os);
    }
    return server64 ? L"Windows Server x64" : WithArch(L"Windows 10", os);
  }
  if (major == 6 && minor == 3) return server64 ? L"Windows Server 2012 R2 x64" : WithArch(L"Windows 8.1", os);
  if (major == 6 && minor == 2) return server64 ? L"Windows Server 2012 x64" : WithArch(L"Windows 8", os);
  if (major == 6 && minor == 1) {
    if (server64) {
      if (sp == 0) return L"Windows Server 2008 R2 RTM x64";
      if (sp == 1) return L"Windows Server 2008 R2 SP1 x64";
      return L"Windows Server 2008 R2 x64";
    }
    return ServicePackName(L"Windows 7", sp, 1, true, os);
  }
  if (major == 6 && minor == 0) {
    if (!os.isServer) return ServicePackName(L"Windows Vista", sp, 2, true, os);
    if (sp == 0 || sp == 1) return WithArch(L"Windows Server 2008 RTM", os);
    if (sp == 2) return WithArch(L"Windows Server 2008 SP2", os);
    return WithArch(L"Windows Server 2008", os);
  }
  if (major == 5 && minor == 2) {
    if (os.isServer) return ServicePackName(L"Windows Server 2003", sp, 2, false, os);
    if (sp == 1) return L"Windows XP SP1 x64";
    if (sp == 2) return L"Windows XP SP2 x64";
    return L"Windows XP x64";
  }
  if (major == 5 && minor == 1) {
    if (sp == 1) return L"Windows XP SP1 x86";
    if (sp == 2) return L"Windows XP SP2 x86";
    if (sp == 3) return L"Windows XP SP3 x86";
    return L"Windows XP x86";
  }
  return kNotIdentified;
}

std::wstring GenericOsName(const OsInfo& os) {
  const uint32_t major = os.majorVersion;
  const uint32_t minor = os.minorVersion;
  const bool server64 = IsServer64(os);
  if (major == 11 && minor == 0) return server64 ? L"Windows Server x64" : L"Windows 11 x64";
  if (major == 10 && minor == 0) return server64 ? L"Windows Server x64" : WithArch(L"Windows 10", os);
  if (major == 6 && minor == 3) return server64 ? L"Windows Server 2012 R2 x64" : WithArch(L"Windows 8.1", os);
  if (major == 6 && minor == 2) return server64 ? L"Windows Server 2012 x64" : WithArch(L"Windows 8", os);
  if (major == 6 && minor == 1) return server64 ? L"Windows Server 2008 R2 x64" : WithArch(L"Windows 7", os);
  if (major == 6 && minor == 0) return WithArch(os.isServer ? L"Windows Server 2008" : L"Windows Vista", os);
  if (major == 5 && minor == 2) return os.isServer ? WithArch(L"Windows Server 2003", os) : L"Windows XP x64";
  if (major == 5 && minor == 1) return L"Windows XP x86";
  return kNotIdentified;
}

const std::wstring& DetailedOsName() { return CurrentRecord().detailed; }

const std::wstring& GenericOsName() { return CurrentRecord().generic; }

bool IsOsAtLeast(const OsInfo& os, uint32_t major, uint32_t minor, uint32_t servicePack, uint32_t build) {
  if (os.majorVersion != major) return os.majorVersion > major;
  if (os.minorVersion != minor) return os.minorVersion > minor;
  if (os.servicePack != servicePack) return os.servicePack > servicePack;
  return os.buildNumber >= build;
}

bool IsOsAtLeast(uint32_t major, uint32_t minor, uint32_t servicePack, uint32_t build) {
  return IsOsAtLeast(GetOsInfo(), major, minor, servicePack, build);
}

bool IsOsAllowed(const OsInfo& os, const std::wstring& winNTVersions, const std::wstring& winNT64Versions) {
  return IsOsAllowedByName(os, DetailedOsName(os), GenericOsName(os), winNTVersions, winNT64Versions);
}

bool IsOsAllowed(const std::wstring& winNTVersions, const std::wstring& winNT64Versions) {
  const OsRecord& record = CurrentRecord();
  return IsOsAllowedByName(record.info, record.detailed, record.generic, winNTVersions, winNT64Versions);
}

bool IsLanguageAllowed(uint16_t languageId, const std::wstring& languageList) {
  if (languageList.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t end = languageList.find(L';', start);
    if (end == std::wstring::npos) return false;
    const uint32_t item = static_cast<uint32_t>(TextToInt(languageList.substr(start, end - start)));
    if ((item & 0xFFFFu) == languageId) return true;
    start = end + 1;
  }
}

bool IsLanguageAllowed(const std::wstring& languageList) {
  if (languageList.empty()) return true;
  const uint16_t languageId = ::GetSystemDefaultLangID();
  if (gLoggingEnabled) gLogger.Log(L"SystemDefault LangID=" + DescribeLanguage(languageId));
  return IsLanguageAllowed(languageId, languageList);
}

std::wstring DescribeLanguage(uint16_t languageId) {
  const LCID locale = MAKELCID(languageId, SORT_DEFAULT);
  std::wstring name;
  const int length = ::GetLocaleInfoW(locale, LOCALE_SLANGUAGE, nullptr, 0);
  if (length > 0) {
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    if (::GetLocaleInfoW(locale, LOCALE_SLANGUAGE, buffer.data(), length) > 0) name = buffer.data();
  }
  return std::to_wstring(languageId) + L"-" + name;
}

std::optional<OsInfo> SetOsInfoForTesting(std::optional<OsInfo> info) {
  // The records stay owned here so that what GetOsInfo handed out lives until it is replaced.
  static std::unique_ptr<OsRecord> current;
  std::optional<OsInfo> previous;
  if (current) previous = current->info;
  std::unique_ptr<OsRecord> next = info ? std::make_unique<OsRecord>(MakeRecord(*info)) : nullptr;
  gOverride.store(next.get(), std::memory_order_release);
  current = std::move(next);
  return previous;
}

}  // namespace quillon
