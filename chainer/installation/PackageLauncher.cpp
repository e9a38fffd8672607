#include "chainer/installation/PackageLauncher.h"

#include <shellapi.h>

#include "platform/core/Holders.h"
#include "platform/core/Paths.h"

namespace quillon {
namespace {

std::wstring WithoutLongPrefix(const std::wstring& path) { return HasLongPrefix(path) ? path.substr(4) : path; }

}  // namespace

bool LaunchAndWait(const std::wstring& file, const std::wstring& parameters, const std::wstring& workingFolder,
                   bool hidden, DWORD& code) {
  // The shell would open the working folder itself for an empty file name.
  if (file.empty()) {
    code = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const std::wstring target = WithoutLongPrefix(file);
  const std::wstring folder = WithoutLongPrefix(workingFolder.empty() ? GetFolderPart(file) : workingFolder);

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = target.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = hidden ? SW_HIDE : SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    code = ::GetLastError();
    return false;
  }
  if (info.hProcess == nullptr) return true;  // handed to a program that was running already
  const KernelHandle process(info.hProcess);
  ::WaitForSingleObject(process.Get(), INFINITE);
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(process.Get(), &exitCode)) code = exitCode;
  return true;
}

}  // namespace quillon
