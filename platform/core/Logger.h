#pragma once
// The one log writer of the process and the switch that turns logging on.
//
// The log is UTF-16 LE text. Each process that opens it writes a header (the byte-order mark only
// into a new file, the banner, the OS and CPU lines, an empty line), then one line per entry:
// "YYYY-MM-DD HH-MM-SS-message". Every write is flushed at once. When the configured file cannot
// be opened, the log goes to QUILLON_LOGS under the common application-data folder, then beside
// the executable, then to QUILLON_LOGS under the temporary folder. Housekeeping goes to the
// debugger output.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/core/Holders.h"

namespace quillon {

// True once the configuration names a log file; no log line is composed while it is false.
extern bool gLoggingEnabled;

// Fills regs with EAX, EBX, ECX, EDX of the processor identification instruction for `leaf`.
using CpuidFunction = void (*)(unsigned leaf, unsigned regs[4]);

// The processor's brand text from the extended CPUID leaves, or "UnkownCPU" when it has none.
std::wstring ProcessorBrandText(CpuidFunction cpuid = nullptr);

// The end line written at process exit.
inline constexpr wchar_t kEndOfLogMessage[] = L"=====================End of Log=====================\r\n";

class Logger {
 public:
  // What the logger asks of the system; tests replace parts of it.
  struct Environment {
    std::function<void(const std::wstring&)> debugOutput;  // OutputDebugStringW when empty
    std::wstring modulePath;                                // the running executable when empty
    std::optional<std::wstring> commonAppDataFolder;        // the shell folder when not set
    std::optional<std::wstring> tempFolder;                 // GetTempPathW when not set
    CpuidFunction cpuid = nullptr;                          // the real instruction when null
  };

  Logger() = default;
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;
  ~Logger();

  // Names the file the first entry opens. Once a file is open, it keeps receiving the entries.
  void SetLogFile(const std::wstring& path);
  // Writes one time-stamped entry; opens the file (and writes the header) first when needed.
  // Failures are not reported: an entry that finds no file is lost.
  void Log(const std::wstring& message);

  void SetEnvironmentForTesting(Environment environment) { environment_ = std::move(environment); }
  // The path in use, or the one the next entry tries.
  std::wstring PathForTesting();

 private:
  void EnsureLock();
  void DebugOutput(const std::wstring& text) const;
  bool OpenFile();
  std::wstring DefaultPath(int strategy) const;
  std::wstring ModulePath() const;
  void Write(const std::wstring& text);
  void WriteHeader();

  CRITICAL_SECTION lock_;
  bool lockReady_ = false;
  std::wstring path_;
  std::wstring banner_ = L"\r\n<< Quillon (x86) Log >>\r\n";
  KernelHandle file_;
  Environment environment_;
};

extern Logger gLogger;

}  // namespace quillon
