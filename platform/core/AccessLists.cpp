#include "platform/core/AccessLists.h"

#include <aclapi.h>

#include <new>

#include "platform/core/Holders.h"
#include "platform/core/SystemLibraries.h"

namespace quillon {
namespace {

using ConvertStringSidToSidFunction = BOOL(WINAPI*)(LPCWSTR, PSID*);

constexpr DWORD kNameRoom = 260;  // characters, for names and domains
constexpr DWORD kSidRoom = 260;   // bytes, for an identifier found by name

std::optional<bool> gLocalSystemForTesting;

DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

// Asks for the account's kind only; name and domain are thrown away.
bool LookUpSidUse(PSID sid, SID_NAME_USE& use, DWORD& error) {
  DWORD nameLength = kNameRoom;
  DWORD domainLength = kNameRoom;
  std::wstring name(nameLength, L'\0');
  std::wstring domain(domainLength, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (::LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength, &use)) return true;
    error = LastErrorOr(ERROR_NONE_MAPPED);
    if (error != ERROR_INSUFFICIENT_BUFFER || attempt == 1) return false;
    name.resize(nameLength + 1);
    domain.resize(domainLength + 1);
    nameLength = static_cast<DWORD>(name.size());
    domainLength = static_cast<DWORD>(domain.size());
  }
  return false;
}

}  // namespace

TRUSTEE_TYPE TrusteeTypeFor(SID_NAME_USE use) {
  switch (use) {
    case SidTypeUser: return TRUSTEE_IS_USER;
    case SidTypeGroup: return TRUSTEE_IS_GROUP;
    case SidTypeDomain: return TRUSTEE_IS_DOMAIN;
    case SidTypeAlias: return TRUSTEE_IS_ALIAS;
    case SidTypeWellKnownGroup: return TRUSTEE_IS_WELL_KNOWN_GROUP;
    case SidTypeDeletedAccount: return TRUSTEE_IS_DELETED;
    case SidTypeInvalid: return TRUSTEE_IS_INVALID;
    case SidTypeComputer: return TRUSTEE_IS_COMPUTER;
    default: return TRUSTEE_IS_UNKNOWN;
  }
}

AccessListBuilder::~AccessListBuilder() {
  ReleaseResult();
  for (const StoredSid& stored : sids_) {
    if (stored.madeByConversion) {
      ::LocalFree(stored.sid);
    } else {
      ::HeapFree(::GetProcessHeap(), 0, stored.sid);
    }
  }
}

void AccessListBuilder::ReleaseResult() {
  if (acl_ != nullptr) ::LocalFree(acl_);
  if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  acl_ = nullptr;
  descriptor_ = nullptr;
}

bool AccessListBuilder::AddAccount(const std::wstring& account, bool isSidString) {
  // An empty name would give the computer's own identifier, and Wine turns an empty identifier
  // string into the null identifier: neither is an account anyone meant.
  if (account.empty()) {
    lastError_ = isSidString ? ERROR_INVALID_SID : ERROR_NONE_MAPPED;
    return false;
  }
  PSID sid = nullptr;
  SID_NAME_USE use = SidTypeUnknown;
  if (isSidString) {
    {
      LibraryHolder advapi = LoadSystemLibrary(L"advapi32.dll");
      const auto convert = GetLibraryFunction<ConvertStringSidToSidFunction>(advapi, "ConvertStringSidToSidW");
      if (convert == nullptr || !convert(account.c_str(), &sid)) {
        lastError_ = LastErrorOr(ERROR_INVALID_SID);
        return false;
      }
    }
    DWORD error = 0;
    if (!LookUpSidUse(sid, use, error)) {
      lastError_ = error;
      ::LocalFree(sid);
      return false;
    }
    return Store(sid, true, use);
  }

  HANDLE heap = ::GetProcessHeap();
  DWORD sidLength = kSidRoom;
  DWORD domainLength = kNameRoom;
  std::wstring domain(domainLength, L'\0');
  sid = ::HeapAlloc(heap, HEAP_ZERO_MEMORY, sidLength);
  if (sid == nullptr) {
    lastError_ = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  for (int attempt = 0;; ++attempt) {
    if (::LookupAccountNameW(nullptr, account.c_str(), sid, &sidLength, domain.data(), &domainLength, &use)) break;
    const DWORD error = LastErrorOr(ERROR_NONE_MAPPED);
    PSID larger = error == ERROR_INSUFFICIENT_BUFFER && attempt == 0
                      ? ::HeapReAlloc(heap, HEAP_ZERO_MEMORY, sid, sidLength)
                      : nullptr;
    if (larger == nullptr) {
      lastError_ = error == ERROR_INSUFFICIENT_BUFFER && attempt == 0 ? ERROR_NOT_ENOUGH_MEMORY : error;
      ::HeapFree(heap, 0, sid);
      return false;
    }
    sid = larger;
    domain.resize(domainLength + 1);
    domainLength = static_cast<DWORD>(domain.size());
  }
  return Store(sid, false, use);
}

bool AccessListBuilder::Store(PSID sid, bool madeByConversion, SID_NAME_USE use) {
  EXPLICIT_ACCESS_W entry{};
  entry.grfAccessPermissions = GENERIC_ALL;
  entry.grfAccessMode = denyMode_ == 1 ? DENY_ACCESS : SET_ACCESS;
  entry.grfInheritance = inheritance_;
  entry.Trustee.pMultipleTrustee = nullptr;
  entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TrusteeTypeFor(use);
  entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
  try {
    // Room for the entry first, so that a failure leaves both lists as they were.
    if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.empty() ? 1 : entries_.size() * 2);
    if (sids_.size() == sids_.capacity()) sids_.reserve(sids_.empty() ? 1 : sids_.size() * 2);
  } catch (const std::bad_alloc&) {
    if (madeByConversion) {
      ::LocalFree(sid);
    } else {
      ::HeapFree(::GetProcessHeap(), 0, sid);
    }
    lastError_ = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  sids_.push_back({sid, madeByConversion});
  entries_.push_back(entry);
  return true;
}

PSECURITY_DESCRIPTOR AccessListBuilder::Build() {
  ReleaseResult();
  if (entries_.empty()) return nullptr;

  PACL baseAcl = nullptr;
  if (baseDescriptor_ != nullptr) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorDacl(baseDescriptor_, &present, &baseAcl, &defaulted)) {
      lastError_ = LastErrorOr(ERROR_INVALID_SECURITY_DESCR);
      return nullptr;
    }
    if (!present) baseAcl = nullptr;
  }
  const DWORD result =
      ::SetEntriesInAclW(static_cast<ULONG>(entries_.size()), entries_.data(), baseAcl, &acl_);
  if (result != ERROR_SUCCESS) {
    lastError_ = result;
    acl_ = nullptr;
    return nullptr;
  }
  descriptor_ = ::LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (descriptor_ == nullptr) {
    lastError_ = ERROR_NOT_ENOUGH_MEMORY;
    ReleaseResult();
    return nullptr;
  }
  if (!::InitializeSecurityDescriptor(descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(descriptor_, TRUE, acl_, FALSE)) {
    lastError_ = LastErrorOr(ERROR_INVALID_SECURITY_DESCR);
    ReleaseResult();
    return nullptr;
  }
  return descriptor_;
}

bool IsLocalSystemSid(PSID sid) {
  if (sid == nullptr || !::IsValidSid(sid)) return false;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  alignas(SID) BYTE localSystem[SECURITY_MAX_SID_SIZE];
  if (!::InitializeSid(localSystem, &ntAuthority, 1)) return false;
  *::GetSidSubAuthority(localSystem, 0) = SECURITY_LOCAL_SYSTEM_RID;
  return ::EqualSid(sid, localSystem) != FALSE;
}

bool IsLocalSystem() {
  if (gLocalSystemForTesting.has_value()) return *gLocalSystemForTesting;
  HANDLE rawToken = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return false;
  KernelHandle token(rawToken);
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return false;
  std::vector<unsigned char> buffer(size);
  if (!::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
  return IsLocalSystemSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

void SetLocalSystemForTesting(std::optional<bool> answer) { gLocalSystemForTesting = answer; }

}  // namespace quillon
