#include "platform/core/TempFolders.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "chainer/evaluation/OsInfo.h"
#include "platform/core/AccessLists.h"
#include "tests/support/ScopedTempFolder.h"
#include "tests/support/SecurityInfo.h"

namespace quillon {
namespace {

using testing::ScopedTempFolder;

// Puts the system back whatever a test replaced.
class TempFoldersTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetTempFolderHooksForTesting(nullptr);
    SetLocalSystemForTesting(std::nullopt);
    SetOsInfoForTesting(std::nullopt);
  }
  // Sends the temporary folder to `folder` (as GetTempPathW would give it).
  void UseTempFolder(const std::wstring& folder) {
    hooks_.userTempFolder = folder;
    SetTempFolderHooksForTesting(&hooks_);
  }
  TempFolderHooksForTesting hooks_;
};

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool StartsWith(const std::wstring& text, const std::wstring& start) { return text.compare(0, start.size(), start) == 0; }

// CreateDirectoryW that remembers the attributes it was given.
struct CreatedFolder {
  std::wstring path;
  DWORD length = 0;
  BOOL inheritHandle = TRUE;
  std::vector<testing::AccessEntry> entries;
};
std::vector<CreatedFolder> gCreatedFolders;
BOOL WINAPI RecordingCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  CreatedFolder created;
  created.path = path;
  if (attributes != nullptr) {
    created.length = attributes->nLength;
    created.inheritHandle = attributes->bInheritHandle;
    created.entries = testing::EntriesOfDescriptor(attributes->lpSecurityDescriptor);
  }
  gCreatedFolders.push_back(created);
  return ::CreateDirectoryW(path, attributes);
}

// Only LocalSystem and Administrators, each with full access, no inheritance flags; in the
// descriptor handed to CreateDirectoryW and, where the file system keeps it, on the folder.
void ExpectProtectedFolder(const std::wstring& folder) {
  ASSERT_EQ(1u, gCreatedFolders.size());
  const CreatedFolder& created = gCreatedFolders[0];
  EXPECT_EQ(folder, created.path);
  EXPECT_EQ(12u, created.length);
  EXPECT_FALSE(created.inheritHandle);
  EXPECT_EQ((std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544"}), testing::SidsOf(created.entries));
  for (const testing::AccessEntry& entry : created.entries) {
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, entry.type);
    EXPECT_EQ(0, entry.flags);
    EXPECT_EQ(static_cast<ACCESS_MASK>(GENERIC_ALL), entry.mask);
  }
  EXPECT_TRUE(IsFolder(folder));
  if (!testing::FileSystemIgnoresDescriptors()) {
    EXPECT_EQ((std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544"}), testing::SidsOf(testing::EntriesOfPath(folder)));
  }
}

std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH];
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, SHGFP_TYPE_CURRENT, folder))) return L"";
  return folder;
}

// The machine word of a PE file's header (0x14C for 32-bit, 0x8664 for 64-bit x86 code).
WORD MachineOf(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  IMAGE_DOS_HEADER dos{};
  DWORD read = 0;
  WORD machine = 0;
  if (::ReadFile(file, &dos, sizeof(dos), &read, nullptr) && read == sizeof(dos) &&
      ::SetFilePointer(file, dos.e_lfanew + 4, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
    ::ReadFile(file, &machine, sizeof(machine), &read, nullptr);
  }
  ::CloseHandle(file);
  return machine;
}

OsInfo Windows(uint32_t major, uint32_t minor, bool is64Bit) {
  OsInfo info;
  info.majorVersion = major;
  info.minorVersion = minor;
  info.buildNumber = major == 10 ? 19045 : 9600;
  info.is64BitWindows = is64Bit;
  return info;
}

// GetTempPath2W as a LocalSystem process would see it.
std::wstring gTempPath2Answer;
DWORD gTempPath2Room = 0;
DWORD WINAPI FakeGetTempPath2(DWORD room, LPWSTR buffer) {
  gTempPath2Room = room;
  if (gTempPath2Answer.size() + 1 > room) return static_cast<DWORD>(gTempPath2Answer.size() + 1);
  std::copy(gTempPath2Answer.begin(), gTempPath2Answer.end(), buffer);
  buffer[gTempPath2Answer.size()] = L'\0';
  return static_cast<DWORD>(gTempPath2Answer.size());
}

// MoveFileW that fails `gFailuresLeft` times before it starts to work; remembers what it was given.
int gFailuresLeft = 0;
std::vector<std::wstring> gMoveSources;
BOOL WINAPI FlakyMoveFile(LPCWSTR from, LPCWSTR to) {
  gMoveSources.push_back(from);
  if (gFailuresLeft > 0) {
    --gFailuresLeft;
    ::SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  return ::MoveFileW(from, to);
}

TEST_F(TempFoldersTest, UserFolderIsTheSystemsTemporaryFolderWithItsBackslash) {
  SetTempFolderHooksForTesting(nullptr);
  wchar_t expected[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, expected);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::wstring(expected, length), GetSecureTempFolder());
  EXPECT_TRUE(EndsWith(GetSecureTempFolder(), L"\\"));
}

TEST_F(TempFoldersTest, FolderIsReadOnceAndKept) {
  ScopedTempFolder elsewhere;
  SetTempFolderHooksForTesting(nullptr);
  const std::wstring first = GetSecureTempFolder();
  wchar_t tmp[MAX_PATH] = {};
  wchar_t temp[MAX_PATH] = {};
  const bool hadTmp = ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH) != 0;
  const bool hadTemp = ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH) != 0;
  ::SetEnvironmentVariableW(L"TMP", elsewhere.Path().c_str());
  ::SetEnvironmentVariableW(L"TEMP", elsewhere.Path().c_str());

  EXPECT_EQ(first, GetSecureTempFolder());
  SetTempFolderHooksForTesting(nullptr);  // empties the cache: now the new place shows
  const std::wstring reread = GetSecureTempFolder();

  ::SetEnvironmentVariableW(L"TMP", hadTmp ? tmp : nullptr);
  ::SetEnvironmentVariableW(L"TEMP", hadTemp ? temp : nullptr);
  EXPECT_EQ(elsewhere.Path() + L"\\", reread);
}

TEST_F(TempFoldersTest, FolderIsKeptInShortFormWithTrailingBackslash) {
  const struct {
    std::wstring given;
    std::wstring kept;
  } kCases[] = {
      {L"C:\\users\\x\\Temp\\", L"C:\\users\\x\\Temp\\"},
      {L"C:\\users\\x\\Temp", L"C:\\users\\x\\Temp\\"},
      {L"\\\\?\\C:\\users\\x\\Temp\\", L"C:\\users\\x\\Temp\\"},
      {L"\\\\?\\UNC\\server\\share\\Temp\\", L"\\\\server\\share\\Temp\\"},
      {L"", L""},  // the system gave none
  };
  for (const auto& c : kCases) {
    UseTempFolder(c.given);
    EXPECT_EQ(c.kept, GetSecureTempFolder()) << c.given;
  }
}

TEST_F(TempFoldersTest, LocalSystemTakesGetTempPath2AndProtectsANewFolder) {
  ScopedTempFolder scratch;
  gTempPath2Answer = scratch.File(L"SystemTemp2") + L"\\";
  hooks_.getTempPath2 = FakeGetTempPath2;
  hooks_.windowsFolder = scratch.File(L"unused-windows");
  hooks_.createDirectory = RecordingCreateDirectory;
  SetTempFolderHooksForTesting(&hooks_);
  SetLocalSystemForTesting(true);
  gCreatedFolders.clear();

  EXPECT_EQ(gTempPath2Answer, GetSecureTempFolder());
  EXPECT_EQ(static_cast<DWORD>(MAX_PATH + 1), gTempPath2Room);
  ExpectProtectedFolder(gTempPath2Answer);
  EXPECT_FALSE(IsFolder(scratch.File(L"unused-windows")));
}

TEST_F(TempFoldersTest, LocalSystemWithoutGetTempPath2UsesTheWindowsFoldersSystemTemp) {
  for (const wchar_t* ending : {L"", L"\\"}) {
    ScopedTempFolder windows;
    hooks_.getTempPath2 = nullptr;
    hooks_.windowsFolder = windows.Path() + ending;
    hooks_.createDirectory = RecordingCreateDirectory;
    SetTempFolderHooksForTesting(&hooks_);
    SetLocalSystemForTesting(true);
    gCreatedFolders.clear();

    EXPECT_EQ(windows.File(L"SystemTemp\\"), GetSecureTempFolder()) << ending;
    ExpectProtectedFolder(windows.File(L"SystemTemp\\"));
  }
}

TEST_F(TempFoldersTest, ExistingSystemTempIsLeftAsItIs) {
  ScopedTempFolder windows;
  const std::wstring systemTemp = windows.File(L"SystemTemp");
  ASSERT_TRUE(::CreateDirectoryW(systemTemp.c_str(), nullptr));
  ASSERT_TRUE(testing::WriteBytes(systemTemp + L"\\kept.txt", "kept"));
  const std::vector<std::wstring> before = testing::SidsOf(testing::EntriesOfPath(systemTemp));
  hooks_.windowsFolder = windows.Path();
  hooks_.createDirectory = RecordingCreateDirectory;
  SetTempFolderHooksForTesting(&hooks_);
  SetLocalSystemForTesting(true);
  gCreatedFolders.clear();

  EXPECT_EQ(systemTemp + L"\\", GetSecureTempFolder());
  EXPECT_TRUE(gCreatedFolders.empty());
  EXPECT_EQ(before, testing::SidsOf(testing::EntriesOfPath(systemTemp)));
  EXPECT_EQ(std::vector<std::wstring>{L"kept.txt"}, FilesIn(systemTemp));
}

TEST_F(TempFoldersTest, LocalSystemWithoutWindowsFolderHasNoTemporaryFolder) {
  hooks_.windowsFolder = L"";
  SetTempFolderHooksForTesting(&hooks_);
  SetLocalSystemForTesting(true);
  EXPECT_EQ(L"", GetSecureTempFolder());
}

TEST_F(TempFoldersTest, TempFileWithoutExtensionIsTheSystemsNewEmptyFile) {
  ScopedTempFolder scratch;
  UseTempFolder(scratch.Path() + L"\\");
  const std::wstring file = CreateTempFile(L"QNX", L"");
  EXPECT_TRUE(StartsWith(file, scratch.File(L"QNX"))) << file;
  EXPECT_TRUE(EndsWith(file, L".tmp")) << file;
  ASSERT_TRUE(IsFile(file));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(0u, data.nFileSizeLow);
  EXPECT_EQ(1u, FilesIn(scratch.Path()).size());
}

TEST_F(TempFoldersTest, TempFileGetsTheExtensionOnce) {
  const struct {
    const wchar_t* prefix;
    const wchar_t* extension;
    const wchar_t* ending;
    const wchar_t* start;
  } kCases[] = {
      {L"URL", L".url", L".url", L"URL"},
      {L"URL", L"url", L".url", L"URL"},
      {L"shim_clone", L"txt", L".txt", L"shi"},  // the system takes three letters of the prefix
      {L"x", L".a.b", L".a.b", L"x"},
      {L"", L".url", L".url", L""},
  };
  for (const auto& c : kCases) {
    ScopedTempFolder scratch;
    UseTempFolder(scratch.Path() + L"\\");
    const std::wstring file = CreateTempFile(c.prefix, c.extension);
    EXPECT_TRUE(EndsWith(file, c.ending)) << file;
    EXPECT_FALSE(EndsWith(file, std::wstring(L".") + c.ending)) << file;
    EXPECT_TRUE(StartsWith(file, scratch.File(c.start))) << file;
    EXPECT_EQ(std::wstring::npos, file.find(L".tmp")) << file;
    EXPECT_TRUE(IsFile(file)) << file;
    EXPECT_EQ(1u, FilesIn(scratch.Path()).size()) << file;  // the .tmp name is gone
  }
}

TEST_F(TempFoldersTest, LoneDotNamesNoExtension) {
  ScopedTempFolder scratch;
  UseTempFolder(scratch.Path() + L"\\");
  const std::wstring file = CreateTempFile(L"dot", L".");
  EXPECT_TRUE(EndsWith(file, L".tmp")) << file;
  EXPECT_TRUE(IsFile(file));
}

TEST_F(TempFoldersTest, FailedRenameIsTriedAgainWithANewFile) {
  ScopedTempFolder scratch;
  hooks_.userTempFolder = scratch.Path() + L"\\";
  hooks_.moveFile = FlakyMoveFile;
  SetTempFolderHooksForTesting(&hooks_);
  gFailuresLeft = 2;
  gMoveSources.clear();

  const std::wstring file = CreateTempFile(L"URL", L"url");
  EXPECT_TRUE(EndsWith(file, L".url")) << file;
  ASSERT_EQ(3u, gMoveSources.size());
  EXPECT_NE(gMoveSources[0], gMoveSources[1]);
  EXPECT_NE(gMoveSources[1], gMoveSources[2]);
  EXPECT_EQ(std::vector<std::wstring>{file.substr(file.rfind(L'\\') + 1)}, FilesIn(scratch.Path()));
}

TEST_F(TempFoldersTest, RenameThatNeverWorksEndsAfterTheLastAttemptWithNothingLeft) {
  ScopedTempFolder scratch;
  hooks_.userTempFolder = scratch.Path() + L"\\";
  hooks_.moveFile = FlakyMoveFile;
  SetTempFolderHooksForTesting(&hooks_);
  gFailuresLeft = 1000;
  gMoveSources.clear();

  EXPECT_EQ(L"", CreateTempFile(L"URL", L"url"));
  EXPECT_EQ(static_cast<size_t>(kTempFileAttempts), gMoveSources.size());
  EXPECT_TRUE(FilesIn(scratch.Path()).empty());
  gFailuresLeft = 0;
}

TEST_F(TempFoldersTest, ExtensionsThatNoFileCanCarryLeaveNothing) {
  const std::wstring kExtensions[] = {L"u|l", L"a<b", L"sub\\url", std::wstring(32000, L'e')};
  for (const std::wstring& extension : kExtensions) {
    ScopedTempFolder scratch;
    UseTempFolder(scratch.Path() + L"\\");
    EXPECT_EQ(L"", CreateTempFile(L"URL", extension)) << extension.substr(0, 20);
    EXPECT_TRUE(FilesIn(scratch.Path()).empty()) << extension.substr(0, 20);
  }
}

TEST_F(TempFoldersTest, FolderThatCannotTakeFilesGivesNoFile) {
  ScopedTempFolder scratch;
  ASSERT_TRUE(testing::WriteBytes(scratch.File(L"a-file"), "x"));
  const std::wstring kFolders[] = {
      scratch.File(L"a-file") + L"\\",             // a file, not a folder
      scratch.File(L"missing") + L"\\",            // no such folder
      scratch.Path() + L"\\" + std::wstring(300, L'd') + L"\\",  // too long for GetTempFileNameW
      L"C:\\" + std::wstring(32000, L'd') + L"\\",
  };
  for (const std::wstring& folder : kFolders) {
    UseTempFolder(folder);
    EXPECT_EQ(L"", CreateTempFile(L"URL", L".url")) << folder.substr(0, 60);
    EXPECT_EQ(L"", CreateTempFile(L"URL", L"")) << folder.substr(0, 60);
  }
  EXPECT_EQ(std::vector<std::wstring>{L"a-file"}, FilesIn(scratch.Path()));
}

TEST_F(TempFoldersTest, WindowsFolderFileIsCopiedOnWindows10AsThe64BitFile) {
  const std::wstring windows = WindowsFolder();
  ASSERT_FALSE(windows.empty());
  const std::wstring kernel32 = windows + L"\\system32\\kernel32.dll";
  const struct {
    bool is64Bit;
    WORD machine;
  } kCases[] = {{true, IMAGE_FILE_MACHINE_AMD64}, {false, IMAGE_FILE_MACHINE_I386}};
  for (const auto& c : kCases) {
    if (c.is64Bit && !GetOsInfo().is64BitWindows) continue;  // no 64-bit file to find
    ScopedTempFolder scratch;
    UseTempFolder(scratch.Path() + L"\\");
    SetOsInfoForTesting(Windows(10, 0, c.is64Bit));
    std::wstring copy;
    {
      ShimClone clone(kernel32);
      ASSERT_TRUE(clone.IsCopy());
      copy = clone.Path;
      EXPECT_TRUE(StartsWith(copy, scratch.File(L"shi"))) << copy;
      EXPECT_TRUE(EndsWith(copy, L".tmp")) << copy;
      EXPECT_EQ(c.machine, MachineOf(copy)) << c.is64Bit;
    }
    EXPECT_FALSE(IsFile(copy));
    EXPECT_TRUE(FilesIn(scratch.Path()).empty());
  }
}

TEST_F(TempFoldersTest, NoCopyBeforeWindows10OrOutsideTheWindowsFolder) {
  const std::wstring windows = WindowsFolder();
  ASSERT_FALSE(windows.empty());
  std::wstring upper = windows;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const struct {
    OsInfo os;
    std::wstring path;
  } kCases[] = {
      {Windows(6, 3, true), windows + L"\\system32\\kernel32.dll"},
      {Windows(6, 1, false), windows + L"\\system32\\kernel32.dll"},
      {Windows(10, 0, true), self},
      {Windows(10, 0, true), upper == windows ? L"" : upper + L"\\system32\\kernel32.dll"},  // exact text only
      {Windows(10, 0, true), windows.substr(0, windows.size() - 1)},
      {Windows(10, 0, true), windows},  // the folder itself cannot be copied
      {Windows(10, 0, true), windows + L"\\system32\\quillon-missing.dll"},
      {Windows(10, 0, true), windows + L"\\" + std::wstring(32000, L'k')},
      {Windows(10, 0, true), L""},
  };
  for (const auto& c : kCases) {
    ScopedTempFolder scratch;
    UseTempFolder(scratch.Path() + L"\\");
    SetOsInfoForTesting(c.os);
    ShimClone clone(c.path);
    EXPECT_FALSE(clone.IsCopy()) << c.path.substr(0, 80);
    EXPECT_EQ(c.path, clone.Path);
    EXPECT_TRUE(FilesIn(scratch.Path()).empty()) << c.path.substr(0, 80);
  }
}

TEST_F(TempFoldersTest, CopyCanBeDeletedAtOnce) {
  ScopedTempFolder scratch;
  UseTempFolder(scratch.Path() + L"\\");
  SetOsInfoForTesting(Windows(10, 0, GetOsInfo().is64BitWindows));
  const std::wstring original = WindowsFolder() + L"\\system32\\version.dll";
  ShimClone clone(original);
  ASSERT_TRUE(clone.IsCopy());
  const std::wstring copy = clone.Path;
  clone.DeleteCopy();
  EXPECT_FALSE(clone.IsCopy());
  EXPECT_EQ(original, clone.Path);
  EXPECT_FALSE(IsFile(copy));
  clone.DeleteCopy();  // nothing left to do
  EXPECT_EQ(original, clone.Path);
}

TEST_F(TempFoldersTest, CommonAppDataFolderIsTheShellFolderWithBackslash) {
  wchar_t expected[MAX_PATH];
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, expected)));
  std::wstring folder = L"untouched";
  ASSERT_TRUE(GetCommonAppDataFolder(folder));
  EXPECT_EQ(std::wstring(expected) + L"\\", folder);
}

}  // namespace
}  // namespace quillon
