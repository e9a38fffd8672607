#pragma once
// Reading access lists back in tests: from a security descriptor, a file-system object or a kernel
// object, as plain records.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace quillon::testing {

struct AccessEntry {
  BYTE type;   // ACCESS_ALLOWED_ACE_TYPE, ACCESS_DENIED_ACE_TYPE ...
  BYTE flags;  // inheritance flags of the entry
  ACCESS_MASK mask;
  std::wstring sid;  // "S-1-5-18" form
};

inline std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return L"<invalid>";
  std::wstring result = text;
  ::LocalFree(text);
  return result;
}

inline std::vector<AccessEntry> EntriesOf(PACL acl) {
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* raw = nullptr;
    if (!::GetAce(acl, i, &raw)) break;
    // Allowed and denied entries share their layout.
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, SidText(&ace->SidStart)});
  }
  return entries;
}

// The entries of the descriptor's access list; empty when it has none.
inline std::vector<AccessEntry> EntriesOfDescriptor(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  if (descriptor == nullptr || !::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present) {
    return {};
  }
  return EntriesOf(acl);
}

// The access list of a file or folder as the system reads it back.
inline std::vector<AccessEntry> EntriesOfPath(const std::wstring& path) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<AccessEntry> entries = EntriesOf(acl);
  ::LocalFree(descriptor);
  return entries;
}

// The access list of a kernel object (a mutex, an event ...) as the system reads it back.
inline std::vector<AccessEntry> EntriesOfHandle(HANDLE object) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<AccessEntry> entries = EntriesOf(acl);
  ::LocalFree(descriptor);
  return entries;
}

inline std::vector<std::wstring> SidsOf(const std::vector<AccessEntry>& entries) {
  std::vector<std::wstring> sids;
  for (const AccessEntry& entry : entries) sids.push_back(entry.sid);
  return sids;
}

// Wine keeps no security descriptors on files: it makes one up from the unix mode bits, whatever was
// asked for when the file was created.
inline bool FileSystemIgnoresDescriptors() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace quillon::testing
