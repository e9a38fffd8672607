#include "platform/core/Paths.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(PathsTest, FolderAndFileParts) {
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
    const wchar_t* file;
  } kCases[] = {
      {L"C:\\a\\b.exe", L"C:\\a", L"b.exe"}, {L"b.exe", L"", L"b.exe"}, {L"", L"", L""},
      {L"C:\\a\\", L"C:\\a", L""},           {L"\\\\s\\sh", L"\\\\s", L"sh"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.folder, GetFolderPart(c.path)) << c.path;
    EXPECT_EQ(c.file, GetFileNamePart(c.path)) << c.path;
  }
  EXPECT_EQ(L"", EnsureTrailingBackslash(L""));
  EXPECT_EQ(L"C:\\", EnsureTrailingBackslash(L"C:"));
  EXPECT_EQ(L"C:\\", EnsureTrailingBackslash(L"C:\\"));
}

TEST(PathsTest, SplitPathKeepsRootAndPrefixTogether) {
  const struct {
    const wchar_t* path;
    std::vector<std::wstring> components;
  } kCases[] = {
      {L"C:\\a\\b", {L"C:", L"a", L"b"}},
      {L"\\\\server\\share\\x", {L"\\\\server", L"share", L"x"}},
      {L"\\\\?\\C:\\a", {L"\\\\?\\C:", L"a"}},
      {L"\\\\?\\UNC\\server\\share", {L"\\\\?\\UNC\\server", L"share"}},
      {L"file", {L"file"}},
      {L"C:\\a\\", {L"C:", L"a", L""}},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.components, SplitPath(c.path)) << c.path;
}

TEST(PathsTest, NormalizePathTrimsComponentsAndRespectsPropertyReferences) {
  const struct {
    const wchar_t* path;
    const wchar_t* normalized;
  } kCases[] = {
      {L"C:\\a. \\b..", L"C:\\a\\b"},
      {L"[ProgramFilesFolder]Vendor\\App ", L"[ProgramFilesFolder]Vendor\\App"},
      {L"[TempFolder]\\x", L"[TempFolder]x"},  // the property brings its own backslash
      {L"C:\\a\\", L"C:\\a\\"},
      {L"", L""},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.normalized, NormalizePath(c.path)) << c.path;
}

TEST(PathsTest, WithLongPrefixFromTwoHundredSixty) {
  const std::wstring short259 = L"C:\\" + std::wstring(256, L'a');
  const std::wstring long260 = short259 + L"b";
  const std::wstring network260 = L"\\\\" + std::wstring(258, L'n');
  EXPECT_EQ(short259, WithLongPrefix(short259));
  EXPECT_EQ(L"\\\\?\\" + long260, WithLongPrefix(long260));
  EXPECT_EQ(L"\\\\?\\" + network260, WithLongPrefix(network260));
  EXPECT_EQ(L"\\\\?\\" + long260, WithLongPrefix(L"\\\\?\\" + long260));
}

TEST(PathsTest, ToLongPathFromTwoHundredFortyEightAndAwareOfNetworkPaths) {
  const std::wstring drive247 = L"C:\\" + std::wstring(244, L'a');
  const std::wstring drive248 = drive247 + L"b";
  const std::wstring network300 = L"\\\\server\\share\\" + std::wstring(285, L'n');
  const std::wstring relative300(300, L'r');
  const std::wstring rooted300 = L"\\" + std::wstring(299, L'r');  // no drive: not absolute
  const std::wstring device300 = L"\\\\.\\" + std::wstring(296, L'd');
  const struct {
    std::wstring path;
    std::wstring longPath;
  } kCases[] = {
      {drive247, drive247},
      {drive248, L"\\\\?\\" + drive248},
      {network300, L"\\\\?\\UNC\\" + network300.substr(2)},
      {L"\\\\?\\" + drive248, L"\\\\?\\" + drive248},
      {L"\\\\?\\UNC\\" + network300.substr(2), L"\\\\?\\UNC\\" + network300.substr(2)},
      {L"\\\\?\\C:\\" + std::wstring(300, L'x'), L"\\\\?\\C:\\" + std::wstring(300, L'x')},
      {relative300, relative300},
      {rooted300, rooted300},
      {device300, device300},
      {L"", L""},
      {L"\\\\s\\x", L"\\\\s\\x"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.longPath, ToLongPath(c.path)) << c.path.size() << L" " << c.path.substr(0, 12);
    EXPECT_EQ(c.longPath, ToLongPath(ToLongPath(c.path))) << L"applied twice: " << c.path.substr(0, 12);
  }
}

TEST(PathsTest, FromLongPathUndoesBothPrefixes) {
  const struct {
    const wchar_t* path;
    const wchar_t* shortPath;
  } kCases[] = {
      {L"\\\\?\\UNC\\server\\share\\f", L"\\\\server\\share\\f"},
      {L"\\\\?\\C:\\a\\b", L"C:\\a\\b"},
      {L"C:\\a", L"C:\\a"},
      {L"\\\\server\\share", L"\\\\server\\share"},
      {L"\\\\?\\", L""},
      {L"\\\\?\\UNC\\", L"\\\\"},
      {L"\\\\?", L"\\\\?"},
      {L"", L""},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.shortPath, FromLongPath(c.path)) << c.path;

  const std::wstring network300 = L"\\\\server\\share\\" + std::wstring(285, L'n');
  const std::wstring drive300 = L"D:\\" + std::wstring(297, L'd');
  EXPECT_EQ(network300, FromLongPath(ToLongPath(network300)));
  EXPECT_EQ(drive300, FromLongPath(ToLongPath(drive300)));
}

TEST(PathsTest, WithLongPrefixLeavesShortAndPrefixedPathsAlone) {
  EXPECT_EQ(L"C:\\a", WithLongPrefix(L"C:\\a"));
  EXPECT_EQ(L"", WithLongPrefix(L""));
  const std::wstring relative260(260, L'r');  // rule B does not ask whether the path is absolute
  EXPECT_EQ(L"\\\\?\\" + relative260, WithLongPrefix(relative260));
}

TEST(PathsTest, NormalizeSlashesCountsWhatItTurns) {
  const struct {
    const wchar_t* path;
    const wchar_t* normalized;
    size_t changed;
  } kCases[] = {
      {L"C:/a/b\\c", L"C:\\a\\b\\c", 2}, {L"C:\\a", L"C:\\a", 0}, {L"", L"", 0}, {L"//s/x", L"\\\\s\\x", 3},
  };
  for (const auto& c : kCases) {
    std::wstring path = c.path;
    EXPECT_EQ(c.changed, NormalizeSlashes(path)) << c.path;
    EXPECT_EQ(c.normalized, path) << c.path;
  }
}

TEST(PathsTest, AbsoluteAndNetworkPaths) {
  const struct {
    const wchar_t* path;
    bool absolute;
    bool network;
  } kCases[] = {
      {L"C:\\a", true, false},
      {L"z:", true, false},
      {L"\\\\server\\share", true, true},
      {L"\\\\?\\C:\\a", true, false},
      {L"\\\\?\\UNC\\server\\share", true, true},
      {L"\\\\.\\pipe\\x", true, false},
      {L"\\a", false, false},
      {L"a\\b", false, false},
      {L"1:\\a", false, false},
      {L"C", false, false},
      {L"", false, false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.absolute, IsAbsolutePath(c.path)) << c.path;
    EXPECT_EQ(c.network, IsNetworkPath(c.path)) << c.path;
  }
}

TEST(PathsTest, HasLongPrefixIsExactAndCaseSensitive) {
  EXPECT_TRUE(HasLongPrefix(L"\\\\?\\C:\\a"));
  EXPECT_TRUE(HasLongPrefix(L"\\\\?\\UNC\\s\\x"));
  EXPECT_FALSE(HasLongPrefix(L"\\\\.\\C:\\a"));
  EXPECT_FALSE(HasLongPrefix(L"\\\\?"));
  EXPECT_FALSE(HasLongPrefix(L"C:\\a"));
  // Only the exact upper-case form is a network prefix; any other is the local prefix with a folder.
  EXPECT_EQ((std::vector<std::wstring>{L"\\\\?\\unc", L"server", L"share"}), SplitPath(L"\\\\?\\unc\\server\\share"));
}

TEST(PathsTest, NormalizePathKeepsLongAndNetworkRoots) {
  const struct {
    const wchar_t* path;
    const wchar_t* normalized;
  } kCases[] = {
      {L"\\\\server\\share. \\dir.", L"\\\\server\\share\\dir"},
      {L"\\\\?\\C:\\a \\b", L"\\\\?\\C:\\a\\b"},
      {L"\\\\?\\UNC\\server\\share\\x..", L"\\\\?\\UNC\\server\\share\\x"},
      {L"no-backslash. ", L"no-backslash"},
      {L"C:\\[Folder]\\x", L"C:\\[Folder]x"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.normalized, NormalizePath(c.path)) << c.path;
}

}  // namespace
}  // namespace quillon
