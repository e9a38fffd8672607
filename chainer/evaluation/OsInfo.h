#pragma once
// The running Windows as the prerequisite filters see it, read once per process, and the filters
// themselves. The decisions are pure functions of an OsInfo record; the overloads without a record
// use the running system's.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

struct OsInfo {
  uint32_t majorVersion = 0;  // 11 for Windows 11 and the servers built on its code base
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t servicePack = 0;
  bool isServer = false;        // the product type is not a workstation's (server, domain controller)
  bool is64BitWindows = false;  // this 32-bit process runs under WOW64

  bool operator==(const OsInfo&) const = default;
};

// Reads a record now from the 64-bit view of "Software\Microsoft\Windows NT\CurrentVersion" and
// "SYSTEM\CurrentControlSet\Control\ProductOptions" below `root` (HKEY_LOCAL_MACHINE for the
// running system). Values that are missing or of an unexpected type leave their fields at 0 or
// false; when the version key cannot be opened the whole record stays at its initial values.
OsInfo ReadOsInfo(HKEY root);

// The running system's record, filled by the first call from whichever thread and never changed
// afterwards (the registry is not read again).
const OsInfo& GetOsInfo();

// The name with release or service pack ("Windows 10 version 22H2 x64") and the family name
// ("Windows 10 x64") of a record; "OsNotIdentified" for a version outside the known list.
std::wstring DetailedOsName(const OsInfo& os);
std::wstring GenericOsName(const OsInfo& os);

// The two names of the running system, computed once.
const std::wstring& DetailedOsName();
const std::wstring& GenericOsName();

// True when `os` is at least major.minor with that service pack and build: compared field by field
// in that order (major, minor, service pack, build), the first difference deciding; equal counts.
bool IsOsAtLeast(const OsInfo& os, uint32_t major, uint32_t minor, uint32_t servicePack, uint32_t build);
bool IsOsAtLeast(uint32_t major, uint32_t minor, uint32_t servicePack, uint32_t build);

// False when the exclusion list for the system's kind of Windows (`winNT64Versions` on 64-bit
// Windows, else `winNTVersions`) is that kind's all-versions text, or one of its ", "-separated
// items equals the detailed or the generic name (exact, letter case included). An empty list allows.
bool IsOsAllowed(const OsInfo& os, const std::wstring& winNTVersions, const std::wstring& winNT64Versions);
bool IsOsAllowed(const std::wstring& winNTVersions, const std::wstring& winNT64Versions);

// True for an empty list, or when one of the ";"-terminated decimal items of `languageList`
// (its low 16 bits) equals `languageId`. Text after the last ";" is never looked at.
bool IsLanguageAllowed(uint16_t languageId, const std::wstring& languageList);

// The same for the system default language. With a non-empty list it logs the language first
// ("SystemDefault LangID=" and DescribeLanguage) when logging is on.
bool IsLanguageAllowed(const std::wstring& languageList);

// "1033-English (United States)": the identifier in decimal, "-" and the language's name as the
// system gives it (nothing after the "-" when it gives none).
std::wstring DescribeLanguage(uint16_t languageId);

// Makes GetOsInfo, DetailedOsName() and GenericOsName() answer for `info` (or for the running system
// again with nullopt) and gives back the override that was in place. References handed out while
// an override is in place stay valid only until the next call. Not for use while other threads
// read the record.
std::optional<OsInfo> SetOsInfoForTesting(std::optional<OsInfo> info);

}  // namespace quillon
