#include "platform/core/TempFolders.h"

#include <windows.h>

namespace quillon {

const std::wstring& GetSecureTempFolder() {
  static std::wstring cache;
  if (!cache.empty()) return cache;
  wchar_t path[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  if (length != 0 && length <= MAX_PATH) {
    wchar_t shortPath[MAX_PATH + 1];
    const DWORD shortLength = ::GetShortPathNameW(path, shortPath, MAX_PATH + 1);
    cache = (shortLength != 0 && shortLength <= MAX_PATH) ? shortPath : path;
  }
  return cache;
}

}  // namespace quillon
