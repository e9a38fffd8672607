#pragma once
// Version resources of files, and the versions that libraries report of themselves.

#include <windows.h>

#include <string>

namespace quillon {

// Reads the fixed file version of `path` (through a ShimClone, whose copy is deleted right after).
// Returns 0 and sets `versionMS` and `versionLS` (dwFileVersionMS and dwFileVersionLS) on success.
// On failure both stay as they were and the result is the system's error code (for example
// ERROR_FILE_NOT_FOUND, or ERROR_RESOURCE_TYPE_NOT_FOUND for a file without a version resource), or
// ERROR_NOT_ENOUGH_MEMORY (8) when the buffer cannot be had.
DWORD GetFileVersion(const std::wstring& path, DWORD& versionMS, DWORD& versionLS);

// Loads the library and asks its exported DllGetVersion; true with its major and minor numbers when
// that succeeds. A library without that export gives its file version instead: the high word of the
// most significant version word as major, and 0 as minor. A bare file name (no backslash, slash or
// colon) is loaded from the system folder, any other path must be absolute. False, with both
// outputs as they were, when the library cannot be loaded, DllGetVersion fails, or the fallback has
// no file version. The library is unloaded again before the call returns.
bool GetDllVersion(const std::wstring& path, DWORD& major, DWORD& minor);

// Replaces `nameInOut` (a file path) by the ProductName of that file's version resource, in the
// first language listed under Translation (US English, code page 1250, when none is listed).
// Returns false and leaves the path when the file has no such value.
bool GetProductName(std::wstring& nameInOut);

}  // namespace quillon
