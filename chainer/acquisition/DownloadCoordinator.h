#pragma once
// Where packages of prerequisites lie on the disk, and whether one is there already. The download
// and open-site passes build on this.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chainer/evaluation/Prerequisite.h"

namespace quillon {

// One package to download.
struct DownloadItem {
  std::wstring url;              // the prerequisite's Location
  int32_t expectedSize = 0;      // ExactSize; 0 leaves the size unchecked
  std::wstring fileName;         // relative to the download folder; empty derives it from the URL
  std::wstring localPath;        // the downloaded file, once known
  int32_t reserved = 0;
  int32_t result = 4;            // 0 after a successful transfer
  int32_t prerequisiteIndex = 0;
  std::wstring folderSpec;       // the prerequisite's Folder
};

// The download pass's state, kept by the installation pass.
struct Downloader {
  std::wstring downloadFolder;               // resolved, with a trailing backslash
  std::vector<DownloadItem> items;
  int32_t lastError = 0;                     // result of the last transfer
  std::vector<std::wstring> filesToDelete;   // downloads the configuration does not keep
  std::vector<std::wstring> createdFolders;  // in creation order
};

// The local path of a "file:///" or "file://" URL (prefix letter case ignored): the rest with
// slashes turned into backslashes; empty for any other URL.
std::wstring LocalPathFromFileUrl(const std::wstring& url);

// The file name a download of `url` is stored under: the last name of its path, at most 41
// characters, taken before any query or embedded second URL. Empty when nothing fits.
std::wstring FileNameFromUrl(const std::wstring& url);

// The full path of the package of `url`: the download folder, the sub-folder part of `folderKey` (the prerequisite's Folder)
// (before its first "?") and the file name part (after it), or FileNameFromUrl when that is empty.
std::wstring DownloadPathFor(const std::wstring& downloadFolder, const std::wstring& url,
                             const std::wstring& folderKey);

// True for a file: URL without looking at the disk; otherwise true when the path DownloadPathFor
// gives is found by a directory search (a relative one from the current folder) and `exactSize` is 0
// or its size (low 32 bits).
bool IsPackagePresent(const std::wstring& downloadFolder, const std::wstring& location, int32_t exactSize,
                      const std::wstring& folderKey);

// Where the package of a prerequisite stands: NotSelected when it is not selected; AlreadyDownloaded
// for a MustDownload one whose package is present; another recorded outcome as it is; for an
// acceptable version, the answer of its location kind (AlreadyDownloaded or MustDownload for a Url
// by IsPackagePresent, DownloadFromSite, InstallFromPackage).
PrereqOutcome PackageAvailabilityOf(const Prerequisite& prerequisite, const std::wstring& downloadFolder);

}  // namespace quillon
