#pragma once
// Turns logging on for a scope and gives the entries written meanwhile, time stamps stripped. The
// process keeps one log file (the logger never switches once it is open), so each capture reads
// only what was appended after it began.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/core/Logger.h"

namespace quillon::testing {

class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    gLogger.SetLogFile(LogPath());
    gLoggingEnabled = true;
    start_ = ReadAll().size();
  }
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture() { gLoggingEnabled = false; }

  // The texts of the entries logged since the capture began, in order.
  std::vector<std::wstring> Entries() const {
    const std::wstring text = ReadAll();
    std::vector<std::wstring> entries;
    size_t at = start_ < text.size() ? start_ : text.size();
    while (at < text.size()) {
      size_t end = text.find(L"\r\n", at);
      if (end == std::wstring::npos) end = text.size();
      const std::wstring line = text.substr(at, end - at);
      // "YYYY-MM-DD HH-MM-SS-" before every entry; header lines have none.
      if (line.size() >= 20 && line[4] == L'-' && line[10] == L' ' && line[19] == L'-') entries.push_back(line.substr(20));
      at = end + 2;
    }
    return entries;
  }

 private:
  static std::wstring LogPath() {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"chainer-test-log-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
  }

  static std::wstring ReadAll() {
    HANDLE file = ::CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    ::CloseHandle(file);
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return text;
  }

  size_t start_ = 0;
};

}  // namespace quillon::testing
