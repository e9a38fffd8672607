#include "chainer/evaluation/OsInfo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/ScopedOsInfoOverride.h"
#include "tests/support/ScopedRegistryOverride.h"

namespace quillon {

void PrintTo(const OsInfo& os, std::ostream* out) {
  *out << os.majorVersion << "." << os.minorVersion << "." << os.buildNumber << " SP" << os.servicePack
       << (os.isServer ? " server" : " workstation") << (os.is64BitWindows ? " x64" : " x86");
}

namespace {

using testing::OsProfile;
using testing::ScopedOsInfoOverride;
using testing::ScopedRegistryOverride;

constexpr wchar_t kAll64[] =
    L"Windows XP/Vista/Windows 7/Windows 8 x64/Windows 8.1 x64/Windows 10 x64/Windows 11 x64";
constexpr wchar_t kAll32[] =
    L"Windows 9x/ME/NT/2000/XP/Vista/Windows 7/Windows 8 x86/Windows 8.1 x86/Windows 10 x86";

OsInfo Os(uint32_t major, uint32_t minor, uint32_t build, uint32_t sp, bool server, bool x64) {
  return OsInfo{major, minor, build, sp, server, x64};
}

std::wstring Describe(const OsInfo& os) {
  return std::to_wstring(os.majorVersion) + L"." + std::to_wstring(os.minorVersion) + L"." +
         std::to_wstring(os.buildNumber) + L" SP" + std::to_wstring(os.servicePack) + (os.isServer ? L" server" : L"") +
         (os.is64BitWindows ? L" x64" : L" x86");
}

// Every row of both name tables, top to bottom; each row with the records that reach it.
TEST(OsInfoTest, NamesForEveryRowOfBothTables) {
  const struct {
    OsInfo os;
    const wchar_t* detailed;
    const wchar_t* generic;
  } kCases[] = {
      // 11.0
      {Os(11, 0, 22000, 0, false, true), L"Windows 11 version 21H2 x64", L"Windows 11 x64"},
      {Os(11, 0, 22000, 0, true, true), L"Windows 11 version 21H2 x64", L"Windows Server x64"},
      {Os(11, 0, 22621, 0, false, true), L"Windows 11 version 22H2 x64", L"Windows 11 x64"},
      {Os(11, 0, 22631, 0, false, true), L"Windows 11 version 23H2 x64", L"Windows 11 x64"},
      {Os(11, 0, 26100, 0, true, true), L"Windows Server x64", L"Windows Server x64"},
      {Os(11, 0, 26100, 0, false, true), L"Windows 11 x64", L"Windows 11 x64"},
      {Os(11, 0, 26100, 0, true, false), L"Windows 11 x64", L"Windows 11 x64"},
      // 10.0: the servers first, then the release table, then the rest
      {Os(10, 0, 14393, 0, true, true), L"Windows Server 2016 x64", L"Windows Server x64"},
      {Os(10, 0, 17763, 0, true, true), L"Windows Server 2019 x64", L"Windows Server x64"},
      {Os(10, 0, 20348, 0, true, true), L"Windows Server 2022 x64", L"Windows Server x64"},
      {Os(10, 0, 14393, 0, false, true), L"Windows 10 version 1607 x64", L"Windows 10 x64"},
      {Os(10, 0, 17763, 0, true, false), L"Windows 10 version 1809 x86", L"Windows 10 x86"},
      {Os(10, 0, 20348, 0, false, true), L"Windows 10 version 21H2 x64", L"Windows 10 x64"},
      {Os(10, 0, 20348, 0, false, false), L"Windows 10 version 21H2 x86", L"Windows 10 x86"},
      {Os(10, 0, 19045, 0, true, true), L"Windows 10 version 22H2 x64", L"Windows Server x64"},
      {Os(10, 0, 18000, 0, true, true), L"Windows Server x64", L"Windows Server x64"},
      {Os(10, 0, 18000, 0, false, true), L"Windows 10 x64", L"Windows 10 x64"},
      {Os(10, 0, 18000, 0, false, false), L"Windows 10 x86", L"Windows 10 x86"},
      {Os(10, 0, 22631, 0, false, true), L"Windows 10 x64", L"Windows 10 x64"},  // 11 only after reading
      // 6.3 and 6.2
      {Os(6, 3, 9600, 0, true, true), L"Windows Server 2012 R2 x64", L"Windows Server 2012 R2 x64"},
      {Os(6, 3, 9600, 0, false, true), L"Windows 8.1 x64", L"Windows 8.1 x64"},
      {Os(6, 3, 9600, 0, true, false), L"Windows 8.1 x86", L"Windows 8.1 x86"},
      {Os(6, 2, 9200, 0, true, true), L"Windows Server 2012 x64", L"Windows Server 2012 x64"},
      {Os(6, 2, 9200, 0, false, true), L"Windows 8 x64", L"Windows 8 x64"},
      {Os(6, 2, 9200, 0, false, false), L"Windows 8 x86", L"Windows 8 x86"},
      // 6.1
      {Os(6, 1, 7600, 0, true, true), L"Windows Server 2008 R2 RTM x64", L"Windows Server 2008 R2 x64"},
      {Os(6, 1, 7601, 1, true, true), L"Windows Server 2008 R2 SP1 x64", L"Windows Server 2008 R2 x64"},
      {Os(6, 1, 7601, 2, true, true), L"Windows Server 2008 R2 x64", L"Windows Server 2008 R2 x64"},
      {Os(6, 1, 7600, 0, false, false), L"Windows 7 RTM x86", L"Windows 7 x86"},
      {Os(6, 1, 7600, 0, false, true), L"Windows 7 RTM x64", L"Windows 7 x64"},
      {Os(6, 1, 7601, 1, false, true), L"Windows 7 SP1 x64", L"Windows 7 x64"},
      {Os(6, 1, 7601, 1, true, false), L"Windows 7 SP1 x86", L"Windows 7 x86"},
      {Os(6, 1, 7601, 2, false, true), L"Windows 7 x64", L"Windows 7 x64"},
      {Os(6, 1, 7601, 2, false, false), L"Windows 7 x86", L"Windows 7 x86"},
      // 6.0
      {Os(6, 0, 6000, 0, false, false), L"Windows Vista RTM x86", L"Windows Vista x86"},
      {Os(6, 0, 6001, 1, false, true), L"Windows Vista SP1 x64", L"Windows Vista x64"},
      {Os(6, 0, 6002, 2, false, false), L"Windows Vista SP2 x86", L"Windows Vista x86"},
      {Os(6, 0, 6002, 3, false, true), L"Windows Vista x64", L"Windows Vista x64"},
      {Os(6, 0, 6001, 0, true, true), L"Windows Server 2008 RTM x64", L"Windows Server 2008 x64"},
      {Os(6, 0, 6001, 1, true, false), L"Windows Server 2008 RTM x86", L"Windows Server 2008 x86"},
      {Os(6, 0, 6002, 2, true, true), L"Windows Server 2008 SP2 x64", L"Windows Server 2008 x64"},
      {Os(6, 0, 6002, 2, true, false), L"Windows Server 2008 SP2 x86", L"Windows Server 2008 x86"},
      {Os(6, 0, 6002, 3, true, false), L"Windows Server 2008 x86", L"Windows Server 2008 x86"},
      // 5.2
      {Os(5, 2, 3790, 1, true, false), L"Windows Server 2003 SP1 x86", L"Windows Server 2003 x86"},
      {Os(5, 2, 3790, 2, true, true), L"Windows Server 2003 SP2 x64", L"Windows Server 2003 x64"},
      {Os(5, 2, 3790, 0, true, true), L"Windows Server 2003 x64", L"Windows Server 2003 x64"},
      {Os(5, 2, 3790, 3, true, false), L"Windows Server 2003 x86", L"Windows Server 2003 x86"},
      {Os(5, 2, 3790, 1, false, true), L"Windows XP SP1 x64", L"Windows XP x64"},
      {Os(5, 2, 3790, 2, false, true), L"Windows XP SP2 x64", L"Windows XP x64"},
      {Os(5, 2, 3790, 0, false, true), L"Windows XP x64", L"Windows XP x64"},
      {Os(5, 2, 3790, 2, false, false), L"Windows XP SP2 x64", L"Windows XP x64"},  // the table's fixed text
      // 5.1
      {Os(5, 1, 2600, 1, false, false), L"Windows XP SP1 x86", L"Windows XP x86"},
      {Os(5, 1, 2600, 2, false, false), L"Windows XP SP2 x86", L"Windows XP x86"},
      {Os(5, 1, 2600, 3, false, false), L"Windows XP SP3 x86", L"Windows XP x86"},
      {Os(5, 1, 2600, 0, false, false), L"Windows XP x86", L"Windows XP x86"},
      {Os(5, 1, 2600, 4, true, true), L"Windows XP x86", L"Windows XP x86"},
      // Anything else
      {Os(5, 0, 2195, 4, false, false), L"OsNotIdentified", L"OsNotIdentified"},
      {Os(6, 4, 9841, 0, false, true), L"OsNotIdentified", L"OsNotIdentified"},
      {Os(10, 1, 19045, 0, false, true), L"OsNotIdentified", L"OsNotIdentified"},
      {Os(11, 1, 22631, 0, false, true), L"OsNotIdentified", L"OsNotIdentified"},
      {Os(12, 0, 30000, 0, false, true), L"OsNotIdentified", L"OsNotIdentified"},
      {Os(7, 0, 0, 0, false, true), L"OsNotIdentified", L"OsNotIdentified"},
      {Os(4, 0, 1381, 6, true, false), L"OsNotIdentified", L"OsNotIdentified"},
      {OsInfo{}, L"OsNotIdentified", L"OsNotIdentified"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.detailed, DetailedOsName(c.os)) << Describe(c.os);
    EXPECT_EQ(c.generic, GenericOsName(c.os)) << Describe(c.os);
  }
}

TEST(OsInfoTest, EveryWindows10ReleaseHasItsName) {
  const struct {
    uint32_t build;
    const wchar_t* release;
  } kReleases[] = {
      {10240, L"1507"}, {10586, L"1511"}, {14393, L"1607"}, {15063, L"1703"}, {16299, L"1709"},
      {17134, L"1803"}, {17763, L"1809"}, {18362, L"1903"}, {18363, L"1909"}, {19041, L"2004"},
      {19042, L"20H2"}, {19043, L"21H1"}, {19044, L"21H2"}, {19045, L"22H2"}, {20348, L"21H2"},
  };
  for (const auto& r : kReleases) {
    for (bool x64 : {false, true}) {
      const OsInfo os = Os(10, 0, r.build, 0, false, x64);
      const std::wstring arch = x64 ? L"x64" : L"x86";
      EXPECT_EQ(L"Windows 10 version " + std::wstring(r.release) + L" " + arch, DetailedOsName(os)) << r.build;
      EXPECT_EQ(L"Windows 10 " + arch, GenericOsName(os)) << r.build;
    }
  }
}

// Over a sweep of versions, builds, service packs and kinds, the names produced are exactly the
// vocabulary: nothing outside it, and every name of it reachable.
TEST(OsInfoTest, TheNamesAreExactlyTheVocabulary) {
  const std::set<std::wstring> kVocabulary = {
      L"Windows 11 version 21H2 x64", L"Windows 11 version 22H2 x64", L"Windows 11 version 23H2 x64",
      L"Windows 11 x64", L"Windows Server x64", L"Windows Server 2016 x64", L"Windows Server 2019 x64",
      L"Windows Server 2022 x64",
      L"Windows 10 version 1507 x86", L"Windows 10 version 1511 x86", L"Windows 10 version 1607 x86",
      L"Windows 10 version 1703 x86", L"Windows 10 version 1709 x86", L"Windows 10 version 1803 x86",
      L"Windows 10 version 1809 x86", L"Windows 10 version 1903 x86", L"Windows 10 version 1909 x86",
      L"Windows 10 version 2004 x86", L"Windows 10 version 20H2 x86", L"Windows 10 version 21H1 x86",
      L"Windows 10 version 21H2 x86", L"Windows 10 version 22H2 x86",
      L"Windows 10 version 1507 x64", L"Windows 10 version 1511 x64", L"Windows 10 version 1607 x64",
      L"Windows 10 version 1703 x64", L"Windows 10 version 1709 x64", L"Windows 10 version 1803 x64",
      L"Windows 10 version 1809 x64", L"Windows 10 version 1903 x64", L"Windows 10 version 1909 x64",
      L"Windows 10 version 2004 x64", L"Windows 10 version 20H2 x64", L"Windows 10 version 21H1 x64",
      L"Windows 10 version 21H2 x64", L"Windows 10 version 22H2 x64",
      L"Windows 10 x86", L"Windows 10 x64", L"Windows 8.1 x86", L"Windows 8.1 x64", L"Windows Server 2012 R2 x64",
      L"Windows 8 x86", L"Windows 8 x64", L"Windows Server 2012 x64", L"Windows 7 x86", L"Windows 7 x64",
      L"Windows 7 RTM x86", L"Windows 7 RTM x64", L"Windows 7 SP1 x86", L"Windows 7 SP1 x64",
      L"Windows Server 2008 R2 x64", L"Windows Server 2008 R2 RTM x64", L"Windows Server 2008 R2 SP1 x64",
      L"Windows Vista x86", L"Windows Vista x64", L"Windows Vista RTM x86", L"Windows Vista RTM x64",
      L"Windows Vista SP1 x86", L"Windows Vista SP1 x64", L"Windows Vista SP2 x86", L"Windows Vista SP2 x64",
      L"Windows Server 2008 x86", L"Windows Server 2008 x64", L"Windows Server 2008 RTM x86",
      L"Windows Server 2008 RTM x64", L"Windows Server 2008 SP2 x86", L"Windows Server 2008 SP2 x64",
      L"Windows Server 2003 x86", L"Windows Server 2003 x64", L"Windows Server 2003 SP1 x86",
      L"Windows Server 2003 SP1 x64", L"Windows Server 2003 SP2 x86", L"Windows Server 2003 SP2 x64",
      L"Windows XP x64", L"Windows XP SP1 x64", L"Windows XP SP2 x64", L"Windows XP x86", L"Windows XP SP1 x86",
      L"Windows XP SP2 x86", L"Windows XP SP3 x86", L"OsNotIdentified",
  };
  const uint32_t kBuilds[] = {0,     2600,  3790,  6002,  7601,  9600,  10240, 10586, 14393, 15063, 16299,
                              17134, 17763, 18000, 18362, 18363, 19041, 19042, 19043, 19044, 19045, 20348,
                              21999, 22000, 22621, 22631, 26100, 4294967295u};
  std::set<std::wstring> produced;
  std::set<std::wstring> producedGeneric;
  for (uint32_t major = 0; major <= 12; ++major) {
    for (uint32_t minor = 0; minor <= 4; ++minor) {
      for (uint32_t build : kBuilds) {
        for (uint32_t sp : {0u, 1u, 2u, 3u, 4u, 49u, 4294967295u}) {
          for (bool server : {false, true}) {
            for (bool x64 : {false, true}) {
              const OsInfo os = Os(major, minor, build, sp, server, x64);
              produced.insert(DetailedOsName(os));
              producedGeneric.insert(GenericOsName(os));
            }
          }
        }
      }
    }
  }
  for (const std::wstring& name : producedGeneric) EXPECT_EQ(1u, kVocabulary.count(name)) << name;
  produced.insert(producedGeneric.begin(), producedGeneric.end());
  EXPECT_EQ(kVocabulary, produced);
}

TEST(OsInfoTest, TheNamedMachineProfiles) {
  const struct {
    OsProfile profile;
    const wchar_t* detailed;
    const wchar_t* generic;
  } kCases[] = {
      {OsProfile::WindowsXpSp3X86, L"Windows XP SP3 x86", L"Windows XP x86"},
      {OsProfile::Windows7Sp1X64, L"Windows 7 SP1 x64", L"Windows 7 x64"},
      {OsProfile::Windows10V22H2X64, L"Windows 10 version 22H2 x64", L"Windows 10 x64"},
      {OsProfile::WindowsServer2019, L"Windows Server 2019 x64", L"Windows Server x64"},
      {OsProfile::Windows11V23H2, L"Windows 11 version 23H2 x64", L"Windows 11 x64"},
  };
  const OsInfo real = GetOsInfo();
  for (const auto& c : kCases) {
    ScopedOsInfoOverride machine(c.profile);
    EXPECT_EQ(testing::MakeOsInfo(c.profile), GetOsInfo());
    EXPECT_EQ(c.detailed, DetailedOsName());
    EXPECT_EQ(c.generic, GenericOsName());
  }
  EXPECT_EQ(real, GetOsInfo());
}

TEST(OsInfoTest, OverridesNestAndRestore) {
  const std::wstring realName = DetailedOsName();
  {
    ScopedOsInfoOverride outer(OsProfile::Windows7Sp1X64);
    {
      ScopedOsInfoOverride inner(OsProfile::WindowsXpSp3X86);
      EXPECT_EQ(L"Windows XP SP3 x86", DetailedOsName());
      EXPECT_FALSE(IsOsAtLeast(6, 0, 0, 0));
    }
    EXPECT_EQ(L"Windows 7 SP1 x64", DetailedOsName());
    EXPECT_TRUE(IsOsAtLeast(6, 1, 0, 0));
    EXPECT_FALSE(IsOsAllowed(L"", L"Windows 7 x64"));
  }
  EXPECT_EQ(realName, DetailedOsName());
}

TEST(OsInfoTest, IsOsAtLeastComparesFieldByFieldInOrder) {
  const OsInfo win10 = Os(10, 0, 19045, 0, false, true);
  const OsInfo xp = Os(5, 1, 2600, 3, false, false);
  const struct {
    OsInfo os;
    uint32_t major, minor, sp, build;
    bool atLeast;
  } kCases[] = {
      {win10, 10, 0, 0, 0, true},         {win10, 10, 0, 0, 19045, true},   {win10, 10, 0, 0, 19046, false},
      {win10, 6, 1, 0, 0, true},          {win10, 6, 9, 99, 99999, true},   {win10, 11, 0, 0, 0, false},
      {win10, 10, 1, 0, 0, false},        {win10, 10, 0, 1, 0, false},      {win10, 9, 4294967295u, 0, 0, true},
      {xp, 5, 1, 2, 9999, true},          {xp, 5, 1, 3, 2600, true},        {xp, 5, 1, 3, 2601, false},
      {xp, 5, 1, 4, 0, false},            {xp, 5, 0, 9, 9999, true},        {xp, 6, 0, 0, 0, false},
      {Os(6, 1, 7601, 4294967295u, false, true), 6, 1, 0, 99999, true},  // unsigned: no wrap to negative
      {OsInfo{}, 0, 0, 0, 0, true},       {OsInfo{}, 0, 0, 0, 1, false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.atLeast, IsOsAtLeast(c.os, c.major, c.minor, c.sp, c.build))
        << Describe(c.os) << L" vs " << c.major << L"." << c.minor << L" SP" << c.sp << L" " << c.build;
  }
}

TEST(OsInfoTest, IsOsAllowedReadsTheListOfItsKindOfWindows) {
  const OsInfo xp = testing::MakeOsInfo(OsProfile::WindowsXpSp3X86);
  const OsInfo win7 = testing::MakeOsInfo(OsProfile::Windows7Sp1X64);
  const OsInfo win10 = testing::MakeOsInfo(OsProfile::Windows10V22H2X64);
  const OsInfo win10v1809 = Os(10, 0, 17763, 0, false, true);
  const OsInfo server = testing::MakeOsInfo(OsProfile::WindowsServer2019);
  const OsInfo win11 = testing::MakeOsInfo(OsProfile::Windows11V23H2);
  const OsInfo win10x86 = Os(10, 0, 19045, 0, false, false);
  const OsInfo old = Os(5, 0, 2195, 4, false, false);
  const struct {
    const wchar_t* name;
    OsInfo os;
    std::wstring winNT;
    std::wstring winNT64;
    bool allowed;
  } kCases[] = {
      {L"empty lists", win10, L"", L"", true},
      {L"64-bit only: excluded", win10, L"", kAll64, false},
      {L"64-bit all text excludes 7", win7, L"", kAll64, false},
      {L"64-bit all text excludes 11", win11, L"", kAll64, false},
      {L"64-bit all text excludes servers", server, L"", kAll64, false},
      {L"64-bit all text leaves 32-bit", xp, L"", kAll64, true},
      {L"64-bit all text leaves 32-bit 10", win10x86, L"", kAll64, true},
      {L"32-bit all text excludes 32-bit", win10x86, kAll32, L"", false},
      {L"32-bit all text excludes XP", xp, kAll32, L"", false},
      {L"32-bit all text leaves 64-bit", win10, kAll32, L"", true},
      {L"all text of the wrong kind", win10, L"", kAll32, true},
      {L"all text of the wrong kind 32", xp, kAll64, L"", true},
      {L"all text in other letter case", win10, L"", L"windows XP/Vista/Windows 7/Windows 8 x64/Windows 8.1 x64/Windows 10 x64/Windows 11 x64", true},
      {L"the other list is not read", win10, L"Windows 10 x64", L"", true},
      {L"generic matches", win7, L"", L"Windows 7 x64, Windows 8 x64", false},
      {L"detailed differs", win7, L"", L"Windows 7 RTM x64", true},
      {L"detailed matches", win7, L"", L"Windows 8 x64, Windows 7 SP1 x64", false},
      {L"family excludes every release", win10, L"", L"Windows 10 x64", false},
      {L"another release", win10, L"", L"Windows 10 version 1809 x64", true},
      {L"that release", win10v1809, L"", L"Windows 10 version 1809 x64", false},
      {L"letter case counts", win10, L"", L"windows 10 x64", true},
      {L"comma without blank is no separator", win10, L"", L"Windows 7 x64,Windows 10 x64", true},
      {L"blank before comma stays in the item", win10, L"", L"Windows 10 x64 , Windows 7 x64", true},
      {L"blank after the separator stays", win10, L"", L"Windows 7 x64,  Windows 10 x64", true},
      {L"blank kept but next item matches", win10, L"", L"Windows 7 x64 , Windows 10 x64", false},
      {L"empty items between separators", win10, L"", L"Windows 7 x64, , Windows 10 x64", false},
      {L"separator at the end", win10, L"", L"Windows 10 x64, ", false},
      {L"separator at the start", win10, L"", L", Windows 10 x64", false},
      {L"only separators", win10, L"", L", , ", true},
      {L"server generic", server, L"", L"Windows Server x64", false},
      {L"server detailed", server, L"", L"Windows Server 2019 x64", false},
      {L"server is no Windows 10", server, L"", L"Windows 10 x64", true},
      {L"eleven", win11, L"", L"Windows 11 x64", false},
      {L"eleven release", win11, L"", L"Windows 11 version 22H2 x64", true},
      {L"XP in its list", xp, L"Windows XP x86", L"", false},
      {L"XP in the 64-bit list", xp, L"", L"Windows XP x86", true},
      {L"unknown system", old, L"Windows XP x86, Windows 10 x86", L"", true},
      {L"unknown system named", old, L"Windows XP x86, OsNotIdentified", L"", false},
      {L"unknown system, all text", old, kAll32, L"", false},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.allowed, IsOsAllowed(c.os, c.winNT, c.winNT64)) << c.name;
}

TEST(OsInfoTest, IsLanguageAllowedExaminesOnlyTerminatedItems) {
  const struct {
    const wchar_t* list;
    uint16_t language;
    bool allowed;
  } kCases[] = {
      {L"", 1031, true},
      {L"1033;1031;", 1031, true},
      {L"1033;1031;", 1033, true},
      {L"1033;1031", 1031, false},  // the last item has no ";": never examined
      {L"1033;1031", 1033, true},
      {L"1031", 1031, false},
      {L"1033;", 1031, false},
      {L" 1031;", 1031, true},
      {L"abc;1031;", 1031, true},
      {L"66567;", 1031, true},   // 1031 + 65536: only the low 16 bits count
      {L"-64505;", 1031, true},  // 0xFFFF0407
      {L";", 0, true},
      {L";", 1031, false},
      {L";;1031;", 1031, true},
      {L"1031abc;", 1031, true},
      {L"0x407;", 1031, false},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.allowed, IsLanguageAllowed(c.language, c.list)) << c.list << L" " << c.language;
}

TEST(OsInfoTest, IsLanguageAllowedAsksTheSystem) {
  const uint16_t system = ::GetSystemDefaultLangID();
  EXPECT_TRUE(IsLanguageAllowed(L""));
  EXPECT_TRUE(IsLanguageAllowed(L"1;" + std::to_wstring(system) + L";"));
  EXPECT_FALSE(IsLanguageAllowed(std::to_wstring(system)));
  EXPECT_FALSE(IsLanguageAllowed(std::to_wstring(system + 1) + L";"));
}

TEST(OsInfoTest, DescribeLanguageGivesNumberAndName) {
  // Wine names the languages in English whatever the user interface language.
  EXPECT_EQ(L"1033-English (United States)", DescribeLanguage(1033));
  EXPECT_EQ(L"1031-German (Germany)", DescribeLanguage(1031));
  EXPECT_EQ(L"65535-", DescribeLanguage(65535).substr(0, 6));
}

TEST(OsInfoTest, GetOsInfoReadsThisPrefix) {
  // The unit-test prefix is set to Windows 10 (10.0, build 18362, CSDVersion empty, WinNT) and the
  // tests run as a 32-bit process on 64-bit Wine.
  const OsInfo expected = Os(10, 0, 18362, 0, false, true);
  EXPECT_EQ(expected, GetOsInfo()) << Describe(GetOsInfo());
  EXPECT_EQ(expected, ReadOsInfo(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(L"Windows 10 version 1903 x64", DetailedOsName());
  EXPECT_EQ(L"Windows 10 x64", GenericOsName());
  EXPECT_TRUE(IsOsAtLeast(10, 0, 0, 0));
  EXPECT_TRUE(IsOsAtLeast(6, 1, 0, 0));
  EXPECT_FALSE(IsOsAtLeast(10, 0, 0, 18363));
  EXPECT_EQ(&GetOsInfo(), &GetOsInfo());
  EXPECT_FALSE(IsOsAllowed(L"", L"Windows 10 version 1903 x64"));
  EXPECT_FALSE(IsOsAllowed(L"", kAll64));
  EXPECT_TRUE(IsOsAllowed(kAll32, L"Windows 10 version 1909 x64, Windows 10 x86"));
}

TEST(OsInfoTest, ConcurrentFirstUsesSeeOneRecord) {
  constexpr int kThreads = 8;
  std::atomic<bool> go{false};
  std::vector<const OsInfo*> records(kThreads);
  std::vector<const std::wstring*> names(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      records[i] = &GetOsInfo();
      names[i] = &DetailedOsName();
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(records[0], records[i]);
    EXPECT_EQ(names[0], names[i]);
  }
  EXPECT_EQ(ReadOsInfo(HKEY_LOCAL_MACHINE), *records[0]);
}

// The reading rules, against values seeded in a key of the test's own that stands in for
// HKEY_LOCAL_MACHINE.
class ReadOsInfoTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kVersion[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
  static constexpr wchar_t kOptions[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

  OsInfo Read() {
    HKEY root = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, registry_.SubPath().c_str(), 0, KEY_READ, &root));
    const OsInfo info = ReadOsInfo(root);
    ::RegCloseKey(root);
    return info;
  }

  ScopedRegistryOverride registry_;
};

TEST_F(ReadOsInfoTest, VersionValues) {
  const std::wstring big(512 * 1024, L'7');
  const struct {
    const wchar_t* name;
    std::optional<DWORD> major, minor;
    std::optional<std::wstring> version, build, csd, productType;
    OsInfo expected;
  } kCases[] = {
      {L"Windows 10", 10, 0, L"6.3", L"19045", {}, L"WinNT", Os(10, 0, 19045, 0, false, true)},
      {L"Windows 11", 10, 0, L"6.3", L"22631", L"", L"WinNT", Os(11, 0, 22631, 0, false, true)},
      {L"just before 11", 10, 0, L"6.3", L"21999", {}, L"WinNT", Os(10, 0, 21999, 0, false, true)},
      {L"server on 11", 10, 0, L"6.3", L"26100", {}, L"ServerNT", Os(11, 0, 26100, 0, true, true)},
      {L"Windows 7 text only", {}, {}, L"6.1", L"7601", L"Service Pack 1", L"WinNT", Os(6, 1, 7601, 1, false, true)},
      {L"XP text only", {}, {}, L"5.1", L"2600", L"Service Pack 3", {}, Os(5, 1, 2600, 3, false, true)},
      {L"empty CSDVersion", {}, {}, L"6.0", L"6000", L"", L"WinNT", Os(6, 0, 6000, 0, false, true)},
      {L"CSDVersion not ending in a digit", {}, {}, L"6.1", L"7601", L"Service Pack 1a", L"WinNT", Os(6, 1, 7601, 49, false, true)},
      {L"DWORDs win over the text", 6, 3, L"6.1", L"9600", {}, L"WinNT", Os(6, 3, 9600, 0, false, true)},
      {L"text not three characters", {}, {}, L"10.0", L"19045", {}, L"WinNT", Os(0, 0, 19045, 0, false, true)},
      {L"text without digits", {}, {}, L"x.y", L"1", {}, L"WinNT", Os(0, 0, 1, 0, false, true)},
      {L"major 0 reads the text, minor too", 0, 7, L"6.2", L"9200", {}, L"WinNT", Os(6, 2, 9200, 0, false, true)},
      {L"build with text after it", 10, 0, {}, L"18362 (beta)", {}, L"WinNT", Os(10, 0, 18362, 0, false, true)},
      {L"build without digits", 10, 0, {}, L"abc", {}, L"WinNT", Os(10, 0, 0, 0, false, true)},
      // The build is unsigned: a negative text wraps round and so passes for Windows 11.
      {L"negative build", 10, 0, {}, L"-5", {}, L"WinNT", Os(11, 0, 4294967291u, 0, false, true)},
      {L"no build", 10, 0, {}, {}, {}, L"WinNT", Os(10, 0, 0, 0, false, true)},
      {L"megabyte build", 10, 0, {}, big, big, L"WinNT", Os(10, 0, 0, 0, false, true)},
      {L"domain controller", 10, 0, {}, L"17763", {}, L"LanmanNT", Os(10, 0, 17763, 0, true, true)},
      {L"product type letter case", 10, 0, {}, L"17763", {}, L"winnt", Os(10, 0, 17763, 0, true, true)},
      {L"empty product type", 10, 0, {}, L"17763", {}, L"", Os(10, 0, 17763, 0, true, true)},
      {L"nothing at all", {}, {}, {}, {}, {}, {}, Os(0, 0, 0, 0, false, true)},
  };
  for (const auto& c : kCases) {
    // Each case starts from empty keys.
    registry_.DeleteKey(L"Software");
    registry_.DeleteKey(L"SYSTEM");
    ASSERT_TRUE(registry_.CreateKey(kVersion));
    ASSERT_TRUE(registry_.CreateKey(kOptions));
    if (c.major) {
      ASSERT_TRUE(registry_.SetDword(kVersion, L"CurrentMajorVersionNumber", *c.major));
    }
    if (c.minor) {
      ASSERT_TRUE(registry_.SetDword(kVersion, L"CurrentMinorVersionNumber", *c.minor));
    }
    if (c.version) {
      ASSERT_TRUE(registry_.SetString(kVersion, L"CurrentVersion", *c.version));
    }
    if (c.build) {
      ASSERT_TRUE(registry_.SetString(kVersion, L"CurrentBuildNumber", *c.build));
    }
    if (c.csd) {
      ASSERT_TRUE(registry_.SetString(kVersion, L"CSDVersion", *c.csd));
    }
    if (c.productType) {
      ASSERT_TRUE(registry_.SetString(kOptions, L"ProductType", *c.productType));
    }
    EXPECT_EQ(c.expected, Read()) << c.name;
  }
}

TEST_F(ReadOsInfoTest, ValuesOfTheWrongTypeCountAsMissing) {
  ASSERT_TRUE(registry_.SetString(kVersion, L"CurrentMajorVersionNumber", L"10"));
  ASSERT_TRUE(registry_.SetValue(kVersion, L"CurrentMinorVersionNumber", REG_DWORD, "\x03", 1));
  ASSERT_TRUE(registry_.SetString(kVersion, L"CurrentVersion", L"6.1"));
  ASSERT_TRUE(registry_.SetDword(kVersion, L"CurrentBuildNumber", 7601));
  ASSERT_TRUE(registry_.SetValue(kVersion, L"CSDVersion", REG_BINARY, "\x33\x00", 2));
  ASSERT_TRUE(registry_.SetDword(kOptions, L"ProductType", 1));
  EXPECT_EQ(Os(6, 1, 0, 0, false, true), Read());
  // A text type other than REG_SZ is still text.
  ASSERT_TRUE(registry_.SetString(kVersion, L"CurrentBuildNumber", L"7601", 0, REG_EXPAND_SZ));
  ASSERT_TRUE(registry_.SetString(kOptions, L"ProductType", L"ServerNT", 0, REG_EXPAND_SZ));
  EXPECT_EQ(Os(6, 1, 7601, 0, true, true), Read());
}

TEST_F(ReadOsInfoTest, WithoutTheVersionKeyTheRecordStaysEmpty) {
  ASSERT_TRUE(registry_.SetString(kOptions, L"ProductType", L"ServerNT"));
  EXPECT_EQ(OsInfo{}, Read());
  // And without the product options the system is a workstation.
  ASSERT_TRUE(registry_.DeleteKey(L"SYSTEM"));
  ASSERT_TRUE(registry_.SetDword(kVersion, L"CurrentMajorVersionNumber", 10));
  EXPECT_EQ(Os(10, 0, 0, 0, false, true), Read());
}

}  // namespace
}  // namespace quillon
