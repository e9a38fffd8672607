#include "chainer/Cleanup.h"

#include "chainer/ChainerApp.h"

namespace quillon {

// Nothing is deleted yet: no clean-up list is prepared.
void PrepareCleanup(ChainerApp&, const IniDocument&) {}

void RunCleanup(ChainerApp&) {}

}  // namespace quillon
