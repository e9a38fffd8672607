#pragma once
// A fresh folder under the temporary folder, removed with everything in it at the end of the scope.

#include <windows.h>

#include <string>

namespace quillon::testing {

// Deletes a folder and everything below it; long paths included.
inline void RemoveTree(const std::wstring& folder) {
  const std::wstring base = folder.compare(0, 4, L"\\\\?\\") == 0 ? folder : L"\\\\?\\" + folder;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((base + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = base + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(base.c_str());
}

class ScopedTempFolder {
 public:
  ScopedTempFolder() {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    for (unsigned attempt = ::GetTickCount();; ++attempt) {
      path_ = std::wstring(temp) + L"chainer-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(attempt);
      if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
  }
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;
  ~ScopedTempFolder() { RemoveTree(path_); }

  // The folder, without a trailing backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes raw bytes into a file, replacing it.
inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(file);
  return ok;
}

// The UTF-16 LE bytes of a text, with or without the byte-order mark.
inline std::string Utf16Bytes(const std::wstring& text, bool withBom = true) {
  std::string bytes;
  if (withBom) bytes = "\xFF\xFE";
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

}  // namespace quillon::testing
