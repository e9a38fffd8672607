#include "platform/core/VersionInfo.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace quillon {

bool GetProductName(std::wstring& nameInOut) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(nameInOut.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<unsigned char> data(size);
  if (!::GetFileVersionInfoW(nameInOut.c_str(), 0, size, data.data())) return false;

  unsigned language = 0x0409;
  unsigned codePage = 0x04E2;
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length) &&
      length >= sizeof(Translation)) {
    language = translations[0].language;
    codePage = translations[0].codePage;
  }
  wchar_t query[64];
  _snwprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, L"ProductName");
  query[63] = L'\0';
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&value), &length) || value == nullptr) return false;
  nameInOut.assign(value, wcsnlen(value, length));
  return true;
}

}  // namespace quillon
