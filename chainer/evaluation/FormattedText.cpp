#include "chainer/evaluation/FormattedText.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/core/Holders.h"
#include "platform/core/Paths.h"
#include "platform/core/Registry.h"
#include "platform/core/SystemLibraries.h"
#include "platform/core/SystemText.h"
#include "platform/core/TempFolders.h"
#include "platform/core/VersionInfo.h"

namespace quillon {
namespace {

using FolderPathFunction = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

// The system folder queries fill buffers of this many characters, terminator included.
constexpr DWORD kPathRoom = MAX_PATH;
// The longest module path the system can give.
constexpr DWORD kModulePathRoom = 32768;

constexpr int kShellVersionUnknown = 0;
constexpr int kShellVersionOld = 1;
constexpr int kShellVersion5OrLater = 2;

struct ShellFolder {
  const wchar_t* name;
  int csidl;
};

// Looked up top to bottom; ProgramFiles64Folder lands here only without ProgramW6432, where the
// shell's program-files folder is the only one there is.
constexpr ShellFolder kShellFolders[] = {
    {L"ProgramFilesFolder", CSIDL_PROGRAM_FILES},
    {L"CommonFilesFolder", CSIDL_PROGRAM_FILES_COMMON},
    {L"DesktopFolder", CSIDL_DESKTOPDIRECTORY},
    {L"AllUsersDesktopFolder", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"AppDataFolder", CSIDL_APPDATA},
    {L"FavoritesFolder", CSIDL_FAVORITES},
    {L"StartMenuFolder", CSIDL_STARTMENU},
    {L"ProgramMenuFolder", CSIDL_PROGRAMS},
    {L"StartupFolder", CSIDL_STARTUP},
    {L"FontsFolder", CSIDL_FONTS},
    {L"LocalAppDataFolder", CSIDL_LOCAL_APPDATA},
    {L"CommonAppDataFolder", CSIDL_COMMON_APPDATA},
    {L"ProgramFiles64Folder", CSIDL_PROGRAM_FILES},
    {L"ProgramFiles", CSIDL_PROGRAM_FILES},
};

const FolderPropertyHooksForTesting* gHooks = nullptr;

std::atomic<int> gShellVersion{kShellVersionUnknown};

std::mutex& SetupExeDirLock() {
  static std::mutex lock;
  return lock;
}

std::optional<std::wstring>& SetupExeDirCache() {
  static std::optional<std::wstring> cache;
  return cache;
}

// A path the shell wrote into `buffer`, with its trailing backslash; empty when it wrote none.
std::wstring FolderFromBuffer(wchar_t* buffer, size_t room) {
  buffer[room - 1] = L'\0';
  return EnsureTrailingBackslash(buffer);
}

std::wstring WindowsDirectory() {
  return ReadSystemPath(kPathRoom, [](wchar_t* buffer, UINT room) { return ::GetWindowsDirectoryW(buffer, room); });
}

std::wstring ModuleFileName() {
  const auto getModuleFileName = gHooks != nullptr && gHooks->getModuleFileName != nullptr
                                     ? gHooks->getModuleFileName
                                     : &::GetModuleFileNameW;
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = getModuleFileName(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    // A full buffer means the path was cut.
    if (buffer.size() >= kModulePathRoom) return std::wstring();
    buffer.resize(std::min<size_t>(buffer.size() * 2, kModulePathRoom));
  }
}

// The running executable's folder up to its last backslash, computed once for the process.
std::wstring SetupExeDir() {
  std::lock_guard<std::mutex> lock(SetupExeDirLock());
  std::optional<std::wstring>& cache = SetupExeDirCache();
  if (!cache.has_value()) {
    const std::wstring path = ModuleFileName();
    const size_t slash = path.rfind(L'\\');
    cache = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
  }
  return *cache;
}

// Shlwapi's version, or shell32's when Shlwapi reports none. Decided once for the process. A shell
// that reports no version at all counts as a current one: every Windows the chainer runs on has
// shell 6, and a library that failed to load (say, under a search's WOW64 redirection) says nothing
// about the shell's age.
bool ShellIsVersion5OrLater() {
  if (gHooks != nullptr && gHooks->shellIsVersion5OrLater.has_value()) return *gHooks->shellIsVersion5OrLater;
  int decision = gShellVersion.load();
  if (decision == kShellVersionUnknown) {
    DWORD major = 0;
    DWORD minor = 0;
    const bool known = GetDllVersion(L"Shlwapi.dll", major, minor) || GetDllVersion(L"Shell32.dll", major, minor);
    decision = !known || major >= 5 ? kShellVersion5OrLater : kShellVersionOld;
    gShellVersion.store(decision);
  }
  return decision == kShellVersion5OrLater;
}

// shfolder.dll's SHGetFolderPathW, loaded on first need and kept for the rest of the process.
FolderPathFunction ShfolderGetFolderPath() {
  if (gHooks != nullptr && gHooks->shfolderMissing) return nullptr;
  if (gHooks != nullptr && gHooks->shfolderGetFolderPath != nullptr) return gHooks->shfolderGetFolderPath;
  static const FolderPathFunction function = [] {
    static LibraryHolder shfolder = LoadSystemLibrary(L"shfolder.dll");
    return GetLibraryFunction<FolderPathFunction>(shfolder, "SHGetFolderPathW");
  }();
  return function;
}

// A folder of the shell table: from the folder's item identifier list, else through shfolder.dll,
// else (on a shell older than version 5 only) from the environment.
bool ResolveShellFolder(const std::wstring& name, int csidl, std::wstring& path) {
  const auto getLocation = gHooks != nullptr && gHooks->getSpecialFolderLocation != nullptr
                               ? gHooks->getSpecialFolderLocation
                               : &::SHGetSpecialFolderLocation;
  PIDLIST_ABSOLUTE list = nullptr;
  const HRESULT located = getLocation(nullptr, csidl, &list);
  if (SUCCEEDED(located) && list != nullptr) {
    const auto getPath = gHooks != nullptr && gHooks->getPathFromIdList != nullptr ? gHooks->getPathFromIdList
                                                                                   : &::SHGetPathFromIDListW;
    wchar_t buffer[kPathRoom + 1] = {};
    const BOOL converted = getPath(list, buffer);
    ::CoTaskMemFree(list);
    const std::wstring folder = FolderFromBuffer(buffer, kPathRoom + 1);
    // The folder exists but is no file-system folder: the other queries would not know better.
    if (!converted || folder.empty()) return false;
    path = folder;
    return true;
  }
  ::CoTaskMemFree(list);  // a failing call leaves it null; freeing null does nothing

  if (const FolderPathFunction getFolderPath = ShfolderGetFolderPath()) {
    wchar_t buffer[kPathRoom + 1] = {};
    if (SUCCEEDED(getFolderPath(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
      const std::wstring folder = FolderFromBuffer(buffer, kPathRoom + 1);
      if (!folder.empty()) {
        path = folder;
        return true;
      }
    }
  }

  // A current shell that cannot name the folder has none; only very old shells keep these two in
  // the environment.
  if (ShellIsVersion5OrLater()) return false;
  const wchar_t* variable = nullptr;
  if (name == L"ProgramFilesFolder" || name == L"ProgramFiles") variable = L"PROGRAMFILES";
  if (name == L"AppDataFolder") variable = L"APPDATA";
  if (variable == nullptr) return false;
  std::wstring value;
  if (!GetEnvironmentText(variable, value)) return false;
  path = EnsureTrailingBackslash(value);
  return true;
}

// The path of the folder property `name`; false when the name is none or the system gives no folder.
bool FolderPath(const std::wstring& name, bool use64BitView, std::wstring& path) {
  if (name == L"ProgramFiles64Folder") {
    std::wstring value;
    if (GetEnvironmentText(L"ProgramW6432", value)) {
      path = value.empty() || value.back() != L'\\' ? value + L'\\' : value;
      return true;
    }
  }
  if (name == L"SystemFolder") {
    const auto getFolderPath =
        gHooks != nullptr && gHooks->getFolderPath != nullptr ? gHooks->getFolderPath : &::SHGetFolderPathW;
    wchar_t buffer[kPathRoom + 1] = {};
    const HRESULT result = getFolderPath(nullptr, use64BitView ? CSIDL_SYSTEM : CSIDL_SYSTEMX86, nullptr,
                                         SHGFP_TYPE_CURRENT, buffer);
    // Without a folder the property stays in the text, where the log shows it, rather than
    // becoming a bare "\" that means the root of whatever drive is current.
    path = FolderFromBuffer(buffer, kPathRoom + 1);
    return SUCCEEDED(result) && !path.empty();
  }
  if (name == L"System32Folder") {
    path = EnsureTrailingBackslash(
        ReadSystemPath(kPathRoom, [](wchar_t* buffer, UINT room) { return ::GetSystemDirectoryW(buffer, room); }));
    return !path.empty();
  }
  if (name == L"WindowsFolder") {
    path = EnsureTrailingBackslash(WindowsDirectory());
    return !path.empty();
  }
  if (name == L"WindowsVolume") {
    const std::wstring windows = WindowsDirectory();
    if (windows.size() < 3) return false;
    path = windows.substr(0, 3);
    return true;
  }
  if (name == L"TempFolder") {
    path = EnsureTrailingBackslash(FromLongPath(GetSecureTempFolder()));
    return !path.empty();
  }
  if (name == L"SETUPEXEDIR") {
    path = SetupExeDir();
    return !path.empty();
  }
  for (const ShellFolder& folder : kShellFolders) {
    if (name == folder.name) return ResolveShellFolder(name, folder.csidl, path);
  }
  return false;
}

}  // namespace

bool ResolveFolderProperty(std::wstring& name, bool use64BitView) {
  std::wstring path;
  if (!FolderPath(name, use64BitView, path)) return false;
  name = std::move(path);
  return true;
}

std::wstring ExpandFormattedText(const std::wstring& text, bool use64BitView) {
  std::wstring result;
  result.reserve(text.size());
  size_t copy = 0;
  for (;;) {
    const size_t open = text.find_first_of(L"[%!", copy);
    if (open == std::wstring::npos) {
      result.append(text, copy, std::wstring::npos);
      return result;
    }
    result.append(text, copy, open - copy);

    const wchar_t opener = text[open];
    const wchar_t closer = opener == L'[' ? L']' : opener;
    // "!!" never makes an empty registry reference: the closing mark comes at the earliest after
    // one character of the path.
    const size_t searchFrom = open + (opener == L'[' ? 0 : opener == L'%' ? 1 : 2);
    const size_t close = searchFrom < text.size() ? text.find(closer, searchFrom) : std::wstring::npos;
    if (close == std::wstring::npos) {
      result.append(text, open, std::wstring::npos);
      return result;
    }

    std::wstring name = text.substr(open + 1, close - open - 1);
    if (opener == L'[') {
      if (ResolveFolderProperty(name, use64BitView)) {
        result += name;
      } else {
        result.append(text, open, close - open + 1);
      }
    } else if (opener == L'%') {
      std::wstring value;
      if (GetEnvironmentText(name, value)) result += value;
    } else {
      result += ReadValueForExpansion(name, use64BitView);
    }
    copy = close + 1;
  }
}

void SetFolderPropertyHooksForTesting(const FolderPropertyHooksForTesting* hooks) {
  std::lock_guard<std::mutex> lock(SetupExeDirLock());
  gHooks = hooks;
  SetupExeDirCache().reset();
  gShellVersion.store(kShellVersionUnknown);
}

}  // namespace quillon
