#include "chainer/acquisition/DownloadCoordinator.h"

#include <windows.h>

#include <cwctype>
#include <string_view>

#include "platform/core/Holders.h"
#include "platform/core/Paths.h"

namespace quillon {
namespace {

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* prefix) {
  size_t i = 0;
  for (; prefix[i] != L'\0'; ++i) {
    if (i >= text.size() || std::towlower(text[i]) != std::towlower(prefix[i])) return false;
  }
  return true;
}

bool IsNameSeparator(wchar_t c) { return std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos; }

}  // namespace

std::wstring LocalPathFromFileUrl(const std::wstring& url) {
  std::wstring path;
  if (StartsWithIgnoringCase(url, L"file:///")) {
    path = url.substr(8);
  } else if (StartsWithIgnoringCase(url, L"file://")) {
    path = url.substr(7);
  } else {
    return std::wstring();
  }
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring FileNameFromUrl(const std::wstring& url) {
  if (url.empty()) return std::wstring();
  const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(url.size());

  // A second complete URL inside the first (a redirector's query) ends the part that names the file.
  std::ptrdiff_t end = length - 1;
  const size_t scheme = url.find(L"://");
  if (scheme != std::wstring::npos && length - static_cast<std::ptrdiff_t>(scheme) >= 4) {
    const size_t embedded = url.find(L"://", scheme + 4);
    if (embedded != std::wstring::npos) end = static_cast<std::ptrdiff_t>(embedded);
  }

  // The name ends at the separator after its extension (a query's "?"), else at the end.
  std::ptrdiff_t last = end;
  for (std::ptrdiff_t dot = end; dot >= 0; --dot) {
    if (url[dot] != L'.') continue;
    for (std::ptrdiff_t i = dot + 1; i <= end - 1; ++i) {
      if (IsNameSeparator(url[i])) {
        last = i - 1;
        break;
      }
    }
    break;
  }

  for (std::ptrdiff_t i = last; i >= 0 && i > last - 40; --i) {
    if (IsNameSeparator(url[i])) return url.substr(i + 1, last - i);
  }
  std::ptrdiff_t first = last - 40 < 0 ? 0 : last - 40;
  // A name of exactly 40 characters would otherwise start with its separator.
  if (IsNameSeparator(url[first])) ++first;
  return url.substr(first, last - first + 1);
}

std::wstring DownloadPathFor(const std::wstring& downloadFolder, const std::wstring& url,
                             const std::wstring& folderKey) {
  std::wstring path = downloadFolder;
  if (path.empty() || path.back() != L'\\') path += L'\\';
  const size_t question = folderKey.find(L'?');
  const std::wstring subFolder = question == std::wstring::npos ? folderKey : folderKey.substr(0, question);
  const std::wstring fileName = question == std::wstring::npos ? std::wstring() : folderKey.substr(question + 1);
  path += subFolder;
  if (path.back() != L'\\') path += L'\\';
  path += fileName.empty() ? FileNameFromUrl(url) : fileName;
  return path;
}

bool IsPackagePresent(const std::wstring& downloadFolder, const std::wstring& location, int32_t exactSize,
                      const std::wstring& folderKey) {
  if (!LocalPathFromFileUrl(location).empty()) return true;
  // A relative download folder is looked up from the current folder, the chainer's own.
  WIN32_FIND_DATAW entry;
  FindHandle find(::FindFirstFileW(ToLongPath(DownloadPathFor(downloadFolder, location, folderKey)).c_str(), &entry));
  if (!find.IsValid()) return false;
  return exactSize == 0 || static_cast<uint32_t>(exactSize) == entry.nFileSizeLow;
}

PrereqOutcome PackageAvailabilityOf(const Prerequisite& prerequisite, const std::wstring& downloadFolder) {
  if (!prerequisite.Selected) return PrereqOutcome::NotSelected;
  const PrereqOutcome recorded = prerequisite.Outcome;
  if (recorded != PrereqOutcome::AcceptableVersionFound) {
    if (recorded == PrereqOutcome::MustDownload && prerequisite.PackageIsPresent) {
      return PrereqOutcome::AlreadyDownloaded;
    }
    return recorded;
  }
  switch (prerequisite.LocationKind) {
    case LocationKind::Url:
      return IsPackagePresent(downloadFolder, prerequisite.Location, prerequisite.ExactSize, prerequisite.Folder)
                 ? PrereqOutcome::AlreadyDownloaded
                 : PrereqOutcome::MustDownload;
    case LocationKind::OpenSite:
      return PrereqOutcome::DownloadFromSite;
    default:
      return PrereqOutcome::InstallFromPackage;
  }
}

}  // namespace quillon
