#pragma once
// Security descriptors that grant accounts full access, and whether the process runs as LocalSystem.

#include <windows.h>
#include <accctrl.h>

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// The trustee type of an access entry for an account of the kind `use` (TRUSTEE_IS_UNKNOWN for
// kinds without a trustee type of their own).
TRUSTEE_TYPE TrusteeTypeFor(SID_NAME_USE use);

// Collects accounts and builds a security descriptor whose access list has one entry per account,
// each granting (or, in deny mode, denying) generic-all access. Typical use:
//   AccessListBuilder builder;
//   builder.AddAccount(L"S-1-5-18", true);
//   SECURITY_ATTRIBUTES attributes{sizeof(attributes), builder.Build(), FALSE};
//   if (attributes.lpSecurityDescriptor != nullptr) ::CreateDirectoryW(folder, &attributes);
class AccessListBuilder {
 public:
  AccessListBuilder() = default;
  AccessListBuilder(const AccessListBuilder&) = delete;
  AccessListBuilder& operator=(const AccessListBuilder&) = delete;
  ~AccessListBuilder();

  // Adds one account: an identifier string such as "S-1-5-18" when isSidString is true, otherwise an
  // account name looked up on the local system exactly as written ("Everyone" is found only where the
  // local account has that name). False when the account is empty, cannot be resolved or cannot be
  // stored; LastError then tells why and nothing is added.
  bool AddAccount(const std::wstring& account, bool isSidString);

  // Makes the descriptor from the entries added so far, over the access list of the base descriptor
  // when one is set. Null when no entry was added or a step fails (LastError tells why). The builder
  // owns the result; it stays valid until the next Build or the builder's destruction.
  PSECURITY_DESCRIPTOR Build();

  // The last Win32 error met; 0 while none was.
  DWORD LastError() const { return lastError_; }
  // The entries added so far, in order.
  const std::vector<EXPLICIT_ACCESS_W>& Entries() const { return entries_; }

  // Inheritance flags given to entries added afterwards (0 unless set: no inheritance flags).
  void SetInheritance(DWORD inheritance) { inheritance_ = inheritance; }
  // 1 makes entries added afterwards deny access; any other value grants (the default, 0).
  void SetDenyMode(int denyMode) { denyMode_ = denyMode; }
  // A descriptor whose access list the next Build extends; the caller keeps it alive until then.
  void SetBaseDescriptor(PSECURITY_DESCRIPTOR base) { baseDescriptor_ = base; }

 private:
  struct StoredSid {
    PSID sid;
    bool madeByConversion;  // LocalFree; otherwise the process heap
  };
  void ReleaseResult();
  bool Store(PSID sid, bool madeByConversion, SID_NAME_USE use);

  std::vector<StoredSid> sids_;
  std::vector<EXPLICIT_ACCESS_W> entries_;
  PSECURITY_DESCRIPTOR baseDescriptor_ = nullptr;
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PACL acl_ = nullptr;
  DWORD lastError_ = 0;
  DWORD inheritance_ = 0;
  int denyMode_ = 0;
};

// True when the user of the process token is the LocalSystem account (S-1-5-18); false on any
// failure.
bool IsLocalSystem();

// True when `sid` is the LocalSystem account's identifier.
bool IsLocalSystemSid(PSID sid);

// Makes IsLocalSystem answer `answer` until it is called again with std::nullopt. Tests use it:
// the test system never runs as LocalSystem.
void SetLocalSystemForTesting(std::optional<bool> answer);

}  // namespace quillon
