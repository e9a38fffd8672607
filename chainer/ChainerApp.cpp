#include "chainer/ChainerApp.h"

#include <windows.h>

#include "chainer/ChainerConfig.h"
#include "chainer/IniDocument.h"
#include "chainer/InstallationPass.h"
#include "chainer/resources/Resource.h"
#include "platform/core/Holders.h"
#include "platform/core/Logger.h"
#include "platform/core/Paths.h"
#include "platform/core/Resources.h"
#include "platform/core/VersionInfo.h"

namespace quillon {
namespace {

bool FileFound(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  FindHandle find(::FindFirstFileW(WithLongPrefix(path).c_str(), &entry));
  return find.IsValid();
}

}  // namespace

InstallerWait WaitForInstallerMutex(const wchar_t* name) {
  KernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, name));
  if (!mutex.IsValid()) {
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? InstallerWait::Proceed : InstallerWait::DoNotRun;
  }
  // The chainer never owns the mutex in any useful sense: the handle is closed right after the wait
  // and the mutex is not released.
  return ::WaitForSingleObject(mutex.Get(), INFINITE) == WAIT_OBJECT_0 ? InstallerWait::Proceed
                                                                        : InstallerWait::DoNotRun;
}

std::wstring GetRunningModulePath() {
  // A truncated answer fills the buffer completely; grow until the path fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

std::wstring IniPathForModule(const std::wstring& modulePath) {
  const size_t slash = modulePath.rfind(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? modulePath : modulePath.substr(0, slash);
  std::wstring baseName = GetFileNamePart(modulePath);
  const size_t dot = baseName.rfind(L'.');
  if (dot != std::wstring::npos) baseName.resize(dot);
  return folder + L'\\' + baseName + L".ini";
}

ChainerApp::~ChainerApp() { RunCleanup(*this); }

void ChainerApp::Run() {
  ModulePath = GetRunningModulePath();
  const size_t slash = ModulePath.rfind(L'\\');
  ModuleFolder = slash == std::wstring::npos ? ModulePath : ModulePath.substr(0, slash);
  IniPath = IniPathForModule(ModulePath);
  if (!FileFound(IniPath)) return;

  IniDocument document;
  document.Parse(ReadConfigurationFile(IniPath));
  ChainerConfig config;
  config.Load(document);

  PrepareCleanup(*this, document);

  ChainerSettings settings;
  if (ChainerConfig::ReadChainerSettings(document, settings) && !settings.LogFile.empty()) {
    gLoggingEnabled = true;
    gLogger.SetLogFile(settings.LogFile);
  }

  Silent = config.IsSilent();
  gUserInterfaceAllowed = !Silent;

  Extractor.archivePath = ModulePath.empty() ? GetRunningModulePath() : ModulePath;
  Extractor.archiveFolder = EnsureTrailingBackslash(GetFolderPart(Extractor.archivePath));
  // Nothing is ever extracted, so without a configured folder the packages lie beside the chainer:
  // the resolved default (the temporary folder) would send every relative SetupFile there.
  const bool extractionFolderConfigured = !config.Options().ExtractionFolder.empty();
  const std::wstring& extractionFolder = config.ResolveExtractionFolder();
  Extractor.extractionFolder = extractionFolderConfigured ? extractionFolder : std::wstring();
  Extractor.flags = 3;
  Extractor.cleanupEnabled = true;
  Extractor.mode = 3;

  ProgressDialog.sourcePath = ModulePath;
  ProgressDialog.productName = ModulePath;
  GetProductName(ProgressDialog.productName);
  ProgressDialog.title = FormatWithText(LoadResourceString(IDS_SETUP_TITLE), ProgressDialog.productName);
  ProgressDialog.ShowStatus(IDS_PREPARING, false);

  ::SetCurrentDirectoryW(ModuleFolder.c_str());

  if (WaitForInstallerMutex() == InstallerWait::Proceed) ExitCode = RunInstallationPass(*this, config);
}

}  // namespace quillon
