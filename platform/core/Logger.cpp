#include "platform/core/Logger.h"

namespace quillon {

bool gLoggingEnabled = false;
Logger gLogger;

}  // namespace quillon
