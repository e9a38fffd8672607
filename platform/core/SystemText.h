#pragma once
// Texts the system keeps: error messages, environment variables, and 8-bit code-page conversions.

#include <windows.h>

#include <string>

namespace quillon {

// The system's message for the Win32 error `code` (neutral language, inserts left as they are), with
// the line break the system puts at its end; the code as an unsigned decimal number when the system
// has no message for it.
std::wstring GetSystemErrorText(DWORD code);

// True with the variable's value in `text` (possibly empty) when the environment variable `name`
// exists; false with `text` emptied when it does not, or the name is empty.
bool GetEnvironmentText(const std::wstring& name, std::wstring& text);

// `text` in the 8-bit code page `codePage`, without a replacement character for what it cannot
// show (the system's own rules apply); empty when the conversion fails.
std::string WideToMultiByte(const std::wstring& text, UINT codePage);

// `text` read in the calling thread's ANSI code page (CP_THREAD_ACP); empty when the conversion fails.
std::wstring AnsiToWide(const std::string& text);

// The path a system call writes into a buffer of `room` characters, the call given as
// call(buffer, room) and answering the length without terminator; empty when it failed or the path
// did not fit.
template <typename Call>
std::wstring ReadSystemPath(DWORD room, Call call) {
  std::wstring buffer(room, L'\0');
  const DWORD length = static_cast<DWORD>(call(buffer.data(), room));
  if (length == 0 || length >= room) return std::wstring();
  buffer.resize(length);
  return buffer;
}

}  // namespace quillon
