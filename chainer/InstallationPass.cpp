#include "chainer/InstallationPass.h"

#include <vector>

#include "chainer/ChainerApp.h"
#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/FormattedText.h"
#include "chainer/evaluation/Selection.h"
#include "chainer/installation/Extractor.h"
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
      // The downloads and the sites join here; like the launches, their answers are not examined.
      pass.InstallAll(nullptr);
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
    : Config(config), Extractor(extractor), ProgressDialog(progressDialog), Launcher(interbootContext, *this) {
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

void InstallationPass::BuildLaunchList(bool silent) {
  PackedFilesToExtract.clear();
  std::vector<Prerequisite>& prerequisites = Config.Prerequisites();
  for (size_t i = 0; i < prerequisites.size(); ++i) {
    const PrereqOutcome availability = PackageAvailabilityOf(i);
    Prerequisite& prerequisite = prerequisites[i];
    // The first of b, q, j, n in that order decides; j stands for no addition.
    for (const wchar_t letter : {L'b', L'q', L'j', L'n'}) {
      if (!prerequisite.HasOption(letter)) continue;
      if (letter == L'b' || (letter == L'n' && Config.IsBasicUi())) {
        prerequisite.CommandLine += L' ' + prerequisite.BasicUiCommandLine;
      } else if (letter == L'q' || (letter == L'n' && Config.IsSilent())) {
        prerequisite.CommandLine += L' ' + prerequisite.NoUiCommandLine;
      }
      break;
    }
    const int32_t rebootMode = !prerequisite.HasOption(L'r') ? 0 : (prerequisite.HasOption(L'R') ? 2 : 1);
    const int32_t index = static_cast<int32_t>(i);
    if (availability == PrereqOutcome::InstallFromPackage) {
      std::wstring path;
      const int32_t packed = Extractor.FindPackedFile(prerequisite.Location, path);
      if (packed >= 0) PackedFilesToExtract.push_back(packed);
      Launcher.AddLaunchItem(path, prerequisite.CommandLine, prerequisite.Name, rebootMode, silent, index,
                             prerequisite.RetValPropName);
    } else if (availability == PrereqOutcome::AlreadyDownloaded) {
      std::wstring path = LocalPathFromFileUrl(prerequisite.Location);
      if (path.empty()) path = DownloadPathFor(Downloader.downloadFolder, prerequisite.Location, prerequisite.Folder);
      Launcher.AddLaunchItem(path, ExpandFormattedText(prerequisite.CommandLine, false), prerequisite.Name,
                             rebootMode, silent, index, prerequisite.RetValPropName);
    }
  }
  Extractor.ExtractPackedFiles(PackedFilesToExtract, nullptr);
}

int32_t InstallationPass::InstallAll(ProgressObserver* observer) {
  BuildLaunchList(Config.IsSilent());
  // The progress window's Begin, Status, Error and cancellation calls join here with the observer.
  const std::vector<Prerequisite>& prerequisites = Config.Prerequisites();
  for (size_t k = 0; k < Launcher.Items().size() && !RebootInProgress; ++k) {
    const int32_t answer = Launcher.RunLaunchItem(k, observer == nullptr);
    const bool mandatory = prerequisites.at(static_cast<size_t>(Launcher.Items()[k].prerequisiteIndex)).HasOption(L'm');
    if (answer == 1 && mandatory) return 1603;  // reported to the window as 0xE0000024
    if (answer == 2 && mandatory) return 1603;  // reported to the window as 0xE0000025
  }
  return 0;
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
