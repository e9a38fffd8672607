// The installed-version searches against real files, registry keys and Windows Installer packages
// in the test prefix.
#include "chainer/evaluation/Search.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/FileSearch.h"
#include "chainer/evaluation/OsInfo.h"
#include "chainer/evaluation/Prerequisite.h"
#include "tests/support/ScopedRegistryOverride.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using testing::ScopedRegistryOverride;
using testing::ScopedTempFolder;

constexpr int32_t kUnknownKind = 20;  // satisfied without a search

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

// Fixture libraries built beside the test program, with their file versions as the search stores them.
const std::wstring kVersioned = L"fixture-versioned.dll";      // 1.2.3.4
const std::wstring kDllVersion = L"fixture-dllversion.dll";    // 9.8.7.6
const std::wstring kUnversioned = L"fixture-unversioned.dll";  // no version resource

bool CopyFixture(const std::wstring& fixture, const std::wstring& target) {
  return ::CopyFileW((BinFolder() + fixture).c_str(), target.c_str(), FALSE) != FALSE;
}

SearchEntry Entry(int32_t kind, std::wstring searchString, std::wstring verMin = L"", std::wstring verMax = L"") {
  SearchEntry entry;
  entry.SearchType = kind;
  entry.SearchString = std::move(searchString);
  entry.VerMin = std::move(verMin);
  entry.VerMax = std::move(verMax);
  return entry;
}

struct SearchResult {
  bool answer = false;
  std::vector<FoundItem> items;
};

SearchResult RunAll(const std::vector<SearchEntry>& entries, int32_t op = 0, bool use64Bit = false) {
  ChainerConfig config;
  SearchResult result;
  result.items.push_back(FoundItem{{L"stale"}, L"stale", true});  // must be emptied first
  result.answer = RunSearches(entries, result.items, op, use64Bit, config);
  return result;
}

// The texts one entry collects and whether it is satisfied.
FoundItem RunOne(const SearchEntry& entry, bool use64Bit = false) {
  const SearchResult result = RunAll({entry}, 0, use64Bit);
  EXPECT_EQ(1u, result.items.size());
  return result.items.empty() ? FoundItem{} : result.items[0];
}

std::vector<std::wstring> Texts(std::initializer_list<const wchar_t*> texts) {
  return std::vector<std::wstring>(texts.begin(), texts.end());
}

const SearchEntry kSatisfied = Entry(kUnknownKind, L"");
const SearchEntry kUnsatisfied = Entry(5, L"HKCU\\Software\\ChainerTests\\NoSuchKey\\Anywhere");

TEST(SearchTest, OperatorsCombineAndStopEarly) {
  const struct {
    const char* label;
    std::vector<SearchEntry> entries;
    int32_t op;
    bool answer;
    std::vector<bool> recorded;  // satisfied flags of the items that were run
  } kCases[] = {
      {"and, no entries", {}, 0, true, {}},
      {"or, no entries", {}, 1, false, {}},
      {"other, no entries", {}, 2, false, {}},
      {"and, all satisfied", {kSatisfied, kSatisfied, kSatisfied}, 0, true, {true, true, true}},
      {"and stops at the first failure", {kSatisfied, kUnsatisfied, kSatisfied}, 0, false, {true, false}},
      {"and, failure first", {kUnsatisfied, kSatisfied}, 0, false, {false}},
      {"or stops at the first success", {kUnsatisfied, kSatisfied, kUnsatisfied}, 1, true, {false, true}},
      {"or, none satisfied", {kUnsatisfied, kUnsatisfied}, 1, false, {false, false}},
      {"other operator runs every entry", {kSatisfied, kUnsatisfied, kSatisfied}, 2, false, {true, false, true}},
      {"negative operator", {kSatisfied}, -1, false, {true}},
  };
  for (const auto& c : kCases) {
    const SearchResult result = RunAll(c.entries, c.op);
    EXPECT_EQ(c.answer, result.answer) << c.label;
    std::vector<bool> recorded;
    for (const FoundItem& item : result.items) recorded.push_back(item.satisfied);
    EXPECT_EQ(c.recorded, recorded) << c.label;
  }
}

TEST(SearchTest, UnknownKindsAreSatisfiedWithoutSearch) {
  for (int32_t kind : {15, 20, -1, 1000}) {
    const FoundItem item = RunOne(Entry(kind, L"C:\\no\\such\\file.dll", L"99"));
    EXPECT_TRUE(item.satisfied) << kind;
    EXPECT_TRUE(item.foundTexts.empty()) << kind;
  }
}

TEST(SearchTest, PackageSearchCollectsNothingYet) {
  const FoundItem item = RunOne(Entry(13, L"Microsoft.VCLibs?x86?CN=Microsoft"));
  EXPECT_FALSE(item.satisfied);
  EXPECT_TRUE(item.foundTexts.empty());
}

TEST(SearchTest, RefContentLetters) {
  const struct {
    const wchar_t* refContent;
    const wchar_t* value;
    bool matches;
  } kCases[] = {
      {L"MNOT OK", L"NOT OK", true},
      {L"MOK", L"NOT OK", false},
      {L"Mok", L"OK", false},
      {L"M", L"", true},
      {L"DOK", L"NOT OK", true},
      {L"DOK", L"OK", false},
      {L"COK", L"NOT OK", true},
      {L"Cok", L"NOT OK", false},
      {L"XOK", L"NOT OK", false},
      {L"XKO", L"NOT OK", true},
      {L"SOK", L"NOT OK", false},
      {L"SNOT", L"NOT OK", true},
      {L"SOK", L"OK OK", true},
      {L"EOK", L"NOT OK", true},
      {L"ENOT", L"NOT OK", false},
      {L"EOK OK", L"OK", false},
      {L"G10", L"9", false},
      {L"G10", L"12", true},
      {L"G10", L"12a", false},
      {L"G10", L"10", false},
      {L"G1a", L"12", false},
      {L"G", L"1", true},
      {L"G0", L"", false},
      {L"G10", L"-12", false},
      {L"L10", L"9", true},
      {L"L10", L"12", false},
      {L"L10", L" 9", false},
      {L"L1", L"", true},
      {L"", L"", false},
      {L"QOK", L"OK", false},
      {L"mOK", L"OK", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.matches, RefContentMatches(c.refContent, c.value)) << c.refContent << L" on " << c.value;
  }
}

TEST(SearchTest, FileVersionTextIsShortest) {
  EXPECT_EQ(L"1.2.3.4", FileVersionText(0x00010002, 0x00030004));
  EXPECT_EQ(L"1.2", FileVersionText(0x00010002, 0));
  EXPECT_EQ(L"0.0.0.0", FileVersionText(0, 0));
  EXPECT_EQ(L"10.0.19041.1", FileVersionText(0x000A0000, 0x4A610001));
}

class FileSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFixture(kVersioned, folder_.File(L"lib.dll")));
    ASSERT_TRUE(CopyFixture(kUnversioned, folder_.File(L"plain.dll")));
    ASSERT_TRUE(::CreateDirectoryW(folder_.File(L"one").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(folder_.File(L"one\\two").c_str(), nullptr));
    ASSERT_TRUE(CopyFixture(kDllVersion, folder_.File(L"one\\two\\deep.dll")));
  }
  std::wstring Path(const std::wstring& rest) const { return folder_.Path() + L"\\" + rest; }

  ScopedTempFolder folder_;
};

TEST_F(FileSearchTest, FindsFilesByFolderPathAndJudgesTheirVersion) {
  const struct {
    std::wstring searchString;
    const wchar_t* verMin;
    const wchar_t* verMax;
    std::vector<std::wstring> found;
    bool satisfied;
  } kCases[] = {
      {Path(L"lib.dll"), L"", L"", Texts({L"1.2.3.4"}), true},
      {Path(L"lib.dll"), L"1.2", L"", Texts({L"1.2.3.4"}), true},
      {Path(L"lib.dll"), L"1.2.3.4", L"1.2.3.4", Texts({L"1.2.3.4"}), true},
      {Path(L"lib.dll"), L"1.3", L"", Texts({L"1.2.3.4"}), false},
      {Path(L"lib.dll"), L"", L"1.2.3", Texts({L"1.2.3.4"}), false},
      {Path(L"plain.dll"), L"", L"", Texts({L"0.0.0.0"}), true},
      {Path(L"plain.dll"), L"1.0", L"", Texts({L"0.0.0.0"}), false},
      // A wildcard finds a file, but its version cannot be read by that name.
      {Path(L"li*.dll"), L"", L"", Texts({L"0.0.0.0"}), true},
      {Path(L"missing.dll"), L"", L"", {}, false},
      {Path(L"no such folder\\lib.dll"), L"", L"", {}, false},
      // Depth: the file two levels down needs a depth of two.
      {Path(L"deep.dll"), L"", L"", {}, false},
      {Path(L"deep.dll?1"), L"", L"", {}, false},
      {Path(L"deep.dll?2"), L"", L"", Texts({L"9.8.7.6"}), true},
      {Path(L"deep.dll?999999"), L"", L"", Texts({L"9.8.7.6"}), true},
      {Path(L"deep.dll?-1"), L"", L"", {}, false},
      {Path(L"deep.dll?two"), L"", L"", {}, false},
      {Path(L"lib.dll?"), L"", L"", Texts({L"1.2.3.4"}), true},
      // The nearer file wins over one deeper down.
      {Path(L"lib.dll?5"), L"", L"", Texts({L"1.2.3.4"}), true},
      // Texts that name no file.
      {Path(L""), L"", L"", {}, false},
      {Path(L"one\\"), L"", L"", {}, false},
      {Path(L"one\\?3"), L"", L"", {}, false},
      {L"?", L"", L"", {}, false},
      {L"??", L"", L"", {}, false},
      {L"", L"", L"", {}, false},
      {L"\\", L"", L"", {}, false},
      {Path(std::wstring(32768, L'a') + L".dll?3"), L"", L"", {}, false},
      {std::wstring(65536, L'x'), L"", L"", {}, false},
      {std::wstring(65536, L'\\'), L"", L"", {}, false},
  };
  for (const auto& c : kCases) {
    const std::wstring label = c.searchString.substr(0, 200);
    const FoundItem item = RunOne(Entry(0, c.searchString, c.verMin, c.verMax));
    EXPECT_EQ(c.found, item.foundTexts) << label;
    EXPECT_EQ(c.satisfied, item.satisfied) << label;
  }
}

TEST_F(FileSearchTest, FolderFromAFormattedReference) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QUILLON_SEARCH_FOLDER", folder_.Path().c_str()));
  const FoundItem item = RunOne(Entry(0, L"%QUILLON_SEARCH_FOLDER%\\lib.dll", L"1.0"));
  const FoundItem deep = RunOne(Entry(0, L"%QUILLON_SEARCH_FOLDER%\\deep.dll?2"));
  ::SetEnvironmentVariableW(L"QUILLON_SEARCH_FOLDER", nullptr);
  EXPECT_EQ(Texts({L"1.2.3.4"}), item.foundTexts);
  EXPECT_TRUE(item.satisfied);
  EXPECT_EQ(Texts({L"9.8.7.6"}), deep.foundTexts);
}

// A file of the test's own at the root of drive C:, the only fixed disk of the test prefix (Z: is a
// network drive there), and one two levels below it.
TEST(BareNameSearchTest, LooksAtTheRootOfEveryFixedDisk) {
  const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount());
  const std::wstring rootName = L"quillon-root-" + tag + L".dll";
  const std::wstring deepName = L"quillon-deep-" + tag + L".dll";
  const std::wstring top = L"C:\\quillon-bare-" + tag;
  ASSERT_TRUE(CopyFixture(kVersioned, L"C:\\" + rootName));
  ASSERT_TRUE(::CreateDirectoryW(top.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((top + L"\\inner").c_str(), nullptr));
  ASSERT_TRUE(CopyFixture(kDllVersion, top + L"\\inner\\" + deepName));

  EXPECT_EQ(Texts({L"1.2.3.4"}), RunOne(Entry(0, rootName)).foundTexts);
  EXPECT_EQ(Texts({L"1.2.3.4"}), RunOne(Entry(0, rootName + L"?1")).foundTexts);
  EXPECT_TRUE(RunOne(Entry(0, deepName)).foundTexts.empty());
  EXPECT_TRUE(RunOne(Entry(0, deepName + L"?1")).foundTexts.empty());
  EXPECT_EQ(Texts({L"9.8.7.6"}), RunOne(Entry(0, deepName + L"?2")).foundTexts);
  EXPECT_FALSE(RunOne(Entry(0, L"quillon-nowhere-" + tag + L".dll")).satisfied);

  ::DeleteFileW((L"C:\\" + rootName).c_str());
  testing::RemoveTree(top);
}

// 10,000 folders below 100 folders: the depth search ends, and of two matches it finds the one that
// comes first in the order the file system lists the folders.
TEST(DeepTreeSearchTest, FindsTheFirstMatchInListingOrder) {
  ScopedTempFolder tree;
  std::vector<std::wstring> outer;
  for (int i = 0; i < 100; ++i) {
    const std::wstring a = tree.File(L"d" + std::to_wstring(i));
    ASSERT_TRUE(::CreateDirectoryW(a.c_str(), nullptr));
    for (int j = 0; j < 100; ++j) ASSERT_TRUE(::CreateDirectoryW((a + L"\\e" + std::to_wstring(j)).c_str(), nullptr));
  }
  ASSERT_TRUE(CopyFixture(kVersioned, tree.File(L"d17\\e42\\target.dll")));
  ASSERT_TRUE(CopyFixture(kDllVersion, tree.File(L"d83\\e5\\target.dll")));

  // The listing order decides which outer folder is met first.
  std::wstring firstOuter;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW(tree.File(L"*").c_str(), &entry);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"d17" || name == L"d83") {
      firstOuter = name;
      break;
    }
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  const wchar_t* expected = firstOuter == L"d17" ? L"1.2.3.4" : L"9.8.7.6";

  EXPECT_EQ(Texts({expected}), RunOne(Entry(0, tree.File(L"target.dll?2"))).foundTexts);
  EXPECT_EQ(Texts({expected}), RunOne(Entry(0, tree.File(L"target.dll?999999"))).foundTexts);
  EXPECT_TRUE(RunOne(Entry(0, tree.File(L"target.dll?1"))).foundTexts.empty());
}

TEST(SubfolderNamesTest, ListsTheNamesInListingOrder) {
  ScopedTempFolder folder;
  for (const wchar_t* name : {L"4.0", L"2.0", L"notes"})
    ASSERT_TRUE(::CreateDirectoryW(folder.File(name).c_str(), nullptr));
  ASSERT_TRUE(testing::WriteBytes(folder.File(L"9.0"), "a file, not a folder"));
  std::vector<std::wstring> listed;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW(folder.File(L"*").c_str(), &entry);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  do {
    const std::wstring name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") listed.push_back(name);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);

  const FoundItem plain = RunOne(Entry(14, folder.Path()));
  EXPECT_EQ(listed, plain.foundTexts);
  EXPECT_EQ(3u, plain.foundTexts.size());
  EXPECT_TRUE(plain.satisfied);
  EXPECT_EQ(listed, RunOne(Entry(14, folder.Path() + L"\\")).foundTexts);
  EXPECT_TRUE(RunOne(Entry(14, folder.Path(), L"3")).satisfied);   // 4.0
  EXPECT_FALSE(RunOne(Entry(14, folder.Path(), L"5")).satisfied);  // the file 9.0 does not count
  EXPECT_FALSE(RunOne(Entry(14, folder.Path(), L"", L"1")).satisfied);

  for (const std::wstring& bad :
       {std::wstring(), folder.File(L"missing"), folder.File(L"9.0"), std::wstring(L"?"), std::wstring(65536, L'x')}) {
    const FoundItem item = RunOne(Entry(14, bad));
    EXPECT_TRUE(item.foundTexts.empty()) << bad.substr(0, 100);
    EXPECT_FALSE(item.satisfied) << bad.substr(0, 100);
  }
}

DWORD WINAPI SearchOnWorker(void* entry) {
  return RunOne(*static_cast<SearchEntry*>(entry), true).foundTexts.empty() ? 1 : 0;
}

// The 64-bit system folder through the system folder's name: only with x, and only while the search
// runs. Files the test adds to the prefix's system folders are its own and removed again.
TEST(RedirectionTest, TheSwitchReadsTheNativeSystemFolder) {
  if (!GetOsInfo().is64BitWindows) GTEST_SKIP() << "only 64-bit Windows redirects the system folder";
  const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount());
  const std::wstring name = L"quillon-native-" + tag + L".dll";
  const std::wstring folderName = L"quillon-native-" + tag;
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring native = std::wstring(windows) + L"\\sysnative\\";
  const std::wstring system = std::wstring(windows) + L"\\system32\\";
  ASSERT_TRUE(CopyFixture(kVersioned, native + name));
  ASSERT_TRUE(::CreateDirectoryW((native + folderName).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((native + folderName + L"\\child").c_str(), nullptr));

  EXPECT_EQ(Texts({L"1.2.3.4"}), RunOne(Entry(0, system + name), true).foundTexts);
  EXPECT_TRUE(RunOne(Entry(0, system + name), false).foundTexts.empty());
  EXPECT_EQ(Texts({L"child"}), RunOne(Entry(14, system + folderName), true).foundTexts);
  EXPECT_TRUE(RunOne(Entry(14, system + folderName), false).foundTexts.empty());
  // Redirection is back on for this thread afterwards.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((system + name).c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((native + name).c_str()));

  // Another thread's search leaves this thread's redirection alone.
  SearchEntry workerEntry = Entry(0, system + name);
  HANDLE worker = ::CreateThread(nullptr, 0, SearchOnWorker, &workerEntry, 0, nullptr);
  ASSERT_NE(nullptr, worker);
  ::WaitForSingleObject(worker, INFINITE);
  DWORD workerResult = 2;
  ::GetExitCodeThread(worker, &workerResult);
  ::CloseHandle(worker);
  EXPECT_EQ(0u, workerResult);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((system + name).c_str()));

  ::DeleteFileW((native + name).c_str());
  testing::RemoveTree(native + folderName);
}

}  // namespace
}  // namespace quillon
