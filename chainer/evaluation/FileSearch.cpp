#include "chainer/evaluation/FileSearch.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <utility>

#include "chainer/evaluation/FormattedText.h"
#include "chainer/evaluation/OsInfo.h"
#include "chainer/evaluation/Version.h"
#include "platform/core/Holders.h"
#include "platform/core/Paths.h"
#include "platform/core/VersionInfo.h"

namespace quillon {
namespace {

constexpr DWORD kDriveListRoom = 100;

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsFolderEntry(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsDotEntry(entry.cFileName);
}

// Where the depth suffix begins: a "?" at the very start is part of the name.
size_t DepthMark(const std::wstring& text) { return text.find(L'?', 1); }

// Every fixed disk's root ("C:\") in the order Windows lists the drives.
std::vector<std::wstring> FixedDriveRoots() {
  std::wstring list(kDriveListRoom + 1, L'\0');
  DWORD length = ::GetLogicalDriveStringsW(kDriveListRoom, list.data());
  if (length > kDriveListRoom) {
    // More drives than the usual room: read the whole list rather than drop the last ones.
    list.assign(static_cast<size_t>(length) + 1, L'\0');
    length = ::GetLogicalDriveStringsW(length, list.data());
    if (length >= list.size()) length = 0;
  }
  std::vector<std::wstring> roots;
  for (size_t start = 0; start < length;) {
    const size_t end = list.find(L'\0', start);
    if (end == start || end == std::wstring::npos) break;
    std::wstring root = list.substr(start, end - start);
    if (::GetDriveTypeW(root.c_str()) == DRIVE_FIXED) roots.push_back(std::move(root));
    start = end + 1;
  }
  return roots;
}

// The places to look in: the search string itself when it names a folder (or a reference that will
// give one), else the bare name with its depth suffix at the root of every fixed disk.
std::vector<std::wstring> FileCandidates(const std::wstring& searchString) {
  const size_t mark = DepthMark(searchString);
  const std::wstring fileName = searchString.substr(0, mark);
  if (fileName.find_first_of(L"\\]%!") != std::wstring::npos) return {searchString};
  const std::wstring suffix = mark == std::wstring::npos ? std::wstring() : searchString.substr(mark);
  std::vector<std::wstring> candidates;
  for (const std::wstring& root : FixedDriveRoots()) candidates.push_back(root + fileName + suffix);
  return candidates;
}

struct Candidate {
  std::wstring folder;  // with its trailing backslash; empty for the current folder
  std::wstring name;
  int32_t depth = 0;
};

Candidate PrepareCandidate(const std::wstring& text, bool use64Bit) {
  Candidate candidate;
  const size_t mark = DepthMark(text);
  if (mark != std::wstring::npos) candidate.depth = TextToInt(text.substr(mark + 1));
  const std::wstring path = ExpandFormattedText(text.substr(0, mark), use64Bit);
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) {
    candidate.name = path;
  } else {
    candidate.folder = path.substr(0, slash + 1);
    candidate.name = path.substr(slash + 1);
  }
  return candidate;
}

// One folder being listed by the depth search.
struct Level {
  std::wstring folder;
  int32_t depth;
  FindHandle listing;
  std::optional<WIN32_FIND_DATAW> first;  // the entry FindFirstFileW gave, not yet looked at
};

// Looks for `name` in `folder`, then (while depth remains) in its sub-folders, depth first. Kept off
// the call stack so that a deep tree cannot exhaust it. True with the file's path in `filePath`.
bool SearchFolders(const Candidate& start, std::wstring& filePath) {
  // A path that ends in a backslash names no file.
  if (start.name.empty()) return false;
  std::vector<Level> levels;
  const auto visit = [&](std::wstring folder, int32_t depth) {
    WIN32_FIND_DATAW entry;
    std::wstring path = folder + start.name;
    const FindHandle match(::FindFirstFileW(path.c_str(), &entry));
    if (match.IsValid()) {
      filePath = std::move(path);
      return true;
    }
    if (depth < 1) return false;
    FindHandle listing(::FindFirstFileW((folder + L"*").c_str(), &entry));
    // The first entry is examined like the others: it is "." in most folders, but a drive root
    // lists no "." and starts with a real folder, which must not be missed.
    if (listing.IsValid()) levels.push_back(Level{std::move(folder), depth, std::move(listing), entry});
    return false;
  };
  if (visit(start.folder, start.depth)) return true;
  while (!levels.empty()) {
    WIN32_FIND_DATAW entry;
    if (levels.back().first) {
      entry = *levels.back().first;
      levels.back().first.reset();
    } else if (!::FindNextFileW(levels.back().listing.Get(), &entry)) {
      levels.pop_back();
      continue;
    }
    if (!IsFolderEntry(entry)) continue;
    std::wstring child = levels.back().folder + entry.cFileName + L"\\";
    const int32_t depth = levels.back().depth - 1;
    if (visit(std::move(child), depth)) return true;
  }
  return false;
}

}  // namespace

std::wstring FileVersionText(unsigned long versionMS, unsigned long versionLS) {
  const std::wstring text = std::to_wstring(HIWORD(versionMS)) + L"." + std::to_wstring(LOWORD(versionMS)) + L"." +
                            std::to_wstring(HIWORD(versionLS)) + L"." + std::to_wstring(LOWORD(versionLS));
  VersionValue value;
  ParseVersion(text, value);
  return FormatVersion(value);
}

void CollectFileVersion(const std::wstring& searchString, bool use64Bit, std::vector<std::wstring>& found) {
  std::vector<Candidate> candidates;
  for (const std::wstring& text : FileCandidates(searchString)) candidates.push_back(PrepareCandidate(text, use64Bit));
  if (candidates.empty()) return;

  DWORD versionMS = 0;
  DWORD versionLS = 0;
  const bool systemView = use64Bit && GetOsInfo().is64BitWindows;
  // version.dll must be loaded before redirection goes off, or the 64-bit library would answer.
  if (systemView) static_cast<void>(GetFileVersion(std::wstring(), versionMS, versionLS));
  const Wow64RedirectionOff redirectionOff(systemView);

  for (const Candidate& candidate : candidates) {
    std::wstring filePath;
    if (!SearchFolders(candidate, filePath)) continue;
    versionMS = 0;
    versionLS = 0;
    // A wildcard name finds a file, but its version cannot be read by that name: 0.0.0.0.
    if (GetFileVersion(filePath, versionMS, versionLS) != 0) {
      versionMS = 0;
      versionLS = 0;
    }
    found.push_back(FileVersionText(versionMS, versionLS));
    return;
  }
}

void CollectSubfolderNames(const std::wstring& searchString, bool use64Bit, std::vector<std::wstring>& found) {
  const std::wstring folder = ExpandFormattedText(searchString, use64Bit);
  // An empty text names no folder (a lone backslash would list the current drive's root).
  if (folder.empty()) return;
  const Wow64RedirectionOff redirectionOff(use64Bit && GetOsInfo().is64BitWindows);
  WIN32_FIND_DATAW entry;
  const FindHandle listing(::FindFirstFileW((EnsureTrailingBackslash(folder) + L"*").c_str(), &entry));
  if (!listing.IsValid()) return;
  do {
    if (IsFolderEntry(entry)) found.emplace_back(entry.cFileName);
  } while (::FindNextFileW(listing.Get(), &entry));
}

}  // namespace quillon
