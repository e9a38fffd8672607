#include "platform/core/Files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/Holders.h"
#include "platform/core/Paths.h"
#include "tests/support/ScopedNetworkShare.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using testing::ScopedNetworkShare;
using testing::ScopedTempFolder;
using testing::WriteBytes;

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(ToLongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(ToLongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool MakeFolder(const std::wstring& path) { return ::CreateDirectoryW(ToLongPath(path).c_str(), nullptr) != FALSE; }

// `base` followed by components of `width` characters until the path is at least `length` long.
std::wstring DeepPath(const std::wstring& base, size_t length, size_t width = 20) {
  std::wstring path = base;
  for (wchar_t letter = L'a'; path.size() < length; letter = letter == L'z' ? L'a' : letter + 1) {
    path += L'\\';
    path += std::wstring(width, letter);
  }
  return path;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// The current directory for one scope.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::wstring& folder) {
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    previous_ = previous;
    ::SetCurrentDirectoryW(folder.c_str());
  }
  ~ScopedCurrentDirectory() { ::SetCurrentDirectoryW(previous_.c_str()); }

 private:
  std::wstring previous_;
};

TEST(FilesTest, GetFileTimeAndSizeCodes) {
  ScopedTempFolder temp;
  ASSERT_TRUE(WriteBytes(temp.File(L"five.bin"), "12345"));
  ASSERT_TRUE(MakeFolder(temp.File(L"folder")));
  // A file that exists relative to the current directory: a relative path must not find it.
  ASSERT_TRUE(WriteBytes(temp.File(L"relative.txt"), "x"));
  ScopedCurrentDirectory current(temp.Path());

  const struct {
    std::wstring path;
    DWORD code;
  } kCases[] = {
      {L"", ERROR_INVALID_PARAMETER},
      {L"C", ERROR_PATH_NOT_FOUND},
      {L"relative.txt", ERROR_PATH_NOT_FOUND},
      {L".\\relative.txt", ERROR_PATH_NOT_FOUND},
      {L"\\relative.txt", ERROR_PATH_NOT_FOUND},
      {temp.File(L"missing.txt"), ERROR_FILE_NOT_FOUND},
      {temp.File(L"missing\\file.txt"), ERROR_PATH_NOT_FOUND},
      {temp.File(L"five.bin"), 0},
      {temp.File(L"folder"), 0},
      {L"\\\\?\\" + temp.File(L"five.bin"), 0},
  };
  for (const auto& c : kCases) {
    FILETIME time{0x1111, 0x2222};
    uint32_t size = 0xDEADBEEF;
    EXPECT_EQ(c.code, GetFileTimeAndSize(c.path, time, size)) << c.path;
    EXPECT_EQ(c.code == 0, PathExists(c.path)) << c.path;
    if (c.code != 0) {  // the outputs are left alone on failure
      EXPECT_EQ(0xDEADBEEFu, size) << c.path;
      EXPECT_TRUE(SameTime(FILETIME{0x1111, 0x2222}, time)) << c.path;
    }
  }
}

TEST(FilesTest, GetFileTimeAndSizeGivesTheLastWriteTimeAndTheLowSizeWord) {
  ScopedTempFolder temp;
  const std::wstring path = temp.File(L"big.bin");
  ASSERT_TRUE(WriteBytes(path, "12345"));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  FILETIME time{};
  uint32_t size = 0;
  ASSERT_EQ(0u, GetFileTimeAndSize(path, time, size));
  EXPECT_EQ(5u, size);
  EXPECT_TRUE(SameTime(data.ftLastWriteTime, time));

  {  // 4 GiB and 7 bytes; the file stays sparse, nothing is written
    KernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    LARGE_INTEGER end;
    end.QuadPart = 0x100000007LL;
    ASSERT_TRUE(::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.Get()));
  }
  ASSERT_EQ(0u, GetFileTimeAndSize(path, time, size));
  EXPECT_EQ(7u, size);
}

TEST(FilesTest, CreateFolderChainOfAnExistingPathCreatesNothing) {
  ScopedTempFolder temp;
  ASSERT_TRUE(WriteBytes(temp.File(L"file.txt"), "x"));
  for (const std::wstring& path : {temp.Path(), temp.File(L"file.txt")}) {
    for (bool lastIsFolder : {false, true}) {
      std::vector<std::wstring> created{L"earlier"};
      EXPECT_EQ(0u, CreateFolderChain(path, lastIsFolder, &created)) << path;
      EXPECT_EQ(std::vector<std::wstring>{L"earlier"}, created) << path;
    }
  }
  EXPECT_TRUE(IsFile(temp.File(L"file.txt")));
}

TEST(FilesTest, CreateFolderChainCreatesAndListsOnlyTheMissingFolders) {
  ScopedTempFolder temp;
  ASSERT_TRUE(MakeFolder(temp.File(L"there")));
  const std::wstring& t = temp.Path();
  const struct {
    std::wstring path;
    bool lastIsFolder;
    std::vector<std::wstring> created;
  } kCases[] = {
      // A file path: the folders above the file only.
      {t + L"\\a\\b\\setup.exe", false, {t + L"\\a", t + L"\\a\\b"}},
      {t + L"\\c\\d", true, {t + L"\\c", t + L"\\c\\d"}},
      {t + L"\\there\\e\\f", true, {t + L"\\there\\e", t + L"\\there\\e\\f"}},
      // A trailing backslash gives an empty last component: the same folders either way.
      {t + L"\\g\\h\\", false, {t + L"\\g", t + L"\\g\\h"}},
      {t + L"\\i\\", true, {t + L"\\i"}},
      {t + L"\\j", false, {}},
      {L"\\\\?\\" + t + L"\\k\\l", true, {L"\\\\?\\" + t + L"\\k", L"\\\\?\\" + t + L"\\k\\l"}},
  };
  for (const auto& c : kCases) {
    std::vector<std::wstring> created;
    EXPECT_EQ(0u, CreateFolderChain(c.path, c.lastIsFolder, &created)) << c.path;
    EXPECT_EQ(c.created, created) << c.path;
    for (const std::wstring& folder : created) EXPECT_TRUE(IsFolder(folder)) << folder;
  }
  EXPECT_FALSE(PathExists(t + L"\\a\\b\\setup.exe"));
  EXPECT_FALSE(PathExists(t + L"\\j"));
  EXPECT_EQ(0u, CreateFolderChain(t + L"\\m\\n", true, nullptr));  // no list wanted
  EXPECT_TRUE(IsFolder(t + L"\\m\\n"));
}

TEST(FilesTest, CreateFolderChainRefusesEmptyAndRelativePaths) {
  ScopedTempFolder temp;
  ScopedCurrentDirectory current(temp.Path());
  std::vector<std::wstring> created;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), CreateFolderChain(L"", true, &created));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), CreateFolderChain(L"rel\\x", true, &created));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), CreateFolderChain(L"\\rooted\\x", true, &created));
  EXPECT_TRUE(created.empty());
  EXPECT_FALSE(PathExists(temp.File(L"rel")));
}

TEST(FilesTest, CreateFolderChainStopsAtALocalFailureAndUndoesOneLevel) {
  ScopedTempFolder temp;
  const std::wstring& t = temp.Path();
  ASSERT_TRUE(WriteBytes(temp.File(L"file.txt"), "x"));
  ASSERT_TRUE(MakeFolder(temp.File(L"kept")));
  const struct {
    std::wstring path;
    DWORD code;
    std::vector<std::wstring> created;  // what is listed, and still there, afterwards
    std::vector<std::wstring> gone;     // created by the call, then removed again
  } kCases[] = {
      // A component that is an existing file: nothing can be created below it.
      {t + L"\\file.txt\\sub\\x", ERROR_PATH_NOT_FOUND, {}, {}},
      // A name the file system refuses: the folder created just above it is removed again.
      {t + L"\\new\\bad<name\\x", ERROR_INVALID_NAME, {}, {t + L"\\new"}},
      // Only one level is undone.
      {t + L"\\n1\\n2\\bad|name", ERROR_INVALID_NAME, {t + L"\\n1"}, {t + L"\\n1\\n2"}},
      // A folder that was there before is never removed, even when it is empty.
      {t + L"\\kept\\bad?name", ERROR_INVALID_NAME, {}, {}},
  };
  for (const auto& c : kCases) {
    std::vector<std::wstring> created;
    EXPECT_EQ(c.code, CreateFolderChain(c.path, true, &created)) << c.path;
    EXPECT_EQ(c.created, created) << c.path;
    for (const std::wstring& folder : c.created) EXPECT_TRUE(IsFolder(folder)) << folder;
    for (const std::wstring& folder : c.gone) EXPECT_FALSE(PathExists(folder)) << folder;
  }
  EXPECT_TRUE(IsFile(temp.File(L"file.txt")));
  EXPECT_TRUE(IsFolder(temp.File(L"kept")));
  // The first component after the root: there is no folder of ours to undo, and the drive stays.
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), CreateFolderChain(L"C:\\bad<name\\x", true, nullptr));
  EXPECT_TRUE(IsFolder(L"C:\\windows"));
}

TEST(FilesTest, CreateFolderChainOnANetworkPathGoesOnAndEnds) {
  // The server and share cannot be created; the chain goes on and reports the last failure.
  for (const std::wstring path :
       {L"\\\\127.0.0.1\\share\\a\\b", L"\\\\?\\UNC\\127.0.0.1\\share\\a", L"\\\\127.0.0.1\\share"}) {
    std::vector<std::wstring> created;
    const DWORD code = CreateFolderChain(path, true, &created);
    EXPECT_NE(0u, code) << path;
    EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), code) << path;
    EXPECT_TRUE(created.empty()) << path;
  }
}

TEST(FilesTest, NetworkPathsOnAShare) {
  ScopedNetworkShare share;
  if (!share.IsAvailable()) GTEST_SKIP() << "needs Wine's dosdevices\\unc folder";
  const std::wstring& s = share.Path();

  std::vector<std::wstring> created;
  EXPECT_EQ(0u, CreateFolderChain(s + L"\\a\\b\\package.msi", false, &created));
  EXPECT_EQ((std::vector<std::wstring>{s + L"\\a", s + L"\\a\\b"}), created);  // the share is no folder of ours
  EXPECT_TRUE(IsFolder(s + L"\\a\\b"));
  EXPECT_TRUE(PathExists(s + L"\\a\\b"));
  std::vector<std::wstring> subfolders;
  EXPECT_TRUE(ListSubfolders(s, subfolders));
  EXPECT_EQ(std::vector<std::wstring>{s + L"\\a"}, subfolders);

  // A failure does not stop the chain, and nothing is undone (on a local path "made" would go).
  created.clear();
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), CreateFolderChain(s + L"\\made\\bad<name\\x", true, &created));
  EXPECT_EQ(std::vector<std::wstring>{s + L"\\made"}, created);
  EXPECT_TRUE(IsFolder(s + L"\\made"));
  ASSERT_TRUE(testing::WriteBytes(s + L"\\file.txt", "x"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), CreateFolderChain(s + L"\\file.txt\\x\\y", true, nullptr));
  ASSERT_TRUE(::DeleteFileW((s + L"\\file.txt").c_str()));

  // Beyond 260 characters the network form "\\?\UNC\" is used.
  const std::wstring deep = DeepPath(s + L"\\long", 400);
  ASSERT_EQ(0, ToLongPath(deep).compare(0, 18, L"\\\\?\\UNC\\127.0.0.1\\"));
  created.clear();
  ASSERT_EQ(0u, CreateFolderChain(deep, true, &created));
  EXPECT_EQ(SplitPath(deep).size() - 2, created.size());
  EXPECT_TRUE(PathExists(deep));
  EXPECT_TRUE(PathExists(ToLongPath(deep)));
  ASSERT_TRUE(testing::WriteBytes(ToLongPath(deep + L"\\f.txt"), "abcd"));
  FILETIME time;
  uint32_t size = 0;
  EXPECT_EQ(0u, GetFileTimeAndSize(deep + L"\\f.txt", time, size));
  EXPECT_EQ(4u, size);
  subfolders.clear();
  EXPECT_FALSE(ListSubfolders(deep, subfolders));

  // A long network path is removed through its "\\?\UNC\" form, whichever form it is given in.
  ASSERT_TRUE(::DeleteFileW(ToLongPath(deep + L"\\f.txt").c_str()));
  EXPECT_TRUE(RemoveFolderLong(deep));
  EXPECT_FALSE(PathExists(deep));
  EXPECT_TRUE(RemoveFolderLong(ToLongPath(GetFolderPart(deep))));
  EXPECT_FALSE(PathExists(GetFolderPart(deep)));

  // The long form of the path meets the short form of the stop folder; the share stays.
  RemoveEmptyParents(ToLongPath(deep), s);
  EXPECT_FALSE(PathExists(s + L"\\long"));
  RemoveEmptyParents(s + L"\\a\\b", s);
  RemoveEmptyParents(s + L"\\made", s);
  subfolders.clear();
  EXPECT_FALSE(ListSubfolders(s, subfolders));
  EXPECT_TRUE(PathExists(s));
}

TEST(FilesTest, FoldersBeyondTwoHundredSixtyCharacters) {
  ScopedTempFolder temp;
  const std::wstring deep = DeepPath(temp.Path(), 400);
  ASSERT_GE(deep.size(), 400u);
  std::vector<std::wstring> created;
  ASSERT_EQ(0u, CreateFolderChain(deep, true, &created));
  EXPECT_EQ(SplitPath(deep).size() - SplitPath(temp.Path()).size(), created.size());
  for (const std::wstring& folder : created) EXPECT_TRUE(IsFolder(folder)) << folder.size();
  EXPECT_TRUE(PathExists(deep));
  EXPECT_TRUE(PathExists(ToLongPath(deep)));
  EXPECT_TRUE(PathExists(WithLongPrefix(deep)));

  ASSERT_TRUE(WriteBytes(ToLongPath(deep + L"\\file.bin"), "abc"));
  FILETIME time;
  uint32_t size = 0;
  EXPECT_EQ(0u, GetFileTimeAndSize(deep + L"\\file.bin", time, size));
  EXPECT_EQ(3u, size);

  // A file path below it creates the missing folders above the file.
  const std::wstring filePath = deep + L"\\x\\y\\package.msi";
  created.clear();
  ASSERT_EQ(0u, CreateFolderChain(filePath, false, &created));
  EXPECT_EQ((std::vector<std::wstring>{deep + L"\\x", deep + L"\\x\\y"}), created);

  std::vector<std::wstring> subfolders;
  EXPECT_TRUE(ListSubfolders(deep, subfolders));
  EXPECT_EQ(std::vector<std::wstring>{deep + L"\\x"}, subfolders);

  EXPECT_FALSE(RemoveFolderLong(deep));  // holds file.bin and x
  EXPECT_TRUE(RemoveFolderLong(deep + L"\\x\\y"));
  EXPECT_FALSE(PathExists(deep + L"\\x\\y"));

  // Everything up to the temporary folder goes once it is empty; the stop folder itself stays.
  ASSERT_TRUE(::DeleteFileW(ToLongPath(deep + L"\\file.bin").c_str()));
  RemoveEmptyParents(deep + L"\\x", temp.Path());
  EXPECT_FALSE(PathExists(created.front()));
  EXPECT_FALSE(PathExists(temp.Path() + L"\\aaaaaaaaaaaaaaaaaaaa"));
  EXPECT_TRUE(IsFolder(temp.Path()));
}

TEST(FilesTest, OverlongPathsFailWithoutHarm) {
  ScopedTempFolder temp;
  // 32,000 characters in components of 200: the file system gives up somewhere down the chain.
  // Whatever it manages is listed and really there, and can be removed again.
  const std::wstring deep = DeepPath(temp.Path(), 32000, 200);
  std::vector<std::wstring> created;
  const DWORD code = CreateFolderChain(deep, true, &created);
  if (code == 0) {
    EXPECT_TRUE(PathExists(deep));
  } else {
    EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), code);
    EXPECT_FALSE(PathExists(deep));
  }
  for (size_t i = 0; i < created.size(); ++i) {
    EXPECT_TRUE(IsFolder(created[i])) << i;
    if (i > 0) {
      EXPECT_EQ(created[i - 1], GetFolderPart(created[i])) << i;
    }
  }
  if (!created.empty()) RemoveEmptyParents(created.back(), temp.Path());
  std::vector<std::wstring> left;
  EXPECT_FALSE(ListSubfolders(temp.Path(), left));

  // One component of 32,000 characters, and a path beyond what the system takes at all.
  for (const std::wstring& path : {temp.Path() + L"\\" + std::wstring(32000, L'n'), DeepPath(temp.Path(), 40000)}) {
    created.clear();
    EXPECT_NE(0u, CreateFolderChain(path, true, &created)) << path.size();
    EXPECT_FALSE(PathExists(path)) << path.size();
    for (auto folder = created.rbegin(); folder != created.rend(); ++folder) RemoveFolderLong(*folder);
  }
  EXPECT_FALSE(ListSubfolders(temp.Path(), left));
  const std::wstring overlong = temp.Path() + L"\\" + std::wstring(32000, L'f');
  EXPECT_EQ(overlong, GetFinalPath(overlong));
  EXPECT_FALSE(RemoveFolderLong(overlong));
  RemoveEmptyParents(overlong, temp.Path());
  EXPECT_TRUE(IsFolder(temp.Path()));
}

TEST(FilesTest, RemoveFolderLongRemovesOnlyEmptyFolders) {
  ScopedTempFolder temp;
  ASSERT_TRUE(MakeFolder(temp.File(L"empty")));
  ASSERT_TRUE(MakeFolder(temp.File(L"full")));
  ASSERT_TRUE(WriteBytes(temp.File(L"full\\f.txt"), "x"));
  ASSERT_TRUE(WriteBytes(temp.File(L"file.txt"), "x"));
  EXPECT_TRUE(RemoveFolderLong(temp.File(L"empty")));
  EXPECT_FALSE(PathExists(temp.File(L"empty")));
  EXPECT_FALSE(RemoveFolderLong(temp.File(L"full")));
  EXPECT_TRUE(IsFolder(temp.File(L"full")));
  EXPECT_FALSE(RemoveFolderLong(temp.File(L"file.txt")));
  EXPECT_TRUE(IsFile(temp.File(L"file.txt")));
  EXPECT_FALSE(RemoveFolderLong(temp.File(L"missing")));
  EXPECT_FALSE(RemoveFolderLong(L""));
}

TEST(FilesTest, RemoveEmptyParentsClimbsWhileEmptyAndNeverRemovesTheStopFolder) {
  const struct {
    const wchar_t* name;
    std::vector<std::wstring> folders;  // below the stop folder, created first
    std::vector<std::wstring> files;
    std::wstring start;                 // relative to the stop folder
    std::wstring stopSuffix;            // appended to the stop folder's path
    std::vector<std::wstring> remaining;
  } kCases[] = {
      {L"all empty", {L"a", L"a\\b", L"a\\b\\c"}, {}, L"a\\b\\c", L"", {}},
      {L"stop with backslash", {L"a", L"a\\b"}, {}, L"a\\b", L"\\", {}},
      {L"start with backslash", {L"a", L"a\\b"}, {}, L"a\\b\\", L"", {}},
      {L"a file above", {L"a", L"a\\b", L"a\\b\\c"}, {L"a\\keep.txt"}, L"a\\b\\c", L"", {L"a"}},
      {L"start not empty", {L"a", L"a\\b"}, {L"a\\b\\keep.txt"}, L"a\\b", L"", {L"a", L"a\\b"}},
      {L"a file path", {L"a", L"a\\b"}, {}, L"a\\b\\deleted.txt", L"", {}},
      {L"siblings stay", {L"a", L"a\\b", L"a\\s"}, {}, L"a\\b", L"", {L"a", L"a\\s"}},
  };
  for (const auto& c : kCases) {
    ScopedTempFolder temp;
    for (const std::wstring& folder : c.folders) ASSERT_TRUE(MakeFolder(temp.File(folder))) << c.name;
    for (const std::wstring& file : c.files) ASSERT_TRUE(WriteBytes(temp.File(file), "x")) << c.name;
    RemoveEmptyParents(temp.File(c.start), temp.Path() + c.stopSuffix);
    for (const std::wstring& folder : c.folders) {
      const bool kept = std::find(c.remaining.begin(), c.remaining.end(), folder) != c.remaining.end();
      EXPECT_EQ(kept, IsFolder(temp.File(folder))) << c.name << L": " << folder;
    }
    EXPECT_TRUE(IsFolder(temp.Path())) << c.name;
  }
}

TEST(FilesTest, RemoveEmptyParentsStaysInsideTheStopFolder) {
  ScopedTempFolder temp;
  const std::wstring stop = temp.File(L"stop");
  const std::wstring other = temp.File(L"other");
  ASSERT_TRUE(MakeFolder(stop));
  ASSERT_TRUE(MakeFolder(other));
  ASSERT_TRUE(MakeFolder(other + L"\\x"));
  ASSERT_TRUE(MakeFolder(temp.File(L"stopper")));

  RemoveEmptyParents(other + L"\\x", stop);             // longer than the stop folder, not below it
  RemoveEmptyParents(temp.File(L"stopper"), stop);      // shares the stop folder's text as a prefix
  RemoveEmptyParents(stop, stop);                       // the stop folder itself
  RemoveEmptyParents(stop + L"\\", stop);
  RemoveEmptyParents(other + L"\\x", L"");              // no stop folder at all
  EXPECT_TRUE(IsFolder(other + L"\\x"));
  EXPECT_TRUE(IsFolder(temp.File(L"stopper")));
  EXPECT_TRUE(IsFolder(stop));

  // The long form of the path and a stop folder in other letter case still meet; the (empty) stop
  // folder stays.
  ASSERT_TRUE(MakeFolder(stop + L"\\y"));
  std::wstring upperStop = stop;
  std::transform(upperStop.begin(), upperStop.end(), upperStop.begin(), ::towupper);
  RemoveEmptyParents(L"\\\\?\\" + stop + L"\\y", upperStop);
  EXPECT_FALSE(PathExists(stop + L"\\y"));
  EXPECT_TRUE(IsFolder(stop));
}

TEST(FilesTest, ListSubfoldersAppendsFullPathsOfFoldersOnly) {
  ScopedTempFolder temp;
  ASSERT_TRUE(MakeFolder(temp.File(L"d1")));
  ASSERT_TRUE(MakeFolder(temp.File(L"d2")));
  ASSERT_TRUE(MakeFolder(temp.File(L"d2\\inner")));
  ASSERT_TRUE(WriteBytes(temp.File(L"file.txt"), "x"));
  ASSERT_TRUE(MakeFolder(temp.File(L"files")));
  ASSERT_TRUE(WriteBytes(temp.File(L"files\\f.txt"), "x"));

  for (const std::wstring& folder : {temp.Path(), temp.Path() + L"\\"}) {
    std::vector<std::wstring> list{L"earlier"};
    EXPECT_TRUE(ListSubfolders(folder, list)) << folder;
    std::sort(list.begin() + 1, list.end());
    EXPECT_EQ((std::vector<std::wstring>{L"earlier", temp.File(L"d1"), temp.File(L"d2"), temp.File(L"files")}), list)
        << folder;
  }
  std::vector<std::wstring> list;
  EXPECT_FALSE(ListSubfolders(temp.File(L"files"), list));
  EXPECT_FALSE(ListSubfolders(temp.File(L"missing"), list));
  EXPECT_FALSE(ListSubfolders(temp.File(L"file.txt"), list));
  EXPECT_TRUE(list.empty());
}

TEST(FilesTest, GetFinalPathNamesTheFileOrGivesThePathBack) {
  ScopedTempFolder temp;
  const std::wstring file = temp.File(L"Final.txt");
  ASSERT_TRUE(WriteBytes(file, "x"));
  ASSERT_TRUE(MakeFolder(temp.File(L"folder")));

  // The name as the disk spells it, asked for in another letter case.
  std::wstring asked = file;
  std::transform(asked.begin(), asked.end(), asked.begin(), ::towlower);
  const std::wstring finalPath = GetFinalPath(asked);
  ASSERT_TRUE(HasLongPrefix(finalPath)) << finalPath;
  EXPECT_EQ(CSTR_EQUAL, ::CompareStringOrdinal(finalPath.c_str(), -1, (L"\\\\?\\" + file).c_str(), -1, TRUE))
      << finalPath;
  EXPECT_EQ(L"Final.txt", GetFileNamePart(finalPath));

  const std::wstring deepFile = DeepPath(temp.Path(), 300) + L"\\f.txt";
  ASSERT_EQ(0u, CreateFolderChain(deepFile, false, nullptr));
  ASSERT_TRUE(WriteBytes(ToLongPath(deepFile), "x"));

  const std::wstring unchanged[] = {temp.File(L"missing.txt"), temp.File(L"folder"), deepFile, L"", L"relative.txt"};
  for (const std::wstring& path : unchanged) EXPECT_EQ(path, GetFinalPath(path)) << path;

  // Held open by someone else: it cannot be opened without sharing.
  KernelHandle holder(
      ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.IsValid());
  EXPECT_EQ(file, GetFinalPath(file));
}

}  // namespace
}  // namespace quillon
