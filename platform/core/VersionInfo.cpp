#include "platform/core/VersionInfo.h"

#include <shlwapi.h>

#include <cwchar>
#include <memory>
#include <new>

#include "platform/core/SystemLibraries.h"
#include "platform/core/TempFolders.h"

namespace quillon {
namespace {

using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

// version.dll is not one of the libraries Windows always takes from the system folder, so it is
// loaded by its full path on first use and kept until the process ends.
struct VersionApi {
  GetFileVersionInfoSizeFunction getSize = nullptr;
  GetFileVersionInfoFunction getInfo = nullptr;
  VerQueryValueFunction query = nullptr;
  DWORD loadError = 0;
  bool IsComplete() const { return getSize != nullptr && getInfo != nullptr && query != nullptr; }
};

const VersionApi& Version() {
  static const VersionApi api = [] {
    VersionApi result;
    LibraryHolder library = LoadSystemLibrary(L"version.dll");
    if (!library.IsValid()) {
      result.loadError = ::GetLastError() != 0 ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
      return result;
    }
    result.getSize = GetLibraryFunction<GetFileVersionInfoSizeFunction>(library, "GetFileVersionInfoSizeW");
    result.getInfo = GetLibraryFunction<GetFileVersionInfoFunction>(library, "GetFileVersionInfoW");
    result.query = GetLibraryFunction<VerQueryValueFunction>(library, "VerQueryValueW");
    result.loadError = result.IsComplete() ? 0 : ERROR_PROC_NOT_FOUND;
    if (result.IsComplete()) static_cast<void>(library.Release());  // stays loaded: the pointers live on
    return result;
  }();
  return api;
}

DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

// The version resource of `path`, or null with `error` set.
std::unique_ptr<unsigned char[]> ReadVersionResource(const VersionApi& api, const std::wstring& path, DWORD& error) {
  DWORD ignored = 0;
  ::SetLastError(ERROR_SUCCESS);
  const DWORD size = api.getSize(path.c_str(), &ignored);
  if (size == 0) {
    error = LastErrorOr(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[size]);
  if (data == nullptr) {
    error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  ::SetLastError(ERROR_SUCCESS);
  if (!api.getInfo(path.c_str(), 0, size, data.get())) {
    error = LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  error = 0;
  return data;
}

bool IsBareFileName(const std::wstring& name) {
  return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

}  // namespace

DWORD GetFileVersion(const std::wstring& path, DWORD& versionMS, DWORD& versionLS) {
  const VersionApi& api = Version();
  if (!api.IsComplete()) return api.loadError;
  ShimClone clone(path);
  DWORD error = 0;
  const std::unique_ptr<unsigned char[]> data = ReadVersionResource(api, clone.Path, error);
  clone.DeleteCopy();
  if (data == nullptr) return error;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ::SetLastError(ERROR_SUCCESS);
  if (!api.query(data.get(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
  }
  versionMS = fixed->dwFileVersionMS;
  versionLS = fixed->dwFileVersionLS;
  return 0;
}

bool GetDllVersion(const std::wstring& path, DWORD& major, DWORD& minor) {
  LibraryHolder library = IsBareFileName(path) ? LoadSystemLibrary(path) : LoadLibraryAtPath(path);
  if (!library.IsValid()) return false;
  const auto dllGetVersion = GetLibraryFunction<DLLGETVERSIONPROC>(library, "DllGetVersion");
  if (dllGetVersion != nullptr) {
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);  // 20 bytes: the first form of the record
    if (FAILED(dllGetVersion(&info))) return false;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
  }
  // The file that was really loaded, so that a bare name reads the system folder's copy.
  std::wstring file(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(library.Get(), file.data(), static_cast<DWORD>(file.size()));
  if (length == 0 || length >= file.size()) return false;
  file.resize(length);
  DWORD versionMS = 0;
  DWORD versionLS = 0;
  if (GetFileVersion(file, versionMS, versionLS) != 0) return false;
  major = HIWORD(versionMS);
  minor = 0;
  return true;
}

bool GetProductName(std::wstring& nameInOut) {
  const VersionApi& api = Version();
  if (!api.IsComplete()) return false;
  DWORD error = 0;
  const std::unique_ptr<unsigned char[]> data = ReadVersionResource(api, nameInOut, error);
  if (data == nullptr) return false;

  unsigned language = 0x0409;
  unsigned codePage = 0x04E2;
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (api.query(data.get(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length) &&
      translations != nullptr && length >= sizeof(Translation)) {
    language = translations[0].language;
    codePage = translations[0].codePage;
  }
  wchar_t query[64];
  _snwprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, L"ProductName");
  query[63] = L'\0';
  wchar_t* value = nullptr;
  if (!api.query(data.get(), query, reinterpret_cast<void**>(&value), &length) || value == nullptr) return false;
  nameInOut.assign(value, wcsnlen(value, length));
  return true;
}

}  // namespace quillon
