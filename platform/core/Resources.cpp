#include "platform/core/Resources.h"

#include <windows.h>

namespace quillon {

std::wstring LoadResourceString(unsigned id) {
  wchar_t buffer[1300];
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, buffer, 1300);
  return length > 0 ? std::wstring(buffer, static_cast<size_t>(length)) : std::wstring();
}

}  // namespace quillon
