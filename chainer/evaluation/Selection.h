#pragma once
// Deciding what must happen to each prerequisite, and which prerequisites this run installs.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "chainer/evaluation/Prerequisite.h"

namespace quillon {

class ChainerConfig;

// The machine code of a 64-bit ARM processor as IsWow64Process2 names it.
inline constexpr uint16_t kArm64Machine = 0xAA64;

// What the system said about the machine's native processor.
struct NativeMachineAnswer {
  bool functionFound = false;  // kernel32 has IsWow64Process2 (Windows 10 1709 and later)
  bool answered = false;       // the call succeeded
  uint16_t nativeMachine = 0;  // IMAGE_FILE_MACHINE_* of the processor, valid when answered

  bool operator==(const NativeMachineAnswer&) const = default;
};

using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE process, USHORT* processMachine, USHORT* nativeMachine);

// Asks `query` about the current process; a null `query` stands for a system without the function.
NativeMachineAnswer AskNativeMachine(IsWow64Process2Function query);

// The running system's answer: IsWow64Process2 is looked up in kernel32 by name and asked on the
// first call from whichever thread; later calls give the same answer.
const NativeMachineAnswer& GetNativeMachine();

// Makes the evaluation use `answer` instead of the system's (nullopt: the system's again) and gives
// back the replacement that was in place. Not for use while an evaluation runs on another thread.
std::optional<NativeMachineAnswer> SetNativeMachineForTesting(std::optional<NativeMachineAnswer> answer);

// False when the option letters exclude the machine: c on a 64-bit ARM processor, d on any other
// processor, and d also when the system cannot be asked at all. A failed call excludes nothing.
bool IsProcessorAllowed(const NativeMachineAnswer& machine, const Prerequisite& prerequisite);

// True for the outcomes that make a prerequisite one to install: InstallFromPackage, MustDownload,
// DownloadFromSite.
bool MustBeInstalled(PrereqOutcome outcome);

// Decides the Outcome of prerequisite `index` of the configuration: the OS and language filters,
// the processor filter, then the searches (skipped for NoSearch). Sets FirstOutcome on the first
// decision and logs the decision. With `honourNoSearch` a NoSearch prerequisite keeps its Outcome.
// An OsNotSupported prerequisite is never looked at again. An index outside the list throws
// std::out_of_range.
void Evaluate(ChainerConfig& config, size_t index, bool honourNoSearch);

// Evaluates every prerequisite in list order, then works out PackageIsPresent for those that must
// be downloaded and selects each that must be installed (with its parent and children). Returns 0.
int32_t EvaluateAll(ChainerConfig& config);

// Sets Selected of prerequisite `index` to `value` and carries the change along the parent
// relation: the children follow a parent (a selected parent selects only those that must be
// installed), and a selected child selects its parent unless that one is installed already or not
// supported. A ParentPrereq that names no prerequisite is ignored. Every change is logged. An index
// outside the list throws std::out_of_range.
void SetSelected(std::vector<Prerequisite>& prerequisites, size_t index, bool value);

}  // namespace quillon
