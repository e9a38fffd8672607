#include "chainer/InstallationPass.h"

#include "chainer/ChainerApp.h"
#include "chainer/ChainerConfig.h"

namespace quillon {

// No prerequisite is evaluated yet, so nothing must be installed.
int32_t RunInstallationPass(ChainerApp& app, ChainerConfig&) {
  app.ExitCode = 0;
  return 0;
}

}  // namespace quillon
