#pragma once
// Libraries come from the system folder only, never from the executable's folder.
//
// The chainer usually runs from a downloads folder, often elevated, beside files that anyone could
// have put there. So the executable imports only libraries that Windows always takes from the
// system folder (the known libraries of every supported Windows version; the build keeps that list),
// and every other library is loaded on first use through LoadSystemLibrary, by its full path.

#include <windows.h>

#include <string>

#include "platform/core/Holders.h"

namespace quillon {

// Call first thing in the process. Where the system supports it (Windows 8 and later, Vista and 7
// with the library-loading update), the folders searched for a library named without a path become
// the system folder alone; the current folder leaves the search on every system. Returns true when
// the search is restricted to the system folder.
bool RestrictLibrarySearchToSystemFolder();

// The system folder (GetSystemDirectoryW) with `name` appended; empty when the system folder
// cannot be read or `name` is empty or carries a path of its own.
std::wstring GetSystemLibraryPath(const std::wstring& name);

// Loads the library `name` (a bare file name such as L"version.dll") from the system folder by its
// full path; the libraries it needs in turn come from the system folder too. An empty holder on
// failure, with the last error set (ERROR_INVALID_PARAMETER for a name with a path or an empty one).
// Not to be called while the thread has WOW64 file-system redirection switched off.
[[nodiscard]] LibraryHolder LoadSystemLibrary(const std::wstring& name);

// Loads the library at the absolute path `path`; the libraries it needs come from its own folder and
// the system folder, never from the executable's folder. An empty holder on failure (last error set;
// ERROR_INVALID_PARAMETER for a path that is not absolute).
[[nodiscard]] LibraryHolder LoadLibraryAtPath(const std::wstring& path);

// The address of `name` in `library` as a function pointer of type F; null when it is missing.
template <typename F>
F GetLibraryFunction(const LibraryHolder& library, const char* name) {
  if (!library.IsValid()) return nullptr;
  // Win32 hands out every export as FARPROC; the caller names the real type.
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(library.Get(), name)));
}

}  // namespace quillon
