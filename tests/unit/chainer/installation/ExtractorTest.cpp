#include "chainer/installation/Extractor.h"

#include <gtest/gtest.h>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

TEST(ExtractorTest, SetupFileLocationsResolveBesideTheChainerOrUnderTheExtractionFolder) {
  const struct {
    const wchar_t* extractionFolder;
    const wchar_t* location;
    const wchar_t* path;
  } kCases[] = {
      {L"", L"pkg\\setup.exe", L"C:\\app\\pkg\\setup.exe"},
      {L"D:\\ex\\", L"pkg\\setup.exe", L"D:\\ex\\pkg\\setup.exe"},
      {L"D:\\ex", L"p.msi", L"D:\\ex\\p.msi"},
      {L"D:\\ex\\", L"E:\\full\\p.msi", L"E:\\full\\p.msi"},
      {L"", L"\\\\server\\share\\p.exe", L"\\\\server\\share\\p.exe"},
      {L"", L"\\rooted.exe", L"C:\\app\\\\rooted.exe"},  // Windows reads the doubled backslash as one
      {L"", L"x", L"C:\\app\\x"},
      {L"", L"", L"C:\\app\\"},
      {L"", L"C", L"C:\\app\\C"},  // one character is never a full path
      {L"", L"C:", L"C:"},  // a drive and colon is
      {L"", L"x:rel.exe", L"x:rel.exe"},
      {L"", L"\\\\", L"\\\\"},
      {L"D:\\ex\\", L"\\\\?\\C:\\long.exe", L"\\\\?\\C:\\long.exe"},
      {L"", L"/fwd/p.exe", L"C:\\app\\/fwd/p.exe"},  // slashes are left as they are
  };
  for (const auto& c : kCases) {
    Extractor extractor;
    extractor.archivePath = L"C:\\app\\setup.exe";
    extractor.extractionFolder = c.extractionFolder;
    extractor.flags = 3;
    std::wstring path;
    EXPECT_EQ(-1, extractor.FindPackedFile(c.location, path)) << c.location;
    EXPECT_EQ(c.path, path) << c.location;
  }
}

TEST(ExtractorTest, ResolvesBesideTheChainerWhateverTheFlags) {
  Extractor extractor;
  extractor.archivePath = L"C:\\app\\setup.exe";
  std::wstring path = L"earlier";
  EXPECT_EQ(-1, extractor.FindPackedFile(L"p.msi", path));
  EXPECT_EQ(L"C:\\app\\p.msi", path);
  extractor.archivePath = L"setup.exe";  // no folder at all: the location alone
  EXPECT_EQ(-1, extractor.FindPackedFile(L"p.msi", path));
  EXPECT_EQ(L"p.msi", path);
}

TEST(ExtractorTest, CleanupRemovesOnlyWhatWasRecorded) {
  testing::ScopedTempFolder temp;
  const std::wstring deep = temp.File(std::wstring(150, L'd') + L"\\" + std::wstring(150, L'e'));
  ASSERT_EQ(0u, CreateFolderChain(deep, true, nullptr));
  ASSERT_TRUE(testing::WriteBytes(temp.File(L"extracted.msi"), "x"));
  ASSERT_TRUE(testing::WriteBytes(ToLongPath(deep + L"\\extracted.exe"), "x"));
  ASSERT_TRUE(testing::WriteBytes(temp.File(L"foreign.txt"), "x"));
  ASSERT_EQ(0u, CreateFolderChain(temp.File(L"made\\inner"), true, nullptr));
  ASSERT_EQ(0u, CreateFolderChain(temp.File(L"shared"), true, nullptr));
  ASSERT_TRUE(testing::WriteBytes(temp.File(L"shared\\foreign.txt"), "x"));
  {
    Extractor extractor;
    extractor.cleanupEnabled = true;
    extractor.extractedFiles = {temp.File(L"extracted.msi"), deep + L"\\extracted.exe", temp.File(L"missing.exe")};
    extractor.createdFolders = {temp.File(L"made"), temp.File(L"made\\inner"), deep, temp.File(L"shared")};
  }
  EXPECT_FALSE(PathExists(temp.File(L"extracted.msi")));
  EXPECT_FALSE(PathExists(deep + L"\\extracted.exe"));
  EXPECT_FALSE(PathExists(deep));
  EXPECT_FALSE(PathExists(temp.File(L"made")));  // removed deepest first
  EXPECT_TRUE(PathExists(temp.File(L"foreign.txt")));
  EXPECT_TRUE(PathExists(temp.File(L"shared\\foreign.txt")));  // a folder that is not empty stays

  {
    Extractor disabled;
    disabled.extractedFiles = {temp.File(L"foreign.txt")};
  }
  EXPECT_TRUE(PathExists(temp.File(L"foreign.txt")));
  { Extractor nothingRecorded; nothingRecorded.cleanupEnabled = true; }
  EXPECT_TRUE(PathExists(temp.File(L"shared")));
}

TEST(ExtractorTest, ExtractingTheEmptyListDoesNothing) {
  Extractor extractor;
  EXPECT_FALSE(extractor.ExtractPackedFiles({}, nullptr).has_value());
}

}  // namespace
}  // namespace quillon
