#pragma once
// The one log writer of the process and the switch that turns logging on.

#include <string>

namespace quillon {

// True once the configuration names a log file; no log line is composed while it is false.
extern bool gLoggingEnabled;

class Logger {
 public:
  // Names the file that receives the log.
  void SetLogFile(const std::wstring& path) { path_ = path; }
  // Writes one time-stamped entry. Callers test gLoggingEnabled before composing the message.
  void Log(const std::wstring& message);
  const std::wstring& LogFile() const { return path_; }

 private:
  std::wstring path_;
};

extern Logger gLogger;

}  // namespace quillon
