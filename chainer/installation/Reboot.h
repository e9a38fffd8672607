#pragma once
// Restarting Windows after a package, and the flags through which the installation pass learns of it.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace quillon {

// The reboot flags of a pass and the question the reboot decision asks it; the installation pass
// implements it.
class RebootState {
 public:
  virtual ~RebootState() = default;

  // Evaluates prerequisite `index` again and answers whether an acceptable version is installed now.
  virtual bool IsInstalledNow(size_t index) = 0;

  bool RebootRefused = false;     // a reboot is needed but not performed now
  bool RebootRequired = false;    // the reboot handling was started for a launched package
  bool RebootInProgress = false;  // the basic-UI window received WM_ENDSESSION
};

// The reason given to Windows for a restart: planned, application, installation.
inline constexpr DWORD kRebootReason = 0x80040002;

// Asks the user first unless `silent` (No sets `state.RebootRefused` and answers false), then enables
// the shutdown privilege and asks Windows to restart at once, forced. True when Windows accepted.
bool Reboot(bool silent, RebootState& state);

// Stand-ins for the confirmation and for the restart itself; null members keep the system call.
struct RebootHooksForTesting {
  int(WINAPI* messageBox)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) = nullptr;
  BOOL(WINAPI* exitWindows)(UINT flags, DWORD reason) = nullptr;
};

// Installs `hooks` (nullptr puts the system back); they must outlive their use.
void SetRebootHooksForTesting(const RebootHooksForTesting* hooks);

}  // namespace quillon
