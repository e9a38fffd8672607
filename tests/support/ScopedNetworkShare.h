#pragma once
// A network share of the test's own, \\127.0.0.1\<unique>, removed with its contents at the end of
// the scope. Wine serves \\server\share from the folder dosdevices\unc\server\share of the prefix
// (reached through the Z: drive), so the share is made there. Outside Wine, or without WINEPREFIX,
// it is not available and the tests that need it skip.

#include <windows.h>

#include <string>

#include "tests/support/ScopedTempFolder.h"

namespace quillon::testing {

class ScopedNetworkShare {
 public:
  ScopedNetworkShare() {
    wchar_t prefix[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || prefix[0] != L'/') return;
    std::wstring folder = L"Z:" + std::wstring(prefix, length);
    for (wchar_t& c : folder) {
      if (c == L'/') c = L'\\';
    }
    uncFolder_ = folder + L"\\dosdevices\\unc";
    serverFolder_ = uncFolder_ + L"\\127.0.0.1";
    ::CreateDirectoryW(uncFolder_.c_str(), nullptr);
    ::CreateDirectoryW(serverFolder_.c_str(), nullptr);
    const std::wstring name = L"chainer-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount());
    if (!::CreateDirectoryW((serverFolder_ + L"\\" + name).c_str(), nullptr)) return;
    shareFolder_ = serverFolder_ + L"\\" + name;
    path_ = L"\\\\127.0.0.1\\" + name;
  }
  ScopedNetworkShare(const ScopedNetworkShare&) = delete;
  ScopedNetworkShare& operator=(const ScopedNetworkShare&) = delete;
  ~ScopedNetworkShare() {
    if (!shareFolder_.empty()) RemoveTree(shareFolder_);
    if (!serverFolder_.empty()) ::RemoveDirectoryW(serverFolder_.c_str());  // only when no other share is left
    if (!uncFolder_.empty()) ::RemoveDirectoryW(uncFolder_.c_str());
  }

  bool IsAvailable() const { return !path_.empty(); }
  // The share as a network path, without trailing backslash: \\127.0.0.1\<unique>.
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring uncFolder_;
  std::wstring serverFolder_;
  std::wstring shareFolder_;
  std::wstring path_;
};

}  // namespace quillon::testing
