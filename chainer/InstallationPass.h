#pragma once
// The installation pass: evaluates, installs what is missing, evaluates again, and gives the exit code.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chainer/acquisition/DownloadCoordinator.h"
#include "chainer/evaluation/Prerequisite.h"
#include "chainer/installation/PackageLauncher.h"
#include "chainer/installation/Reboot.h"

namespace quillon {

class ChainerApp;
class ChainerConfig;
class Extractor;
class ProgressDialog;
class ProgressObserver;
class UserSettingsStore;

// The name of the key under HKEY_CURRENT_USER that holds the packages' return codes during a pass.
inline constexpr char kInterbootContextKey[] = "InterbootContext";

// The state of one pass that has something to install; it lives on the stack of
// RunInstallationPass from the decision to install until the result is known.
class InstallationPass : public RebootState {
 public:
  // Binds the pass to the run's objects; the downloads go to the configuration's resolved download
  // folder. The launcher will be given `interbootContext`.
  InstallationPass(ChainerConfig& config, ::quillon::Extractor& extractor, ::quillon::ProgressDialog& progressDialog,
                   UserSettingsStore& interbootContext);
  InstallationPass(const InstallationPass&) = delete;
  InstallationPass& operator=(const InstallationPass&) = delete;
  ~InstallationPass() override = default;

  // Where the package of prerequisite `index` stands (see the free PackageAvailabilityOf). An index
  // outside the list throws std::out_of_range.
  PrereqOutcome PackageAvailabilityOf(size_t index) const;

  // IsPackagePresent below this pass's download folder.
  bool IsPackagePresent(const std::wstring& location, int32_t exactSize, const std::wstring& folderKey) const;

  // Evaluates again, honouring NoSearch, every prerequisite that was selected and not rejected for
  // its system, refreshes PackageIsPresent of those still to download, and selects again.
  void Reevaluate();

  // False when a mandatory prerequisite (m, without i) is neither installed nor deselected.
  bool AllMandatoryInstalled() const;

  // Evaluates prerequisite `index` again and answers whether an acceptable version is installed now.
  bool IsInstalledNow(size_t index) override;

  // Completes every prerequisite's CommandLine for the run's user-interface mode, queues the
  // packages that lie ready (shipped with the setup or downloaded already) and extracts the packed ones.
  void BuildLaunchList(bool silent);

  // Runs the queued packages in list order until a restart is under way: 0, 1602 when `observer`
  // reports cancellation, 1603 when a mandatory prerequisite failed or asked for a restart.
  int32_t InstallAll(ProgressObserver* observer);

  ChainerConfig& Config;
  ::quillon::Extractor& Extractor;
  ::quillon::ProgressDialog& ProgressDialog;
  ::quillon::Downloader Downloader;
  PackageLauncher Launcher;
  std::vector<int32_t> PackedFilesToExtract;
};

// Logs the reboot state of a pass that installed: whether a reboot was required and, when it was,
// whether it was refused and, when it was not, whether it is in progress.
void LogRebootState(const InstallationPass& pass);

// The result of a pass that installed: 255 while a reboot is pending (required and not refused, or
// in progress), otherwise 1 when `failed`, else 0.
int32_t DecidePassResult(const InstallationPass& pass, bool failed);

// Runs one pass over the configuration's prerequisites and returns the process exit code:
// 0 (every mandatory prerequisite present), 1 (a mandatory one missing) or 255 (reboot pending).
// Also stores 0 or 1 into the application's ExitCode when no reboot is pending. The InterbootContext
// key is deleted when the pass ends.
int32_t RunInstallationPass(ChainerApp& app, ChainerConfig& config);

}  // namespace quillon
