#pragma once
// The application object: one per process, it turns the configuration beside the executable into
// one installation pass and holds the exit code.

#include <cstdint>
#include <string>
#include <vector>

#include "chainer/Cleanup.h"
#include "chainer/installation/Extractor.h"
#include "chainer/ui/ProgressDialog.h"

namespace quillon {

// What the wait for other Windows Installer transactions allows.
enum class InstallerWait {
  Proceed,    // no transaction was running, or the running one ended
  DoNotRun,   // the wait failed, was abandoned, or the mutex could not be opened
};

// Waits without a time limit until no other installation holds the named mutex (the Windows
// Installer's own, unless a test names another).
InstallerWait WaitForInstallerMutex(const wchar_t* name = L"Global\\_MSIExecute");

// The full path of the running executable, however long.
std::wstring GetRunningModulePath();

// The configuration file of an executable: its folder, its base name (cut at the last dot) and ".ini".
std::wstring IniPathForModule(const std::wstring& modulePath);

class ChainerApp {
 public:
  ChainerApp() = default;
  ChainerApp(const ChainerApp&) = delete;
  ChainerApp& operator=(const ChainerApp&) = delete;
  // Performs the end-of-run clean-up before the members go.
  ~ChainerApp();

  // The main flow. Only ExitCode counts afterwards.
  void Run();

  int32_t ExitCode = 0;
  bool Silent = false;
  ::quillon::Extractor Extractor;
  ::quillon::ProgressDialog ProgressDialog;
  std::vector<std::wstring> FilesToDelete;
  ::quillon::CleanupScriptRunner CleanupScriptRunner;
  std::wstring ModulePath;
  std::wstring IniPath;
  std::wstring ModuleFolder;
  std::wstring CleanupFolder;
};

}  // namespace quillon
