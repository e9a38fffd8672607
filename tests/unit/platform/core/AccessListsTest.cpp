#include "platform/core/AccessLists.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/ScopedTempFolder.h"
#include "tests/support/SecurityInfo.h"

namespace quillon {
namespace {

using testing::AccessEntry;
using testing::EntriesOfDescriptor;
using testing::ScopedTempFolder;
using testing::SidText;

// Generic-all as given, or as the file system maps it when it stores the entry.
bool IsFullAccess(ACCESS_MASK mask) { return mask == GENERIC_ALL || mask == FILE_ALL_ACCESS; }

std::wstring CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  std::wstring text;
  if (::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    text = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  }
  ::CloseHandle(token);
  return text;
}

TEST(AccessListsTest, TrusteeTypeFollowsAccountKind) {
  const struct {
    int use;
    TRUSTEE_TYPE type;
  } kCases[] = {
      {1, TRUSTEE_IS_USER},    {2, TRUSTEE_IS_GROUP},   {3, TRUSTEE_IS_DOMAIN},   {4, TRUSTEE_IS_ALIAS},
      {5, TRUSTEE_IS_WELL_KNOWN_GROUP}, {6, TRUSTEE_IS_DELETED}, {7, TRUSTEE_IS_INVALID},
      {8, TRUSTEE_IS_UNKNOWN},  // SidTypeUnknown
      {9, TRUSTEE_IS_COMPUTER},  // the kinds are numbered differently from here on
      {10, TRUSTEE_IS_UNKNOWN},  // SidTypeLabel
      {11, TRUSTEE_IS_UNKNOWN},  // SidTypeLogonSession
      {0, TRUSTEE_IS_UNKNOWN},   {1000, TRUSTEE_IS_UNKNOWN},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.type, TrusteeTypeFor(static_cast<SID_NAME_USE>(c.use))) << c.use;
}

TEST(AccessListsTest, NoAccountGivesNoDescriptor) {
  AccessListBuilder builder;
  EXPECT_EQ(nullptr, builder.Build());
  EXPECT_EQ(0u, builder.LastError());
}

TEST(AccessListsTest, UnresolvableAccountsAreSkippedWithTheirError) {
  const struct {
    std::wstring account;
    bool isSidString;
  } kCases[] = {
      {L"Quillon-No-Such-Account-7f3a", false},
      {L"", false},  // the system would answer with the computer's own identifier
      {std::wstring(32000, L'a'), false},
      {L"S-1-garbage", true},
      {L"", true},
      {L"Everyone", true},  // a name is no identifier string
      {L"S-1-5-" + std::wstring(32000, L'x'), true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.account.substr(0, 40)));
    AccessListBuilder builder;
    EXPECT_FALSE(builder.AddAccount(c.account, c.isSidString));
    EXPECT_NE(0u, builder.LastError());
    EXPECT_TRUE(builder.Entries().empty());
    EXPECT_EQ(nullptr, builder.Build());
  }
}

TEST(AccessListsTest, EntriesGrantGenericAllWithTheAccountsKind) {
  const std::wstring user = CurrentUserSid();
  ASSERT_FALSE(user.empty());
  const struct {
    std::wstring account;
    bool isSidString;
    const wchar_t* sid;
    TRUSTEE_TYPE type;
  } kCases[] = {
      {L"S-1-5-18", true, L"S-1-5-18", TRUSTEE_IS_WELL_KNOWN_GROUP},
      {L"S-1-5-32-544", true, L"S-1-5-32-544", TRUSTEE_IS_ALIAS},
      {L"Everyone", false, L"S-1-1-0", TRUSTEE_IS_WELL_KNOWN_GROUP},
      {user, true, user.c_str(), TRUSTEE_IS_USER},
  };
  for (const auto& c : kCases) {
    AccessListBuilder builder;
    ASSERT_TRUE(builder.AddAccount(c.account, c.isSidString)) << c.account << " " << builder.LastError();
    ASSERT_EQ(1u, builder.Entries().size());
    const EXPLICIT_ACCESS_W& entry = builder.Entries()[0];
    EXPECT_EQ(static_cast<DWORD>(GENERIC_ALL), entry.grfAccessPermissions);
    EXPECT_EQ(SET_ACCESS, entry.grfAccessMode);
    EXPECT_EQ(0u, entry.grfInheritance);
    EXPECT_EQ(NO_MULTIPLE_TRUSTEE, entry.Trustee.MultipleTrusteeOperation);
    EXPECT_EQ(TRUSTEE_IS_SID, entry.Trustee.TrusteeForm);
    EXPECT_EQ(c.type, entry.Trustee.TrusteeType) << c.account;
    EXPECT_EQ(c.sid, SidText(entry.Trustee.ptstrName)) << c.account;
  }
}

// The two accounts of the protected temporary folder, in the order given, each with full access and
// without inheritance flags.
void ExpectExactlyLocalSystemAndAdministrators(const std::vector<AccessEntry>& entries) {
  ASSERT_EQ(2u, entries.size());
  const wchar_t* kSids[] = {L"S-1-5-18", L"S-1-5-32-544"};
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, entries[i].type) << i;
    EXPECT_EQ(0, entries[i].flags) << i;  // neither inherited nor inheritable
    EXPECT_TRUE(IsFullAccess(entries[i].mask)) << std::hex << entries[i].mask;
    EXPECT_EQ(kSids[i], entries[i].sid);
  }
}

TEST(AccessListsTest, ObjectCreatedWithTheDescriptorCarriesExactlyTheAccountsAskedFor) {
  AccessListBuilder builder;
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-18", true));
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-32-544", true));
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), builder.Build(), FALSE};
  ASSERT_NE(nullptr, attributes.lpSecurityDescriptor) << builder.LastError();
  ExpectExactlyLocalSystemAndAdministrators(EntriesOfDescriptor(attributes.lpSecurityDescriptor));

  // The system takes the list over when it creates an object with it, and gives it back unchanged.
  HANDLE event = ::CreateEventW(&attributes, FALSE, FALSE, nullptr);
  ASSERT_NE(nullptr, event) << ::GetLastError();
  ExpectExactlyLocalSystemAndAdministrators(testing::EntriesOfHandle(event));
  ::CloseHandle(event);
}

TEST(AccessListsTest, FolderCreatedWithTheDescriptorCarriesExactlyTheAccountsAskedFor) {
  if (testing::FileSystemIgnoresDescriptors()) GTEST_SKIP() << "this file system keeps no access lists";
  ScopedTempFolder temp;
  const std::wstring folder = temp.File(L"protected");
  AccessListBuilder builder;
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-18", true));
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-32-544", true));
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), builder.Build(), FALSE};
  ASSERT_NE(nullptr, attributes.lpSecurityDescriptor) << builder.LastError();
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), &attributes)) << ::GetLastError();
  ExpectExactlyLocalSystemAndAdministrators(testing::EntriesOfPath(folder));
}

TEST(AccessListsTest, SkippedAccountLeavesTheOthers) {
  AccessListBuilder builder;
  EXPECT_FALSE(builder.AddAccount(L"Quillon-No-Such-Account-7f3a", false));
  const DWORD error = builder.LastError();
  EXPECT_NE(0u, error);
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-18", true));
  EXPECT_EQ(error, builder.LastError());  // the last error met stays
  const std::vector<AccessEntry> aces = EntriesOfDescriptor(builder.Build());
  ASSERT_EQ(1u, aces.size());
  EXPECT_EQ(L"S-1-5-18", aces[0].sid);
}

TEST(AccessListsTest, DenyModeAndInheritanceReachTheAccessList) {
  AccessListBuilder builder;
  builder.SetDenyMode(1);
  builder.SetInheritance(SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  ASSERT_TRUE(builder.AddAccount(L"S-1-1-0", true));
  builder.SetDenyMode(2);  // anything but 1 grants
  builder.SetInheritance(0);
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-18", true));
  EXPECT_EQ(DENY_ACCESS, builder.Entries()[0].grfAccessMode);
  EXPECT_EQ(SET_ACCESS, builder.Entries()[1].grfAccessMode);

  const std::vector<AccessEntry> aces = EntriesOfDescriptor(builder.Build());
  ASSERT_EQ(2u, aces.size());
  EXPECT_EQ(ACCESS_DENIED_ACE_TYPE, aces[0].type);
  EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, aces[0].flags);
  EXPECT_EQ(L"S-1-1-0", aces[0].sid);
  EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[1].type);
  EXPECT_EQ(0, aces[1].flags);
}

TEST(AccessListsTest, BaseDescriptorIsExtended) {
  AccessListBuilder base;
  ASSERT_TRUE(base.AddAccount(L"S-1-5-32-544", true));
  PSECURITY_DESCRIPTOR baseDescriptor = base.Build();
  ASSERT_NE(nullptr, baseDescriptor);

  AccessListBuilder builder;
  builder.SetBaseDescriptor(baseDescriptor);
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-18", true));
  std::vector<std::wstring> sids;
  for (const AccessEntry& ace : EntriesOfDescriptor(builder.Build())) sids.push_back(ace.sid);
  std::sort(sids.begin(), sids.end());
  EXPECT_EQ((std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544"}), sids);
}

TEST(AccessListsTest, EachBuildGivesAFreshValidDescriptor) {
  AccessListBuilder builder;
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-18", true));
  ASSERT_NE(nullptr, builder.Build());
  ASSERT_TRUE(builder.AddAccount(L"S-1-5-32-544", true));
  PSECURITY_DESCRIPTOR second = builder.Build();
  ASSERT_NE(nullptr, second);
  EXPECT_TRUE(::IsValidSecurityDescriptor(second));
  EXPECT_EQ(2u, EntriesOfDescriptor(second).size());
}

TEST(AccessListsTest, ManyAccountsGrowTheLists) {
  AccessListBuilder builder;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(builder.AddAccount(i % 2 == 0 ? L"S-1-5-18" : L"Everyone", i % 2 == 0));
  EXPECT_EQ(20u, builder.Entries().size());
  for (const EXPLICIT_ACCESS_W& entry : builder.Entries()) {
    const std::wstring sid = SidText(entry.Trustee.ptstrName);
    EXPECT_TRUE(sid == L"S-1-5-18" || sid == L"S-1-1-0") << sid;
  }
  EXPECT_NE(nullptr, builder.Build());
}

TEST(AccessListsTest, LocalSystemIsRecognisedByItsIdentifier) {
  const struct {
    const wchar_t* sid;
    bool isLocalSystem;
  } kCases[] = {
      {L"S-1-5-18", true}, {L"S-1-5-19", false}, {L"S-1-5-32-544", false}, {L"S-1-1-0", false},
      {L"S-1-5-21-0-0-0-1000", false}, {L"S-1-5-18-1", false},
  };
  for (const auto& c : kCases) {
    PSID sid = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidW(c.sid, &sid)) << c.sid;
    EXPECT_EQ(c.isLocalSystem, IsLocalSystemSid(sid)) << c.sid;
    ::LocalFree(sid);
  }
  EXPECT_FALSE(IsLocalSystemSid(nullptr));
}

TEST(AccessListsTest, TestProcessIsNotLocalSystemUnlessTheSeamSaysSo) {
  EXPECT_FALSE(IsLocalSystem());
  SetLocalSystemForTesting(true);
  EXPECT_TRUE(IsLocalSystem());
  SetLocalSystemForTesting(std::nullopt);
  EXPECT_FALSE(IsLocalSystem());
}

}  // namespace
}  // namespace quillon
