#include "platform/core/Logger.h"

#include <cpuid.h>

#include <cstdio>
#include <cstring>

#include "chainer/evaluation/OsInfo.h"
#include "platform/core/AccessLists.h"
#include "platform/core/TempFolders.h"

namespace quillon {

bool gLoggingEnabled = false;
Logger gLogger;

namespace {

void RealCpuid(unsigned leaf, unsigned regs[4]) { __cpuid(leaf, regs[0], regs[1], regs[2], regs[3]); }

// Unlocks on every way out of an operation.
class LockScope {
 public:
  explicit LockScope(CRITICAL_SECTION& lock) : lock_(lock) { ::EnterCriticalSection(&lock_); }
  ~LockScope() { ::LeaveCriticalSection(&lock_); }
  LockScope(const LockScope&) = delete;
  LockScope& operator=(const LockScope&) = delete;

 private:
  CRITICAL_SECTION& lock_;
};

// The executable's path with its extension replaced by "LOG"; empty when that is not possible
// within the classic path limit, so that no strategy writes past its buffer.
std::wstring WithLogExtension(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return std::wstring();
  std::wstring result = path.substr(0, dot + 1) + L"LOG";
  return result.size() < MAX_PATH ? result : std::wstring();
}

}  // namespace

std::wstring ProcessorBrandText(CpuidFunction cpuid) {
  if (cpuid == nullptr) cpuid = RealCpuid;
  unsigned regs[4] = {};
  cpuid(0x80000000u, regs);
  if (regs[0] < 0x80000004u) return L"UnkownCPU";
  char brand[49] = {};
  for (unsigned i = 0; i < 3; ++i) {
    cpuid(0x80000002u + i, regs);
    std::memcpy(brand + 16 * i, regs, 16);
  }
  const int length = static_cast<int>(strnlen(brand, 48));
  if (length == 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length), L'\0');
  const int converted = ::MultiByteToWideChar(CP_THREAD_ACP, 0, brand, length, text.data(), length);
  text.resize(converted > 0 ? static_cast<size_t>(converted) : 0);
  return text;
}

Logger::~Logger() {
  // The exit step of the process-wide logger: the end line, then the resources go.
  if (this == &gLogger && gLoggingEnabled) Log(kEndOfLogMessage);
  file_.Reset();
  path_.clear();
  banner_.clear();
  if (lockReady_) {
    ::DeleteCriticalSection(&lock_);
    lockReady_ = false;
  }
}

void Logger::EnsureLock() {
  if (!lockReady_) {
    ::InitializeCriticalSection(&lock_);
    lockReady_ = true;
  }
}

void Logger::DebugOutput(const std::wstring& text) const {
  if (environment_.debugOutput) {
    environment_.debugOutput(text);
  } else {
    ::OutputDebugStringW(text.c_str());
  }
}

std::wstring Logger::ModulePath() const {
  if (!environment_.modulePath.empty()) return environment_.modulePath;
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
  path.resize(length < MAX_PATH ? length : 0);
  return path;
}

std::wstring Logger::PathForTesting() {
  EnsureLock();
  LockScope scope(lock_);
  return path_;
}

void Logger::SetLogFile(const std::wstring& path) {
  EnsureLock();
  LockScope scope(lock_);
  DebugOutput(L"Logger::SetLogFile( " + path + L" ) while OLD path is:" + path_);
  if (!file_.IsValid()) path_ = path;
}

void Logger::Log(const std::wstring& message) {
  EnsureLock();
  LockScope scope(lock_);
  OpenFile();
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t stamp[32];
  _snwprintf(stamp, 32, L"%04d-%02d-%02d %02d-%02d-%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
  stamp[31] = L'\0';
  Write(stamp);
  Write(L"-");
  Write(message);
  Write(L"\r\n");
}

void Logger::Write(const std::wstring& text) {
  // Without a file the write fails quietly and the entry is lost.
  DWORD written = 0;
  ::WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  ::FlushFileBuffers(file_.Get());
}

bool Logger::OpenFile() {
  if (file_.IsValid()) return true;
  constexpr int kStrategies = 3;
  int strategy = 0;
  for (;;) {
    // A strategy that finds no usable folder hands over to the next one, so that a log is kept
    // wherever one can be written.
    while (path_.empty()) {
      if (strategy == kStrategies) return false;
      path_ = DefaultPath(strategy++);
    }
    ::SetLastError(0);
    KernelHandle file(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = ::GetLastError();
    if (!file.IsValid()) {
      DebugOutput(L"LOGGER->failed to create LOG at:" + path_);
      path_.clear();
      continue;
    }
    if (error == ERROR_ALREADY_EXISTS) {
      DebugOutput(L"LOGGER->Reusing LOG file at:" + path_ + L"\r\n");
      ::SetFilePointer(file.Get(), 0, nullptr, FILE_END);
      file_ = std::move(file);
    } else if (error == 0) {
      DebugOutput(L"LOGGER->Creating LOG file at:" + path_ + L"\r\n");
      file_ = std::move(file);
      Write(std::wstring(1, static_cast<wchar_t>(0xFEFF)));
    } else {
      return false;  // the same path is tried again by the next entry
    }
    WriteHeader();
    return true;
  }
}

void Logger::WriteHeader() {
  Write(banner_);
  const OsInfo& os = GetOsInfo();
  wchar_t line[160];
  _snwprintf(line, 160, L"OS Version: %u.%u.%u SP%u (%ls) [%ls]\r\n", static_cast<unsigned>(os.majorVersion),
             static_cast<unsigned>(os.minorVersion), static_cast<unsigned>(os.buildNumber),
             static_cast<unsigned>(os.servicePack), os.isServer ? L"server" : L"workstation",
             os.is64BitWindows ? L"x64" : L"x86");
  line[159] = L'\0';
  Write(line);
  Write(L"CPU: " + ProcessorBrandText(environment_.cpuid) + L"\r\n");
  Write(L"\r\n");
}

std::wstring Logger::DefaultPath(int strategy) const {
  const std::wstring fileName = WithLogExtension(ModulePath());
  const size_t slash = fileName.rfind(L'\\');
  const std::wstring logName = slash == std::wstring::npos ? fileName : fileName.substr(slash + 1);
  switch (strategy) {
    case 0: {
      std::wstring folder;
      if (environment_.commonAppDataFolder) {
        folder = *environment_.commonAppDataFolder;
      } else if (!GetCommonAppDataFolder(folder)) {
        return std::wstring();
      }
      if (logName.empty()) return std::wstring();
      folder += L"QUILLON_LOGS";
      if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Other accounts must be able to add their runs' logs to this folder.
        AccessListBuilder builder;
        if (!builder.AddAccount(L"Everyone", false)) return std::wstring();
        PSECURITY_DESCRIPTOR descriptor = builder.Build();
        if (descriptor == nullptr) return std::wstring();
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
        if (!::CreateDirectoryW(folder.c_str(), &attributes)) return std::wstring();
      }
      return folder + L"\\" + logName;
    }
    case 1:
      return fileName;
    case 2: {
      std::wstring folder;
      if (environment_.tempFolder) {
        folder = *environment_.tempFolder;
      } else {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH) return std::wstring();
        folder = temp;
      }
      folder += L"QUILLON_LOGS";
      const std::wstring path = folder + L"\\" + logName;
      if (logName.empty() || path.size() >= MAX_PATH) return std::wstring();
      // A folder left by an earlier run serves again, so that its log is not lost.
      if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return std::wstring();
      }
      return path;
    }
    default:
      return std::wstring();
  }
}

}  // namespace quillon
