#include "chainer/acquisition/DownloadCoordinator.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using testing::ScopedTempFolder;

TEST(DownloadCoordinatorTest, LocalPathFromFileUrls) {
  const struct {
    const wchar_t* url;
    const wchar_t* path;
  } kCases[] = {
      {L"file:///C:/pkg/setup.exe", L"C:\\pkg\\setup.exe"},
      {L"FILE:///c:/a b/x.msi", L"c:\\a b\\x.msi"},
      {L"file://Pkg/a.exe", L"Pkg\\a.exe"},  // relative to the chainer's folder
      {L"File://\\\\server\\share/a.exe", L"\\\\server\\share\\a.exe"},
      {L"file:///", L""},
      {L"file:/C:/a.exe", L""},
      {L"http://127.0.0.1/a.exe", L""},
      {L"C:\\pkg\\file:///a.exe", L""},
      {L"", L""},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.path, LocalPathFromFileUrl(c.url)) << c.url;
}

TEST(DownloadCoordinatorTest, FileNamesFromUrls) {
  const std::wstring name40 = std::wstring(36, L'n') + L".exe";
  const std::wstring name45 = L"abcde" + name40;
  const struct {
    std::wstring url;
    std::wstring name;
  } kCases[] = {
      {L"http://127.0.0.1/files/setup.exe", L"setup.exe"},
      {L"http://127.0.0.1/setup.exe?x=1", L"setup.exe"},
      {L"http://127.0.0.1/get.php?file=a.msi", L"file=a.msi"},
      {L"https://host.example/dl?u=http://other.example/real.exe", L"host.example"},
      // The name ends after the extension of the last dot, wherever that dot is.
      {L"http://127.0.0.1/a/b/c/readme", L"127.0.0.1"},
      {L"http://127.0.0.1/v1.2/setup", L"v1.2"},
      {L"http://127.0.0.1/dir/", L"127.0.0.1"},
      {L"http://localhost/a/readme", L"readme"},
      {L"ftp://127.0.0.1/pub/archive.tar.gz", L"archive.tar.gz"},
      {L"http://127.0.0.1/" + name45, name45.substr(4)},  // the last 41 characters
      {L"http://127.0.0.1/" + name40, name40},              // without its separator
      {L"setup.exe", L"setup.exe"},
      {L"C:\\pkg\\setup.exe", L"setup.exe"},
      {L"http://localhost/dir/", L""},
      {L"", L""},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.name, FileNameFromUrl(c.url)) << c.url;
}

TEST(DownloadCoordinatorTest, DownloadPathsFromFolderKeys) {
  const wchar_t kUrl[] = L"http://127.0.0.1/files/setup.exe";
  const struct {
    const wchar_t* folder;
    const wchar_t* folderKey;
    const wchar_t* path;
  } kCases[] = {
      {L"C:\\dl\\", L"", L"C:\\dl\\setup.exe"},
      {L"C:\\dl", L"", L"C:\\dl\\setup.exe"},
      {L"C:\\dl\\", L"Sub", L"C:\\dl\\Sub\\setup.exe"},
      {L"C:\\dl\\", L"Sub\\", L"C:\\dl\\Sub\\setup.exe"},
      {L"C:\\dl\\", L"Sub?pkg.exe", L"C:\\dl\\Sub\\pkg.exe"},
      {L"C:\\dl\\", L"?pkg.exe", L"C:\\dl\\pkg.exe"},
      {L"C:\\dl\\", L"Sub?", L"C:\\dl\\Sub\\setup.exe"},
      {L"C:\\dl\\", L"A\\B?c?d.exe", L"C:\\dl\\A\\B\\c?d.exe"},  // split at the first "?"
  };
  for (const auto& c : kCases) EXPECT_EQ(c.path, DownloadPathFor(c.folder, kUrl, c.folderKey)) << c.folder << " " << c.folderKey;
}

void WriteFileOfSize(const std::wstring& path, size_t size) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  const std::string bytes(size, 'x');
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

TEST(DownloadCoordinatorTest, PackagePresenceBySizeAndFileUrl) {
  ScopedTempFolder downloads;
  WriteFileOfSize(downloads.File(L"setup.exe"), 1234);
  ::CreateDirectoryW(downloads.File(L"Sub").c_str(), nullptr);
  WriteFileOfSize(downloads.File(L"Sub\\pkg.exe"), 0);
  const std::wstring folder = downloads.Path() + L"\\";
  const struct {
    const wchar_t* folder;
    const wchar_t* location;
    int32_t exactSize;
    const wchar_t* folderKey;
    bool present;
  } kCases[] = {
      {folder.c_str(), L"http://127.0.0.1/setup.exe", 1234, L"", true},
      {folder.c_str(), L"http://127.0.0.1/setup.exe", 0, L"", true},
      {folder.c_str(), L"http://127.0.0.1/setup.exe", 1233, L"", false},
      {folder.c_str(), L"http://127.0.0.1/setup.exe", -1, L"", false},
      {folder.c_str(), L"http://127.0.0.1/other.exe", 0, L"", false},
      {folder.c_str(), L"http://127.0.0.1/x.exe", 0, L"Sub?pkg.exe", true},
      {folder.c_str(), L"http://127.0.0.1/x.exe", 5, L"Sub?pkg.exe", false},
      {folder.c_str(), L"file:///C:/does/not/exist.exe", 99, L"", true},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.present, IsPackagePresent(c.folder, c.location, c.exactSize, c.folderKey)) << c.location << " " << c.exactSize;
  }

  // A relative download folder is taken from the current folder.
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(downloads.Path().c_str()));
  EXPECT_TRUE(IsPackagePresent(L"Sub", L"http://127.0.0.1/pkg.exe", 0, L""));
  EXPECT_FALSE(IsPackagePresent(L"Sub", L"http://127.0.0.1/setup.exe", 0, L""));
  ::SetCurrentDirectoryW(previous);
}

TEST(DownloadCoordinatorTest, AvailabilityFromSelectionOutcomeAndDisk) {
  ScopedTempFolder downloads;
  WriteFileOfSize(downloads.File(L"there.exe"), 3);
  const std::wstring folder = downloads.Path() + L"\\";
  const struct {
    bool selected;
    PrereqOutcome outcome;
    LocationKind kind;
    const wchar_t* location;
    bool packageIsPresent;
    PrereqOutcome availability;
  } kCases[] = {
      {false, PrereqOutcome::MustDownload, LocationKind::Url, L"http://127.0.0.1/there.exe", true,
       PrereqOutcome::NotSelected},
      {true, PrereqOutcome::MustDownload, LocationKind::Url, L"http://127.0.0.1/gone.exe", true,
       PrereqOutcome::AlreadyDownloaded},
      {true, PrereqOutcome::MustDownload, LocationKind::Url, L"http://127.0.0.1/there.exe", false,
       PrereqOutcome::MustDownload},  // the recorded answer counts, not the disk
      {true, PrereqOutcome::InstallFromPackage, LocationKind::SetupFile, L"a.exe", true,
       PrereqOutcome::InstallFromPackage},
      {true, PrereqOutcome::DownloadFromSite, LocationKind::OpenSite, L"http://127.0.0.1/", false,
       PrereqOutcome::DownloadFromSite},
      {true, PrereqOutcome::OsNotSupported, LocationKind::Url, L"http://127.0.0.1/there.exe", true,
       PrereqOutcome::OsNotSupported},
      {true, PrereqOutcome::Undefined, LocationKind::Url, L"http://127.0.0.1/there.exe", true,
       PrereqOutcome::Undefined},
      {true, PrereqOutcome::AcceptableVersionFound, LocationKind::Url, L"http://127.0.0.1/there.exe", false,
       PrereqOutcome::AlreadyDownloaded},
      {true, PrereqOutcome::AcceptableVersionFound, LocationKind::Url, L"http://127.0.0.1/gone.exe", true,
       PrereqOutcome::MustDownload},
      {true, PrereqOutcome::AcceptableVersionFound, LocationKind::OpenSite, L"http://127.0.0.1/", false,
       PrereqOutcome::DownloadFromSite},
      {true, PrereqOutcome::AcceptableVersionFound, LocationKind::SetupFile, L"a.exe", false,
       PrereqOutcome::InstallFromPackage},
  };
  for (const auto& c : kCases) {
    Prerequisite p;
    p.Selected = c.selected;
    p.Outcome = c.outcome;
    p.LocationKind = c.kind;
    p.Location = c.location;
    p.PackageIsPresent = c.packageIsPresent;
    EXPECT_EQ(c.availability, PackageAvailabilityOf(p, folder))
        << c.location << " outcome " << static_cast<int>(c.outcome);
  }
}

}  // namespace
}  // namespace quillon
