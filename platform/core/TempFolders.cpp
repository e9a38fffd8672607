#include "platform/core/TempFolders.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <mutex>

#include "chainer/evaluation/OsInfo.h"
#include "platform/core/AccessLists.h"
#include "platform/core/Holders.h"
#include "platform/core/Paths.h"
#include "platform/core/SystemText.h"
#include "platform/core/SystemLibraries.h"

namespace quillon {
namespace {

using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);
using SHGetSpecialFolderPathFunction = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);

constexpr DWORD kPathRoom = MAX_PATH + 1;

const TempFolderHooksForTesting* gHooks = nullptr;

std::mutex& CacheLock() {
  static std::mutex lock;
  return lock;
}

std::wstring& Cache() {
  static std::wstring cache;
  return cache;
}

GetTempPath2Function SystemGetTempPath2() {
  // Kept loaded for the life of the process; looked up once.
  static const GetTempPath2Function function = [] {
    static LibraryHolder kernel32 = LoadSystemLibrary(L"kernel32.dll");
    return GetLibraryFunction<GetTempPath2Function>(kernel32, "GetTempPath2W");
  }();
  return function;
}

std::wstring WindowsFolder() {
  if (gHooks != nullptr && gHooks->windowsFolder.has_value()) return *gHooks->windowsFolder;
  return ReadSystemPath(kPathRoom, [](wchar_t* buffer, DWORD room) { return ::GetWindowsDirectoryW(buffer, room); });
}

// Only LocalSystem and Administrators may use the folder; without a descriptor it is not created.
void CreateProtectedFolder(const std::wstring& folder) {
  AccessListBuilder builder;
  builder.AddAccount(L"S-1-5-18", true);
  builder.AddAccount(L"S-1-5-32-544", true);
  PSECURITY_DESCRIPTOR descriptor = builder.Build();
  if (descriptor == nullptr) return;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  if (gHooks != nullptr && gHooks->createDirectory != nullptr) {
    gHooks->createDirectory(folder.c_str(), &attributes);
  } else {
    ::CreateDirectoryW(folder.c_str(), &attributes);
  }
}

std::wstring LocalSystemTempFolder() {
  const GetTempPath2Function getTempPath2 = gHooks != nullptr ? gHooks->getTempPath2 : SystemGetTempPath2();
  std::wstring folder;
  if (getTempPath2 != nullptr) {
    folder = ReadSystemPath(kPathRoom,
                            [getTempPath2](wchar_t* buffer, DWORD room) { return getTempPath2(room, buffer); });
  } else {
    const std::wstring windows = WindowsFolder();
    if (!windows.empty()) folder = EnsureTrailingBackslash(windows) + L"SystemTemp\\";
  }
  if (!folder.empty() && !::PathFileExistsW(folder.c_str())) CreateProtectedFolder(folder);
  return folder;
}

std::wstring UserTempFolder() {
  if (gHooks != nullptr && gHooks->userTempFolder.has_value()) return *gHooks->userTempFolder;
  return ReadSystemPath(kPathRoom, [](wchar_t* buffer, DWORD room) { return ::GetTempPathW(room, buffer); });
}

BOOL MoveTempFile(const std::wstring& from, const std::wstring& to) {
  if (gHooks != nullptr && gHooks->moveFile != nullptr) return gHooks->moveFile(from.c_str(), to.c_str());
  return ::MoveFileW(from.c_str(), to.c_str());
}

// The name a new temporary file got from GetTempFileNameW; empty when none could be made.
std::wstring NewTempFileName(const std::wstring& folder, const std::wstring& prefix) {
  wchar_t name[MAX_PATH];
  if (::GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, name) == 0) return std::wstring();
  return name;
}

std::wstring WithExtension(const std::wstring& path, const std::wstring& extension) {
  std::wstring result = path;
  const size_t slash = result.rfind(L'\\');
  const size_t dot = result.rfind(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) result.resize(dot);
  return result + L'.' + extension;
}

// Exact, case-sensitive comparison with the Windows folder's text, as the shell gives it.
bool IsInsideWindowsFolder(const std::wstring& path) {
  wchar_t windows[kPathRoom];
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, SHGFP_TYPE_CURRENT, windows))) return false;
  const size_t length = wcsnlen(windows, kPathRoom);
  return length > 0 && path.size() >= length && path.compare(0, length, windows, length) == 0;
}

}  // namespace

const std::wstring& GetSecureTempFolder() {
  std::lock_guard<std::mutex> lock(CacheLock());
  std::wstring& cache = Cache();
  if (!cache.empty()) return cache;
  const std::wstring folder = IsLocalSystem() ? LocalSystemTempFolder() : UserTempFolder();
  if (!folder.empty()) cache = EnsureTrailingBackslash(FromLongPath(folder));
  return cache;
}

std::wstring CreateTempFile(const std::wstring& prefix, const std::wstring& extension) {
  const std::wstring folder = GetSecureTempFolder();
  const std::wstring suffix = !extension.empty() && extension[0] == L'.' ? extension.substr(1) : extension;
  // The file of the failed attempt before; deleted only once the next file exists, so that the
  // system cannot hand out the same name again.
  std::wstring previous;
  for (int attempt = 0; attempt < kTempFileAttempts; ++attempt) {
    const std::wstring name = NewTempFileName(folder, prefix);
    if (!previous.empty()) ::DeleteFileW(previous.c_str());
    previous.clear();
    if (name.empty()) return std::wstring();
    // A lone "." names no extension: Windows would drop it from the name anyway.
    if (suffix.empty()) return FromLongPath(name);
    const std::wstring target = WithExtension(FromLongPath(name), suffix);
    if (MoveTempFile(name, ToLongPath(target))) return target;
    previous = name;
  }
  if (!previous.empty()) ::DeleteFileW(previous.c_str());
  return std::wstring();
}

ShimClone::ShimClone(const std::wstring& path) : Path(path), original_(path) {
  if (!IsOsAtLeast(10, 0, 0, 0) || !IsInsideWindowsFolder(path)) return;
  const std::wstring copy = NewTempFileName(EnsureTrailingBackslash(GetSecureTempFolder()), L"shim_clone");
  if (copy.empty()) return;
  BOOL copied = FALSE;
  {
    // The 64-bit system file is the one to read, not its 32-bit twin.
    Wow64RedirectionOff redirectionOff(GetOsInfo().is64BitWindows);
    copied = ::CopyFileW(ToLongPath(path).c_str(), copy.c_str(), FALSE);
  }
  if (!copied) {
    ::DeleteFileW(copy.c_str());
    return;
  }
  Path = copy;
  isCopy_ = true;
}

void ShimClone::DeleteCopy() {
  if (!isCopy_) return;
  ::DeleteFileW(Path.c_str());
  Path = original_;
  isCopy_ = false;
}

bool GetCommonAppDataFolder(std::wstring& path) {
  wchar_t folder[kPathRoom] = {};
  bool found = false;
  PIDLIST_ABSOLUTE list = nullptr;
  if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_APPDATA, &list)) && list != nullptr) {
    found = ::SHGetPathFromIDListW(list, folder) != FALSE;
    ::CoTaskMemFree(list);
  }
  if (!found) {
    static LibraryHolder shell32 = LoadSystemLibrary(L"shell32.dll");
    static const auto getSpecialFolderPath =
        GetLibraryFunction<SHGetSpecialFolderPathFunction>(shell32, "SHGetSpecialFolderPathW");
    found = getSpecialFolderPath != nullptr && getSpecialFolderPath(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE);
  }
  folder[MAX_PATH] = L'\0';
  if (!found || folder[0] == L'\0') return false;
  path = EnsureTrailingBackslash(folder);
  return true;
}

void SetTempFolderHooksForTesting(const TempFolderHooksForTesting* hooks) {
  std::lock_guard<std::mutex> lock(CacheLock());
  gHooks = hooks;
  Cache().clear();
}

}  // namespace quillon
