#pragma once
// Starting packages and programs and waiting for them.

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chainer/installation/Reboot.h"

namespace quillon {

class UserSettingsStore;

// One package to run, in the order the installation pass queued it.
struct LaunchItem {
  std::wstring filePath;           // may carry the "\\?\" prefix
  std::wstring commandLine;        // the package's arguments
  std::wstring name;               // the prerequisite's Name
  int32_t rebootMode = 0;          // 0, 1 or 2 (the prerequisite's r and R)
  bool silent = false;             // the pass's silent flag
  int32_t prerequisiteIndex = 0;   // the prerequisite's place in the list
  std::wstring retValPropName;     // where the return code is recorded
  DWORD returnCode = 0;            // set when the package has run
};

// Runs the queued packages, records their return codes and decides about restarts.
class PackageLauncher {
 public:
  // Return codes go into `store` (first code per name wins); reboot decisions into `rebootState`.
  PackageLauncher(UserSettingsStore& store, RebootState& rebootState);
  PackageLauncher(const PackageLauncher&) = delete;
  PackageLauncher& operator=(const PackageLauncher&) = delete;

  // Appends an item with return code 0.
  void AddLaunchItem(const std::wstring& filePath, const std::wstring& commandLine, const std::wstring& name,
                     int32_t rebootMode, bool silent, int32_t prerequisiteIndex, const std::wstring& retValPropName);

  // Runs item `index`, logs and records its return code; true when it is 0 or 3010. An index
  // outside the list throws std::out_of_range.
  bool LaunchFile(size_t index);

  // LaunchFile and then the reboot decision: 0 done, 1 the package failed, 2 a restart was started,
  // declined or is pending. An index outside the list throws std::out_of_range.
  int32_t RunLaunchItem(size_t index, bool silent);

  const std::vector<LaunchItem>& Items() const { return items_; }
  DWORD LastError() const { return lastError_; }

 private:
  UserSettingsStore& store_;
  RebootState& rebootState_;
  std::vector<LaunchItem> items_;
  DWORD lastError_ = 0;
};

// True when `commandLine` holds a quiet switch: a q after one or more - or / (case-sensitive).
bool IsQuietCommandLine(const std::wstring& commandLine);

// Opens `file` through the shell (verb "open", no error dialogs) with `parameters` (none when empty),
// in `workingFolder` (the folder part of `file` when empty; "\\?\" prefixes are dropped from both),
// with the window hidden when `hidden` is set, and waits without a time limit. True when the shell
// started it: `code` then holds the process's exit code, or keeps its value when the shell handed the
// file to a program already running. False with `code` = the system error when the start failed; an
// empty `file` fails with ERROR_FILE_NOT_FOUND without asking the shell.
bool LaunchAndWait(const std::wstring& file, const std::wstring& parameters, const std::wstring& workingFolder,
                   bool hidden, DWORD& code);

// Starts `application` (none when empty) with `commandLine` (none when empty) directly and waits
// without a time limit. True with the exit code in `code`; false with the system error.
bool CreateProcessAndWait(const std::wstring& application, const std::wstring& commandLine, DWORD creationFlags,
                          DWORD& code);

// Starts `file` through the shell without waiting, hidden, elevated ("runas") when `elevate`; an
// elevated .bat or .cmd runs through the system's cmd.exe. Always true.
bool ShellLaunch(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder, bool elevate);

// Stand-ins for the direct start (the test system never runs as LocalSystem), the shell start of
// ShellLaunch and the pause after a restart request or a crash; null members keep the real call.
struct LauncherHooksForTesting {
  bool (*createProcessAndWait)(const std::wstring& application, const std::wstring& commandLine, DWORD creationFlags,
                               DWORD& code) = nullptr;
  BOOL(WINAPI* shellExecuteEx)(SHELLEXECUTEINFOW* info) = nullptr;
  void (*pause)(DWORD milliseconds) = nullptr;
};

// Installs `hooks` (nullptr puts the system back); they must outlive their use.
void SetLauncherHooksForTesting(const LauncherHooksForTesting* hooks);

}  // namespace quillon
