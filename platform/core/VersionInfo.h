#pragma once
// Version resources of files.

#include <string>

namespace quillon {

// Replaces `nameInOut` (a file path) by the ProductName of that file's version resource, in the
// first language listed under Translation (US English, code page 1250, when none is listed).
// Returns false and leaves the path when the file has no such value.
bool GetProductName(std::wstring& nameInOut);

}  // namespace quillon
