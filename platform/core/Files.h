#pragma once
// File-system operations on paths of any length. They report through their results, never show a
// message and never log: the caller knows what a failure means.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// Looks the path up with a directory search (a file or a folder). Returns 0 and fills `lastWrite`
// and `sizeLow` (the low 32 bits of the size) when it is found; otherwise the outputs are untouched
// and the result is ERROR_INVALID_PARAMETER for an empty path, ERROR_PATH_NOT_FOUND for a relative or
// one-character path (the disk is not asked), else the search's own error code.
DWORD GetFileTimeAndSize(const std::wstring& path, FILETIME& lastWrite, uint32_t& sizeLow);

// True exactly when GetFileTimeAndSize gives 0: an absolute path that a directory search finds.
bool PathExists(const std::wstring& path);

// Creates the missing folders of `path` from the root down; the last component is taken as a
// folder only when `lastIsFolder` is true (else it is a file name and left alone). Every folder this
// call creates is appended to `created` (when given), so the caller can remove exactly those.
// Returns 0 when the path exists already or everything could be created. On a local path the first
// real failure stops the chain and its code is returned; the folder one level up is then removed
// again when this call created it and it is empty. On a network path failures do not stop the chain
// (server and share cannot be created) and the result is that of the last folder tried.
// ERROR_ALREADY_EXISTS never comes back.
DWORD CreateFolderChain(const std::wstring& path, bool lastIsFolder, std::vector<std::wstring>* created);

// Removes an empty folder, long paths included (network paths in their "\\?\UNC\" form); false when
// it is not empty or cannot be removed.
bool RemoveFolderLong(const std::wstring& path);

// Removes `path` and then each of its parents in turn while they are empty, stopping above
// `stopFolder` (with or without trailing backslash), which is never removed itself. Nothing is
// removed unless `path` lies below `stopFolder` (letter case ignored, long forms allowed), so an
// empty or unrelated stop folder removes nothing. Folders that are not empty stay.
void RemoveEmptyParents(const std::wstring& path, const std::wstring& stopFolder);

// Appends the full path (folder, backslash, name) of every subfolder of `folder` to `subfolders`,
// in the order the file system lists them. True when at least one was found; false for a folder
// without subfolders or one that cannot be listed.
bool ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& subfolders);

// The path of an existing file as the file system names it, in "\\?\" form (for example with the
// letter case of the disk). Gives `path` unchanged when the file cannot be opened for reading
// without sharing (missing, a folder, in use), or the name does not fit in 260 characters.
std::wstring GetFinalPath(const std::wstring& path);

}  // namespace quillon
