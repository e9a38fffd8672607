#include "platform/core/SystemText.h"

#include <climits>

namespace quillon {

std::wstring GetSystemErrorText(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text;
  if (length != 0 && message != nullptr) text.assign(message, length);
  if (message != nullptr) ::LocalFree(message);
  return text.empty() ? std::to_wstring(code) : text;
}

bool GetEnvironmentText(const std::wstring& name, std::wstring& text) {
  text.clear();
  if (name.empty()) return false;
  std::wstring value(256, L'\0');
  // The variable may grow between the size query and the read (another thread); a few rounds settle it.
  for (int attempt = 0; attempt < 4; ++attempt) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;  // exists, but empty
    if (length < value.size()) {
      value.resize(length);
      text = std::move(value);
      return true;
    }
    value.assign(length, L'\0');  // the size needed, terminator included
  }
  return false;
}

std::string WideToMultiByte(const std::wstring& text, UINT codePage) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  if (::WideCharToMultiByte(codePage, 0, text.data(), length, result.data(), size, nullptr, nullptr) != size) {
    return std::string();
  }
  return result;
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring result(static_cast<size_t>(size), L'\0');
  if (::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, result.data(), size) != size) {
    return std::wstring();
  }
  return result;
}

}  // namespace quillon
