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

}  // namespace
}  // namespace quillon
