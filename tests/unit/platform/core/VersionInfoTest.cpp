#include "platform/core/VersionInfo.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "chainer/evaluation/OsInfo.h"
#include "platform/core/TempFolders.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using testing::ScopedTempFolder;

// The fixture libraries are built beside the test program (tests/fixtures/versioned).
std::wstring Fixture(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring self(path, length);
  return self.substr(0, self.rfind(L'\\') + 1) + name;
}

std::wstring SystemFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length) + L"\\" + name;
}

constexpr DWORD kUntouched = 0xDEADBEEF;

TEST(VersionInfoTest, FileVersionIsTheFixedVersionOfTheResource) {
  const struct {
    const wchar_t* fixture;
    DWORD ms;
    DWORD ls;
  } kCases[] = {
      {L"fixture-versioned.dll", 0x00010002, 0x00030004},
      {L"fixture-untranslated.dll", 0xFFFFFFFF, 0xFFFFFFFF},
      {L"fixture-dllversion.dll", 0x00090008, 0x00070006},
      {L"fixture-dllversion-fails.dll", 0x00020000, 0x00000000},
  };
  for (const auto& c : kCases) {
    DWORD ms = kUntouched;
    DWORD ls = kUntouched;
    EXPECT_EQ(0u, GetFileVersion(Fixture(c.fixture), ms, ls)) << c.fixture;
    EXPECT_EQ(c.ms, ms) << c.fixture;
    EXPECT_EQ(c.ls, ls) << c.fixture;
  }
}

TEST(VersionInfoTest, FileVersionFailureGivesTheErrorAndLeavesTheOutputs) {
  ScopedTempFolder scratch;
  ASSERT_TRUE(testing::WriteBytes(scratch.File(L"plain.txt"), "no resources here"));
  ASSERT_TRUE(testing::WriteBytes(scratch.File(L"empty.dll"), ""));
  const std::wstring kPaths[] = {
      Fixture(L"fixture-unversioned.dll"),
      scratch.File(L"plain.txt"),
      scratch.File(L"empty.dll"),
      scratch.File(L"missing.dll"),
      scratch.Path(),
      L"",
      L"C:\\" + std::wstring(32000, L'v') + L".dll",
  };
  for (const std::wstring& path : kPaths) {
    DWORD ms = kUntouched;
    DWORD ls = kUntouched;
    EXPECT_NE(0u, GetFileVersion(path, ms, ls)) << path.substr(0, 60);
    EXPECT_EQ(kUntouched, ms);
    EXPECT_EQ(kUntouched, ls);
  }
  DWORD ms = 0;
  DWORD ls = 0;
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetFileVersion(scratch.File(L"missing.dll"), ms, ls));
}

TEST(VersionInfoTest, WindowsFolderFileIsReadThroughACopyThatIsRemoved) {
  ScopedTempFolder scratch;
  TempFolderHooksForTesting hooks;
  hooks.userTempFolder = scratch.Path() + L"\\";
  SetTempFolderHooksForTesting(&hooks);
  OsInfo windows10;
  windows10.majorVersion = 10;
  windows10.buildNumber = 19045;
  windows10.is64BitWindows = GetOsInfo().is64BitWindows;
  const std::optional<OsInfo> before = SetOsInfoForTesting(windows10);

  // A copy is only made when the temporary folder can take it: this proves one is made.
  ShimClone probe(SystemFile(L"version.dll"));
  const bool copied = probe.IsCopy();
  probe.DeleteCopy();

  DWORD ms = 0;
  DWORD ls = 0;
  const DWORD result = GetFileVersion(SystemFile(L"version.dll"), ms, ls);
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((scratch.Path() + L"\\*.tmp").c_str(), &entry);
  const bool leftOver = find != INVALID_HANDLE_VALUE;
  if (leftOver) ::FindClose(find);

  SetOsInfoForTesting(before);
  SetTempFolderHooksForTesting(nullptr);
  EXPECT_TRUE(copied);
  EXPECT_EQ(0u, result);
  EXPECT_NE(0u, ms);
  EXPECT_FALSE(leftOver);
}

TEST(VersionInfoTest, ProductNameComesFromTheFirstTranslationOrTheDefaultOne) {
  const struct {
    const wchar_t* fixture;
    const wchar_t* name;
  } kCases[] = {
      {L"fixture-versioned.dll", L"Quillon Pr\u00fcf-Bibliothek"},    // German, 1252: the first pair
      {L"fixture-untranslated.dll", L"Central European Block"},      // no list: 0409 with 04E2
      {L"fixture-dllversion.dll", L"Version Answering Library"},
  };
  for (const auto& c : kCases) {
    std::wstring name = Fixture(c.fixture);
    EXPECT_TRUE(GetProductName(name)) << c.fixture;
    EXPECT_EQ(c.name, name);
  }
}

TEST(VersionInfoTest, ProductNameFailureKeepsThePath) {
  ScopedTempFolder scratch;
  ASSERT_TRUE(testing::WriteBytes(scratch.File(L"plain.txt"), "text"));
  const std::wstring kPaths[] = {
      Fixture(L"fixture-unversioned.dll"),
      Fixture(L"fixture-dllversion-fails.dll"),  // a version resource without ProductName
      scratch.File(L"plain.txt"),
      scratch.File(L"missing.exe"),
      L"",
      L"C:\\" + std::wstring(32000, L'p') + L".exe",
  };
  for (const std::wstring& path : kPaths) {
    std::wstring name = path;
    EXPECT_FALSE(GetProductName(name)) << path.substr(0, 60);
    EXPECT_EQ(path, name);
  }
}

TEST(VersionInfoTest, DllVersionAsksTheLibraryFirstThenItsFileVersion) {
  const struct {
    const wchar_t* fixture;
    DWORD major;
    DWORD minor;
  } kCases[] = {
      {L"fixture-dllversion.dll", 7, 3},     // DllGetVersion wins over the file version 9.8
      {L"fixture-versioned.dll", 1, 0},      // no export: the file version's major word, minor 0
      {L"fixture-untranslated.dll", 65535, 0},
  };
  for (const auto& c : kCases) {
    DWORD major = kUntouched;
    DWORD minor = kUntouched;
    EXPECT_TRUE(GetDllVersion(Fixture(c.fixture), major, minor)) << c.fixture;
    EXPECT_EQ(c.major, major) << c.fixture;
    EXPECT_EQ(c.minor, minor) << c.fixture;
  }
}

TEST(VersionInfoTest, DllVersionFailuresLeaveTheOutputs) {
  const std::wstring kPaths[] = {
      Fixture(L"fixture-dllversion-fails.dll"),  // DllGetVersion answers E_FAIL
      Fixture(L"fixture-unversioned.dll"),       // neither export nor version resource
      Fixture(L"missing.dll"),
      L"fixture-dllversion.dll",                 // a bare name comes from the system folder only
      L"sub\\fixture-dllversion.dll",
      L"",
      L"C:\\" + std::wstring(32000, L'd') + L".dll",
  };
  for (const std::wstring& path : kPaths) {
    DWORD major = kUntouched;
    DWORD minor = kUntouched;
    EXPECT_FALSE(GetDllVersion(path, major, minor)) << path.substr(0, 60);
    EXPECT_EQ(kUntouched, major);
    EXPECT_EQ(kUntouched, minor);
  }
}

TEST(VersionInfoTest, DllVersionOfTheShellLibrariesAndUnloadsAgain) {
  for (const wchar_t* name : {L"shlwapi.dll", L"shell32.dll"}) {
    DWORD major = 0;
    DWORD minor = 0;
    EXPECT_TRUE(GetDllVersion(name, major, minor)) << name;
    EXPECT_GE(major, 5u) << name;
  }
  DWORD major = 0;
  DWORD minor = 0;
  const std::wstring fixture = Fixture(L"fixture-dllversion.dll");
  ASSERT_TRUE(GetDllVersion(fixture, major, minor));
  EXPECT_EQ(nullptr, ::GetModuleHandleW(fixture.c_str()));
}

}  // namespace
}  // namespace quillon
