#include "chainer/installation/PackageLauncher.h"

#include <cwctype>
#include <regex>

#include "chainer/evaluation/FormattedText.h"
#include "chainer/installation/AppPackageInstaller.h"
#include "platform/core/AccessLists.h"
#include "platform/core/Files.h"
#include "platform/core/Holders.h"
#include "platform/core/Logger.h"
#include "platform/core/Paths.h"
#include "platform/core/Registry.h"
#include "platform/core/SystemText.h"

namespace quillon {
namespace {

const LauncherHooksForTesting* gHooks = nullptr;

std::wstring WithoutLongPrefix(const std::wstring& path) { return HasLongPrefix(path) ? path.substr(4) : path; }

std::wstring Lowercase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The text after the last dot of the file name, lowercased; empty when the name has no dot.
std::wstring LowercaseExtension(const std::wstring& path) {
  const size_t nameStart = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (nameStart != std::wstring::npos && dot < nameStart)) return std::wstring();
  return Lowercase(path.substr(dot + 1));
}

bool IsAppPackageExtension(const std::wstring& extension) {
  return extension == L"msix" || extension == L"msixbundle" || extension == L"appx";
}

bool StartDirectly(const std::wstring& application, const std::wstring& commandLine, DWORD& code) {
  if (gHooks != nullptr && gHooks->createProcessAndWait != nullptr) {
    return gHooks->createProcessAndWait(application, commandLine, NORMAL_PRIORITY_CLASS, code);
  }
  return CreateProcessAndWait(application, commandLine, NORMAL_PRIORITY_CLASS, code);
}

// LocalSystem has no shell to open files with: MSI packages go to msiexec, anything else starts as
// a program.
bool StartAsLocalSystem(const std::wstring& filePath, const std::wstring& commandLine, DWORD& code) {
  std::wstring args = ExpandFormattedText(commandLine, false);
  if (!args.empty() && args.front() != L' ') args.insert(0, 1, L' ');
  if (LowercaseExtension(WithoutLongPrefix(filePath)) == L"msi") {
    const std::wstring target = WithoutLongPrefix(GetFinalPath(filePath));
    return StartDirectly(std::wstring(), L"msiexec.exe /i \"" + target + L"\"" + args, code);
  }
  return StartDirectly(filePath, L"\"" + filePath + L"\" " + args, code);
}

BOOL ShellExecuteForLaunch(SHELLEXECUTEINFOW* info) {
  if (gHooks != nullptr && gHooks->shellExecuteEx != nullptr) return gHooks->shellExecuteEx(info);
  return ::ShellExecuteExW(info);
}

void Pause(DWORD milliseconds) {
  if (gHooks != nullptr && gHooks->pause != nullptr) {
    gHooks->pause(milliseconds);
    return;
  }
  ::Sleep(milliseconds);
}

}  // namespace

PackageLauncher::PackageLauncher(UserSettingsStore& store, RebootState& rebootState)
    : store_(store), rebootState_(rebootState) {}

void PackageLauncher::AddLaunchItem(const std::wstring& filePath, const std::wstring& commandLine,
                                    const std::wstring& name, int32_t rebootMode, bool silent,
                                    int32_t prerequisiteIndex, const std::wstring& retValPropName) {
  items_.push_back(LaunchItem{filePath, commandLine, name, rebootMode, silent, prerequisiteIndex, retValPropName, 0});
}

bool PackageLauncher::LaunchFile(size_t index) {
  LaunchItem& item = items_.at(index);
  if (gLoggingEnabled) gLogger.Log(L"Launching file:" + item.filePath);
  const bool quiet = IsQuietCommandLine(item.commandLine);
  bool started = false;
  DWORD code = item.returnCode;
  if (IsAppPackageExtension(LowercaseExtension(WithoutLongPrefix(item.filePath)))) {
    code = InstallAppPackage(WithoutLongPrefix(item.filePath)) == kAppPackageInstalled ? 0 : ERROR_FUNCTION_FAILED;
    started = code == 0;
  } else if (IsLocalSystem()) {
    started = StartAsLocalSystem(item.filePath, item.commandLine, code);
  } else {
    started = LaunchAndWait(item.filePath, item.commandLine, GetFolderPart(item.filePath), quiet, code);
  }
  item.returnCode = code;
  if (!started) {
    lastError_ = code;
    if (gLoggingEnabled) gLogger.Log(L"Launch failed. Error:" + GetSystemErrorText(code));
  }
  if (gLoggingEnabled) gLogger.Log(L"Return code of launched file:" + std::to_wstring(static_cast<unsigned long>(code)));
  // A name the registry refuses loses only the record, never the run.
  store_.SetInt(WideToMultiByte(item.retValPropName, CP_ACP), static_cast<int32_t>(code));
  // Give a restart request or a crashed package's clean-up a moment to settle.
  if (code == ERROR_SUCCESS_REBOOT_REQUIRED || code >= 0xC0000000u) Pause(2000);
  return code == 0 || code == ERROR_SUCCESS_REBOOT_REQUIRED;
}

bool IsQuietCommandLine(const std::wstring& commandLine) {
  static const std::wregex kQuietSwitch(L" ?(-|/)+q", std::regex_constants::ECMAScript);
  return std::regex_search(commandLine, kQuietSwitch);
}

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

bool CreateProcessAndWait(const std::wstring& application, const std::wstring& commandLine, DWORD creationFlags,
                          DWORD& code) {
  // CreateProcessW may write into the command line.
  std::wstring writable = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(),
                        writable.empty() ? nullptr : writable.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                        nullptr, &startup, &process)) {
    code = ::GetLastError();
    return false;
  }
  const KernelHandle thread(process.hThread);
  const KernelHandle handle(process.hProcess);
  ::WaitForSingleObject(handle.Get(), INFINITE);
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(handle.Get(), &exitCode)) code = exitCode;
  return true;
}

bool ShellLaunch(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder, bool elevate) {
  std::wstring target = file;
  std::wstring arguments = parameters;
  const std::wstring tail = file.size() >= 4 ? Lowercase(file.substr(file.size() - 4)) : std::wstring();
  // An elevated script needs the interpreter itself to be the elevated program.
  if (elevate && (tail == L".bat" || tail == L".cmd")) {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    target = std::wstring(windows) + L"\\System32\\cmd.exe";
    arguments = L"/C \"\"" + file + L"\" " + parameters + L"\"";
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = elevate ? L"runas" : L"open";
  info.lpFile = target.c_str();
  info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_HIDE;
  if (elevate) info.hwnd = ::GetForegroundWindow();
  if (!ShellExecuteForLaunch(&info)) {
    const INT_PTR instance = reinterpret_cast<INT_PTR>(info.hInstApp);
    if (instance == SE_ERR_NOASSOC || instance == SE_ERR_ASSOCINCOMPLETE) {
      info.fMask = SEE_MASK_NOCLOSEPROCESS;
      info.lpVerb = nullptr;
      ShellExecuteForLaunch(&info);
    }
  }
  if (info.hProcess != nullptr) {
    const KernelHandle process(info.hProcess);
    using GetProcessIdFunction = DWORD(WINAPI*)(HANDLE);
    // GetProcessId is missing before Windows XP SP1; looked up so the chainer still starts there.
    const HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll");
    const auto getProcessId =
        kernel == nullptr ? nullptr
                          : reinterpret_cast<GetProcessIdFunction>(
                                reinterpret_cast<void*>(::GetProcAddress(kernel, "GetProcessId")));
    if (getProcessId != nullptr) ::AllowSetForegroundWindow(getProcessId(process.Get()));
  }
  return true;
}

void SetLauncherHooksForTesting(const LauncherHooksForTesting* hooks) { gHooks = hooks; }

}  // namespace quillon
