#pragma once
// The installation pass: evaluates, installs what is missing, evaluates again, and gives the exit code.

#include <cstdint>

namespace quillon {

class ChainerApp;
class ChainerConfig;

// Runs one pass over the configuration's prerequisites and returns the process exit code:
// 0 (every mandatory prerequisite present), 1 (a mandatory one missing) or 255 (reboot pending).
int32_t RunInstallationPass(ChainerApp& app, ChainerConfig& config);

}  // namespace quillon
