#pragma once
// Path text rules shared by every part of the chainer. Paths are wide strings with backslashes.
// Nothing here touches the file system (Files.h does).

#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

// The text before the last backslash; empty when there is none.
std::wstring GetFolderPart(const std::wstring& path);

// The text after the last backslash; the whole path when there is none; empty for an empty path.
std::wstring GetFileNamePart(const std::wstring& path);

// Appends a backslash unless the path is empty or already ends with one.
std::wstring EnsureTrailingBackslash(const std::wstring& path);

// Removes the run of blanks and dots at the end of the text.
std::wstring TrimTrailingDotsAndBlanks(const std::wstring& text);

// Turns every "/" of `path` into a backslash in place; returns how many were turned.
size_t NormalizeSlashes(std::wstring& path);

// True for a drive path ("C:...") or a path that begins with two backslashes (network or long path).
bool IsAbsolutePath(const std::wstring& path);

// True for a network path: "\\server\share..." or its long form "\\?\UNC\server...". Local long
// paths ("\\?\C:...") and device paths ("\\.\...") are not network paths.
bool IsNetworkPath(const std::wstring& path);

// True when the path begins with the local long-path prefix "\\?\".
bool HasLongPrefix(const std::wstring& path);

// Splits a path into its components. A "\\?\UNC\" or "\\?\" prefix is put back in front of the
// first component (the drive, or the two backslashes and the server of a network path). A path
// without backslash is one component.
std::vector<std::wstring> SplitPath(const std::wstring& path);

// Joins the components of SplitPath again, each without trailing blanks and dots; no backslash is
// put after a component ending in "]", which stands for a folder property with its own backslash.
std::wstring NormalizePath(const std::wstring& path);

// For calls that take at most 259 characters: a path of 260 characters or more that lacks "\\?\"
// gets it in front (network paths too, unchanged otherwise).
std::wstring WithLongPrefix(const std::wstring& path);

// The form of `path` that the file system takes without length limit: an absolute path longer than
// 247 characters gets "\\?\" in front, or "\\?\UNC\" in place of a network path's two leading
// backslashes; shorter, relative, device and already prefixed paths come back unchanged.
std::wstring ToLongPath(const std::wstring& path);

// Undoes ToLongPath: "\\?\UNC\" becomes two backslashes, a leading "\\?\" is dropped; anything
// else comes back unchanged.
std::wstring FromLongPath(const std::wstring& path);

}  // namespace quillon
