#pragma once
// Searches on the file system: a file and its version, and the sub-folders of a folder.

#include <string>
#include <vector>

namespace quillon {

// Looks for the file that `searchString` ([folder\]name[?depth]) names and appends the version of
// the first one found ("0.0.0.0" without a readable version resource) to `found`; nothing when no
// file is found. A bare name is looked for at the root of every fixed disk in turn, and with a
// depth also that many folder levels below each place, depth first in the order the file system
// lists the folders. `use64Bit` expands references for the 64-bit view and, on 64-bit Windows,
// reads the 64-bit system folders (file-system redirection is off for this thread meanwhile).
void CollectFileVersion(const std::wstring& searchString, bool use64Bit, std::vector<std::wstring>& found);

// Appends the names of the sub-folders of the folder `searchString` (references expanded) in the
// order the file system lists them; nothing for an empty or unreadable folder. `use64Bit` as above.
void CollectSubfolderNames(const std::wstring& searchString, bool use64Bit, std::vector<std::wstring>& found);

// The version text the file search stores for a file's fixed version words: "%d.%d.%d.%d" read back
// and written in its shortest form (1.2.0.0 becomes 1.2).
std::wstring FileVersionText(unsigned long versionMS, unsigned long versionLS);

}  // namespace quillon
