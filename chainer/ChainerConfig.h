#pragma once
// The loaded configuration: GeneralOptions, the numbered prerequisite list and PREREQ_CHAINER.

#include <cstdint>
#include <string>
#include <vector>

#include "chainer/IniDocument.h"
#include "chainer/evaluation/Prerequisite.h"

namespace quillon {

enum class KeepFilesMode : int32_t {
  KeepNone = 0,
  KeepMinimum = 1,
  KeepComplete = 2,
  KeepPrereqs = 5,
};

struct GeneralOptions {
  std::wstring MainAppCmdLine;
  std::wstring Options;
  std::wstring UpdatesUrl;
  std::wstring ProductVersion;
  std::wstring MinWIVer;
  std::wstring DownloadFolder;
  std::wstring MainAppURL;
  std::wstring UwpAppxURL;
  std::wstring LanguageList;
  std::wstring ExtractionFolder;
  KeepFilesMode KeepFiles = KeepFilesMode::KeepNone;
  bool PackJars = false;
  bool AllPlatforms = false;
  bool Is64PlatformTransf = false;
  std::wstring Langs;
  std::wstring PackageCode;
  std::wstring DefaultProdCode;
  std::wstring ProductCode;
  std::wstring UpgradeCode;
  bool ExtUIStub = false;
  std::wstring SaveExtUIStub;
  std::wstring FileExtractFirst;
  std::wstring MsiCertData;
  std::wstring AppxVersion;
  std::wstring AppxPkId;
};

struct ChainerSettings {
  std::wstring CleanupFiles;
  std::wstring CleanupFolders;
  std::wstring LogFile;
  std::wstring CleanupScript;
};

// Captions of the installation pass's progress messages.
enum class CaptionKind : int32_t {
  Searching = 0,
  Downloading = 1,
  Installing = 2,
  OpeningSite = 3,
  Unused4 = 4,
  OpenSiteMessage = 5,
};

class ChainerConfig {
 public:
  ChainerConfig() = default;
  virtual ~ChainerConfig() = default;
  ChainerConfig(const ChainerConfig&) = delete;
  ChainerConfig& operator=(const ChainerConfig&) = delete;

  // Reads GeneralOptions and then the prerequisite list. A malformed prerequisite ends the list
  // where it stands, keeping those before it; nothing is reported.
  void Load(const IniDocument& document);

  // Fills `settings` from PREREQ_CHAINER; false (settings untouched) when the section is absent.
  static bool ReadChainerSettings(const IniDocument& document, ChainerSettings& settings);

  bool IsSilent() const { return options_.Options.find(L'q') != std::wstring::npos; }
  bool IsBasicUi() const { return options_.Options.find(L'b') != std::wstring::npos; }
  bool KeepsPrerequisiteFiles() const {
    return options_.KeepFiles == KeepFilesMode::KeepComplete || options_.KeepFiles == KeepFilesMode::KeepPrereqs;
  }

  // The download and extraction folders, expanded and ending in a backslash, resolved once per
  // process; an empty setting gives the temporary folder followed by DefaultProdCode.
  const std::wstring& ResolveDownloadFolder();
  const std::wstring& ResolveExtractionFolder();

  // The caption text of a kind; no key sets one, so the built-in string is returned.
  std::wstring Caption(CaptionKind kind) const;

  // The path of a file as the payload source gives it; the chainer attaches none, so always empty.
  virtual std::wstring PayloadPath(const std::wstring& fileName) const;

  const GeneralOptions& Options() const { return options_; }
  std::vector<Prerequisite>& Prerequisites() { return prerequisites_; }
  const std::vector<Prerequisite>& Prerequisites() const { return prerequisites_; }

  // Forgets that the folders were resolved, so a test can resolve them again.
  static void ResetResolvedFoldersForTesting();

 private:
  void ReadGeneralOptions(const IniSection& section);
  static bool ReadPrerequisite(const IniSection& section, Prerequisite& prerequisite);

  std::vector<Prerequisite> prerequisites_;
  GeneralOptions options_;
  std::wstring captions_[6];  // never set by the file; the built-in texts stand in
};

}  // namespace quillon
