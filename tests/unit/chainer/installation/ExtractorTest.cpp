#include "chainer/installation/Extractor.h"

#include <gtest/gtest.h>

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

TEST(ExtractorTest, ExtractingTheEmptyListDoesNothing) {
  Extractor extractor;
  EXPECT_FALSE(extractor.ExtractPackedFiles({}, nullptr).has_value());
}

}  // namespace
}  // namespace quillon
