#include "platform/core/SystemLibraries.h"

namespace quillon {
namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Always mapped into the process: asking for its handle searches nothing.
HMODULE Kernel32() { return ::GetModuleHandleW(L"kernel32.dll"); }

// The LOAD_LIBRARY_SEARCH_* flags came with AddDllDirectory; systems without it reject them.
bool SystemHasSearchFlags() {
  static const bool hasFlags = ::GetProcAddress(Kernel32(), "AddDllDirectory") != nullptr;
  return hasFlags;
}

bool IsBareFileName(const std::wstring& name) {
  return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool IsFullyQualified(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return true;
  return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
}

}  // namespace

bool RestrictLibrarySearchToSystemFolder() {
  // Takes the current folder out of the classic search order, for systems that lack the call below.
  ::SetDllDirectoryW(L"");
  const auto setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(::GetProcAddress(Kernel32(), "SetDefaultDllDirectories")));
  return setDefaultDirectories != nullptr && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring GetSystemLibraryPath(const std::wstring& name) {
  if (!IsBareFileName(name)) return std::wstring();
  std::wstring folder(MAX_PATH, L'\0');
  UINT length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  if (length >= folder.size()) {  // too small: the answer is the size needed, terminator included
    folder.resize(length);
    length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length >= folder.size()) return std::wstring();
  }
  if (length == 0) return std::wstring();
  folder.resize(length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder + name;
}

LibraryHolder LoadSystemLibrary(const std::wstring& name) {
  if (!IsBareFileName(name)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return LibraryHolder();
  }
  const std::wstring path = GetSystemLibraryPath(name);
  if (path.empty()) return LibraryHolder();  // GetSystemDirectoryW's error stays
  // With a full path only the library's own imports are searched for; keep them in the system folder.
  const DWORD flags = SystemHasSearchFlags() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
  return LibraryHolder(::LoadLibraryExW(path.c_str(), nullptr, flags));
}

LibraryHolder LoadLibraryAtPath(const std::wstring& path) {
  if (!IsFullyQualified(path)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return LibraryHolder();
  }
  const DWORD flags = SystemHasSearchFlags() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                             : LOAD_WITH_ALTERED_SEARCH_PATH;
  return LibraryHolder(::LoadLibraryExW(path.c_str(), nullptr, flags));
}

}  // namespace quillon
