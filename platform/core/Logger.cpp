#include "platform/core/Logger.h"

namespace quillon {

bool gLoggingEnabled = false;
Logger gLogger;

// Entries are not written to a file yet.
void Logger::Log(const std::wstring&) {}

}  // namespace quillon
