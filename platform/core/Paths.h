#pragma once
// Path text rules shared by every part of the chainer. Paths are wide strings with backslashes.

#include <string>
#include <vector>

namespace quillon {

// The text before the last backslash; empty when there is none.
std::wstring GetFolderPart(const std::wstring& path);

// The text after the last backslash; the whole path when there is none.
std::wstring GetFileNamePart(const std::wstring& path);

// Appends a backslash unless the path is empty or already ends with one.
std::wstring EnsureTrailingBackslash(const std::wstring& path);

// Removes the run of blanks and dots at the end of the text.
std::wstring TrimTrailingDotsAndBlanks(const std::wstring& text);

// True when the path begins with the local long-path prefix "\\?\".
bool HasLongPrefix(const std::wstring& path);

// Splits a path into its components. A "\\?\UNC\" or "\\?\" prefix is put back in front of the
// first component (the drive, or the two backslashes and the server of a network path).
std::vector<std::wstring> SplitPath(const std::wstring& path);

// Joins the components of SplitPath again, each without trailing blanks and dots; no backslash is
// put after a component ending in "]", which stands for a folder property with its own backslash.
std::wstring NormalizePath(const std::wstring& path);

}  // namespace quillon

namespace quillon {

// A path of 260 characters or more that lacks "\\?\" gets it in front (network paths too).
std::wstring WithLongPrefix(const std::wstring& path);

}  // namespace quillon
