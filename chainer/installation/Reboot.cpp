#include "chainer/installation/Reboot.h"

#include <string>

#include "chainer/installation/PackageLauncher.h"
#include "chainer/resources/Resource.h"
#include "platform/core/Holders.h"
#include "platform/core/Logger.h"
#include "platform/core/Resources.h"

namespace quillon {
namespace {

const RebootHooksForTesting* gHooks = nullptr;

int AskUser(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  if (gHooks != nullptr && gHooks->messageBox != nullptr) return gHooks->messageBox(owner, text.c_str(), caption.c_str(), type);
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

BOOL RestartWindows(UINT flags, DWORD reason) {
  if (gHooks != nullptr && gHooks->exitWindows != nullptr) return gHooks->exitWindows(flags, reason);
  return ::ExitWindowsEx(flags, reason);
}

}  // namespace

bool Reboot(bool silent, RebootState& state) {
  if (!silent) {
    const int answer = AskUser(::GetForegroundWindow(), LoadResourceString(IDS_REBOOT_PROMPT),
                               LoadResourceString(IDS_REBOOT_CAPTION), MB_YESNO | MB_ICONINFORMATION);
    if (answer == IDNO) {
      state.RebootRefused = true;
      return false;
    }
  }
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
  const KernelHandle token(raw);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return false;
  if (!::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
  // AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED when the privilege is not held.
  if (::GetLastError() != ERROR_SUCCESS) return false;
  return RestartWindows(EWX_REBOOT | EWX_FORCE, kRebootReason) != FALSE;
}

int32_t PackageLauncher::RunLaunchItem(size_t index, bool silent) {
  if (!LaunchFile(index)) return 1;
  const LaunchItem& item = items_.at(index);
  if (item.rebootMode == 1 ||
      (item.rebootMode == 2 && rebootState_.IsInstalledNow(static_cast<size_t>(item.prerequisiteIndex)))) {
    if (gLoggingEnabled) gLogger.Log(L"Rebooting machine...");
    rebootState_.RebootRequired = true;
    Reboot(silent, rebootState_);
    return 2;
  }
  if (item.returnCode == ERROR_SUCCESS_REBOOT_REQUIRED) {
    rebootState_.RebootRefused = true;
    return 2;
  }
  return 0;
}

void SetRebootHooksForTesting(const RebootHooksForTesting* hooks) { gHooks = hooks; }

}  // namespace quillon
