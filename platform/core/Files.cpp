#include "platform/core/Files.h"

#include <iterator>

#include "platform/core/Holders.h"
#include "platform/core/Paths.h"

namespace quillon {
namespace {

// True when `path` names something strictly below `folder` (no trailing backslash): the folder's
// text, a backslash, and at least one character that is a name rather than a separator.
bool IsBelowFolder(const std::wstring& path, const std::wstring& folder) {
  if (path.size() <= folder.size() + 1 || path[folder.size()] != L'\\') return false;
  if (::CompareStringOrdinal(path.data(), static_cast<int>(folder.size()), folder.data(),
                             static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return path.find_first_not_of(L"\\. ", folder.size() + 1) != std::wstring::npos;
}

void Forget(std::vector<std::wstring>* created, const std::wstring& folder) {
  if (created == nullptr) return;
  for (auto entry = created->rbegin(); entry != created->rend(); ++entry) {
    if (*entry == folder) {
      created->erase(std::next(entry).base());
      return;
    }
  }
}

}  // namespace

DWORD GetFileTimeAndSize(const std::wstring& path, FILETIME& lastWrite, uint32_t& sizeLow) {
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  if (!IsAbsolutePath(path)) return ERROR_PATH_NOT_FOUND;
  WIN32_FIND_DATAW entry;
  FindHandle find(::FindFirstFileW(ToLongPath(path).c_str(), &entry));
  if (!find.IsValid()) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_FILE_NOT_FOUND;
  }
  lastWrite = entry.ftLastWriteTime;
  sizeLow = entry.nFileSizeLow;
  return 0;
}

bool PathExists(const std::wstring& path) {
  FILETIME lastWrite;
  uint32_t sizeLow;
  return GetFileTimeAndSize(path, lastWrite, sizeLow) == 0;
}

DWORD CreateFolderChain(const std::wstring& path, bool lastIsFolder, std::vector<std::wstring>* created) {
  // Nothing is created relative to whatever the current directory happens to be.
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  if (!IsAbsolutePath(path)) return ERROR_PATH_NOT_FOUND;
  if (PathExists(path)) return 0;

  const std::vector<std::wstring> components = SplitPath(path);
  const bool network = IsNetworkPath(path);
  const size_t end = lastIsFolder ? components.size() : components.size() - 1;
  std::vector<std::wstring> createdHere;
  std::wstring current = components[0];
  DWORD result = 0;
  for (size_t i = 1; i < end; ++i) {
    const std::wstring parent = current;
    current += L'\\';
    current += components[i];
    if (::CreateDirectoryW(ToLongPath(current).c_str(), nullptr)) {
      createdHere.push_back(current);
      if (created != nullptr) created->push_back(current);
      result = 0;
      continue;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
      result = 0;
      continue;
    }
    result = error != 0 ? error : ERROR_CANNOT_MAKE;
    if (network) continue;
    // Undo one level, but never remove a folder that was there before this call.
    const bool parentIsOurs = !createdHere.empty() && createdHere.back() == parent;
    if (i >= 2 && parentIsOurs && RemoveFolderLong(parent)) Forget(created, parent);
    return result;
  }
  return result;
}

bool RemoveFolderLong(const std::wstring& path) {
  // "\\?\" in front of a network path's two backslashes names nothing; its long form is "\\?\UNC\".
  const std::wstring systemPath = IsNetworkPath(path) ? ToLongPath(path) : WithLongPrefix(path);
  return ::RemoveDirectoryW(systemPath.c_str()) != FALSE;
}

void RemoveEmptyParents(const std::wstring& path, const std::wstring& stopFolder) {
  std::wstring stop = FromLongPath(stopFolder);
  if (!stop.empty() && stop.back() == L'\\') stop.pop_back();
  if (stop.empty()) return;
  std::wstring current = path;
  while (!current.empty() && IsBelowFolder(FromLongPath(current), stop)) {
    RemoveFolderLong(current);  // fails harmlessly while the folder holds something
    current = GetFolderPart(current);
  }
}

bool ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& subfolders) {
  const std::wstring base = EnsureTrailingBackslash(folder);
  WIN32_FIND_DATAW entry;
  FindHandle find(::FindFirstFileW(ToLongPath(base + L"*").c_str(), &entry));
  if (!find.IsValid()) return false;
  bool found = false;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    subfolders.push_back(base + name);
    found = true;
  } while (::FindNextFileW(find.Get(), &entry));
  return found;
}

std::wstring GetFinalPath(const std::wstring& path) {
  KernelHandle file(::CreateFileW(ToLongPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return path;
  wchar_t finalPath[MAX_PATH];
  const DWORD length = ::GetFinalPathNameByHandleW(file.Get(), finalPath, MAX_PATH, 0);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::wstring(finalPath, length);
}

}  // namespace quillon
