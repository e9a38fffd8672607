#include "chainer/evaluation/Selection.h"

#include "chainer/ChainerConfig.h"
#include "chainer/acquisition/DownloadCoordinator.h"
#include "chainer/evaluation/OsInfo.h"
#include "chainer/evaluation/Search.h"
#include "platform/core/Logger.h"

namespace quillon {
namespace {

std::optional<NativeMachineAnswer>& NativeMachineOverride() {
  static std::optional<NativeMachineAnswer> answer;
  return answer;
}

const NativeMachineAnswer& SystemNativeMachine() {
  // Older systems lack the function, so it is looked up rather than imported. The machine does not
  // change while the process runs, so one answer serves every evaluation.
  static const NativeMachineAnswer answer = [] {
    IsWow64Process2Function query = nullptr;
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
      query = reinterpret_cast<IsWow64Process2Function>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process2")));
    }
    return AskNativeMachine(query);
  }();
  return answer;
}

}  // namespace

NativeMachineAnswer AskNativeMachine(IsWow64Process2Function query) {
  NativeMachineAnswer answer;
  if (query == nullptr) return answer;
  answer.functionFound = true;
  USHORT processMachine = 0;
  USHORT nativeMachine = 0;
  if (query(::GetCurrentProcess(), &processMachine, &nativeMachine)) {
    answer.answered = true;
    answer.nativeMachine = nativeMachine;
  }
  return answer;
}

const NativeMachineAnswer& GetNativeMachine() {
  const std::optional<NativeMachineAnswer>& replaced = NativeMachineOverride();
  return replaced ? *replaced : SystemNativeMachine();
}

std::optional<NativeMachineAnswer> SetNativeMachineForTesting(std::optional<NativeMachineAnswer> answer) {
  std::optional<NativeMachineAnswer> previous = NativeMachineOverride();
  NativeMachineOverride() = answer;
  return previous;
}

bool IsProcessorAllowed(const NativeMachineAnswer& machine, const Prerequisite& prerequisite) {
  const bool notOnArm = prerequisite.HasOption(L'c');
  const bool onlyOnArm = prerequisite.HasOption(L'd');
  if (!machine.functionFound) return !onlyOnArm;  // a system that old has no ARM edition
  if (!machine.answered) return true;
  return machine.nativeMachine == kArm64Machine ? !notOnArm : !onlyOnArm;
}

bool MustBeInstalled(PrereqOutcome outcome) {
  return outcome == PrereqOutcome::InstallFromPackage || outcome == PrereqOutcome::MustDownload ||
         outcome == PrereqOutcome::DownloadFromSite;
}

void Evaluate(ChainerConfig& config, size_t index, bool honourNoSearch) {
  Prerequisite& prerequisite = config.Prerequisites().at(index);
  if (prerequisite.Outcome == PrereqOutcome::OsNotSupported) return;

  if (!IsOsAllowed(prerequisite.WinNTVersions, prerequisite.WinNT64Versions) ||
      !IsLanguageAllowed(prerequisite.LanguageList)) {
    if (gLoggingEnabled) gLogger.Log(L"Wrong OS or Os language for:" + prerequisite.Name);
    prerequisite.Outcome = PrereqOutcome::OsNotSupported;
    return;
  }
  // Only a prerequisite that names a processor rule needs the system asked at all.
  if ((prerequisite.HasOption(L'c') || prerequisite.HasOption(L'd')) &&
      !IsProcessorAllowed(GetNativeMachine(), prerequisite)) {
    prerequisite.Outcome = PrereqOutcome::OsNotSupported;
    return;
  }
  const bool use64Bit = prerequisite.HasOption(L'x');

  if (gLoggingEnabled) gLogger.Log(L"Searching for:" + prerequisite.Name);
  if (honourNoSearch && prerequisite.NoSearch) return;

  const bool found = !prerequisite.NoSearch &&
                     RunSearches(prerequisite.Searches, prerequisite.FoundItems, prerequisite.Operator, use64Bit, config);
  if (found) {
    prerequisite.Outcome = PrereqOutcome::AcceptableVersionFound;
  } else if (prerequisite.LocationKind == LocationKind::Url) {
    prerequisite.Outcome = PrereqOutcome::MustDownload;
  } else if (prerequisite.LocationKind == LocationKind::OpenSite) {
    prerequisite.Outcome = PrereqOutcome::DownloadFromSite;
  } else {
    prerequisite.Outcome = PrereqOutcome::InstallFromPackage;
  }
  if (prerequisite.FirstOutcome == PrereqOutcome::Undefined) prerequisite.FirstOutcome = prerequisite.Outcome;
  if (gLoggingEnabled) gLogger.Log(std::wstring(L"Search result:") + OutcomeText(prerequisite.Outcome));
}

int32_t EvaluateAll(ChainerConfig& config) {
  std::vector<Prerequisite>& prerequisites = config.Prerequisites();
  for (size_t i = 0; i < prerequisites.size(); ++i) Evaluate(config, i, false);
  for (size_t i = 0; i < prerequisites.size(); ++i) {
    Prerequisite& prerequisite = prerequisites[i];
    if (prerequisite.Outcome == PrereqOutcome::MustDownload) {
      prerequisite.PackageIsPresent = IsPackagePresent(config.ResolveDownloadFolder(), prerequisite.Location,
                                                       prerequisite.ExactSize, prerequisite.Folder);
    }
    SetSelected(prerequisites, i, MustBeInstalled(prerequisite.Outcome));
  }
  return 0;
}

void SetSelected(std::vector<Prerequisite>& prerequisites, size_t index, bool value) {
  Prerequisite& prerequisite = prerequisites.at(index);
  if (prerequisite.Selected == value) return;
  prerequisite.Selected = value;
  if (gLoggingEnabled) gLogger.Log(L"Prerequisite selected for install:" + prerequisite.Name);

  for (size_t j = 0; j < prerequisites.size(); ++j) {
    const Prerequisite& child = prerequisites[j];
    // An empty ParentPrereq means "no parent", even beside a prerequisite whose name is empty.
    if (j == index || child.ParentPrereq.empty() || child.Outcome == PrereqOutcome::OsNotSupported ||
        child.ParentPrereq != prerequisite.Name) {
      continue;
    }
    SetSelected(prerequisites, j, value && MustBeInstalled(child.Outcome));
  }

  if (value && !prerequisite.ParentPrereq.empty()) {
    for (size_t k = 0; k < prerequisites.size(); ++k) {
      if (prerequisites[k].Name != prerequisite.ParentPrereq) continue;
      const PrereqOutcome parentOutcome = prerequisites[k].Outcome;
      if (parentOutcome != PrereqOutcome::OsNotSupported && parentOutcome != PrereqOutcome::AcceptableVersionFound) {
        SetSelected(prerequisites, k, true);
      }
      break;
    }
  }
  // The calls above may have come back through this prerequisite.
  prerequisite.Selected = value;
}

}  // namespace quillon
