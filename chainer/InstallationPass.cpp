#include "chainer/InstallationPass.h"

#include <vector>

#include "chainer/ChainerApp.h"
#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/Selection.h"
#include "chainer/resources/Resource.h"
#include "platform/core/Logger.h"
#include "platform/core/Paths.h"
#include "platform/core/Registry.h"

namespace quillon {
namespace {

const wchar_t* TrueOrFalse(bool value) { return value ? L"true" : L"false"; }

// Everything after the decision to install: the pipeline, the reboot report and the result.
int32_t InstallSelected(ChainerApp& app, ChainerConfig& config, UserSettingsStore& interbootContext) {
  app.ProgressDialog.Close();
  bool failed = false;
  int32_t result = 0;
  {
    InstallationPass pass(config, app.Extractor, app.ProgressDialog, interbootContext);
    if (config.IsSilent()) {
      if (gLoggingEnabled) gLogger.Log(L"Starting installing prerequisites in silent mode.");
      // The downloads, the sites and the launches join here; their answers are not examined.
      if (!pass.RebootRequired) {
        pass.Reevaluate();
        failed = !pass.AllMandatoryInstalled();
      }
    } else if (config.IsBasicUi()) {
      if (gLoggingEnabled) gLogger.Log(L"Starting installing prerequisites in basic UI mode.");
      // The progress window joins here; its result 7 will mean failed.
    }
    LogRebootState(pass);
    result = DecidePassResult(pass, failed);
    if (result != 255) app.ExitCode = result;
  }
  return result;
}

}  // namespace

void LogRebootState(const InstallationPass& pass) {
  if (!gLoggingEnabled) return;
  gLogger.Log(std::wstring(L"After running prerequisites we have:") + L"  Reboot was required=" +
              TrueOrFalse(pass.RebootRequired));
  if (!pass.RebootRequired) return;
  gLogger.Log(std::wstring(L"  Reboot was refused=") + TrueOrFalse(pass.RebootRefused));
  if (!pass.RebootRefused) gLogger.Log(std::wstring(L"  Reboot in Progress=") + TrueOrFalse(pass.RebootInProgress));
}

int32_t DecidePassResult(const InstallationPass& pass, bool failed) {
  if (pass.RebootRequired && !pass.RebootRefused) return 255;
  if (pass.RebootInProgress) return 255;
  return failed ? 1 : 0;
}

InstallationPass::InstallationPass(ChainerConfig& config, ::quillon::Extractor& extractor,
                                   ::quillon::ProgressDialog& progressDialog, UserSettingsStore& interbootContext)
    : Config(config), Extractor(extractor), ProgressDialog(progressDialog), interbootContext_(interbootContext) {
  Downloader.downloadFolder = EnsureTrailingBackslash(config.ResolveDownloadFolder());
}

PrereqOutcome InstallationPass::PackageAvailabilityOf(size_t index) const {
  return ::quillon::PackageAvailabilityOf(Config.Prerequisites().at(index), Downloader.downloadFolder);
}

bool InstallationPass::IsPackagePresent(const std::wstring& location, int32_t exactSize,
                                        const std::wstring& folderKey) const {
  return ::quillon::IsPackagePresent(Downloader.downloadFolder, location, exactSize, folderKey);
}

void InstallationPass::Reevaluate() {
  std::vector<Prerequisite>& prerequisites = Config.Prerequisites();
  for (size_t j = 0; j < prerequisites.size(); ++j) {
    const PrereqOutcome availability = PackageAvailabilityOf(j);
    if (availability == PrereqOutcome::NotSelected || availability == PrereqOutcome::OsNotSupported) continue;
    Evaluate(Config, j, true);
    Prerequisite& prerequisite = prerequisites[j];
    if (prerequisite.Outcome == PrereqOutcome::MustDownload) {
      prerequisite.PackageIsPresent = IsPackagePresent(prerequisite.Location, prerequisite.ExactSize, prerequisite.Folder);
    }
    SetSelected(prerequisites, j, MustBeInstalled(prerequisite.Outcome));
  }
}

bool InstallationPass::AllMandatoryInstalled() const {
  const std::vector<Prerequisite>& prerequisites = Config.Prerequisites();
  for (size_t i = 0; i < prerequisites.size(); ++i) {
    if (!prerequisites[i].HasOption(L'm') || prerequisites[i].HasOption(L'i')) continue;
    const PrereqOutcome availability = PackageAvailabilityOf(i);
    if (availability != PrereqOutcome::AcceptableVersionFound && availability != PrereqOutcome::NotSelected) {
      return false;
    }
  }
  return true;
}

bool InstallationPass::IsInstalledNow(size_t index) {
  Evaluate(Config, index, true);
  Prerequisite& prerequisite = Config.Prerequisites().at(index);
  if (prerequisite.Outcome == PrereqOutcome::MustDownload) {
    prerequisite.PackageIsPresent = IsPackagePresent(prerequisite.Location, prerequisite.ExactSize, prerequisite.Folder);
  }
  return prerequisite.Outcome == PrereqOutcome::AcceptableVersionFound;
}

int32_t RunInstallationPass(ChainerApp& app, ChainerConfig& config) {
  // A key left by a pass that a restart interrupted goes at the end of this one.
  UserSettingsStore interbootContext(kInterbootContextKey, true);
  std::vector<Prerequisite>& prerequisites = config.Prerequisites();
  if (prerequisites.empty()) return 0;

  if (app.Silent) {
    EvaluateAll(config);
  } else {
    app.ProgressDialog.ShowStatus(IDS_SEARCHING, false);
    // Until the worker thread with its message pump exists, the evaluation runs here and the
    // waiting dialog does not repaint meanwhile.
    EvaluateAll(config);
  }

  bool anythingToInstall = false;
  for (const Prerequisite& prerequisite : prerequisites) {
    if (MustBeInstalled(prerequisite.Outcome)) {
      anythingToInstall = true;
      break;
    }
  }
  if (!anythingToInstall) {
    if (gLoggingEnabled) gLogger.Log(L"No prerequisite must be installed.");
    return 0;
  }
  return InstallSelected(app, config, interbootContext);
}

}  // namespace quillon
