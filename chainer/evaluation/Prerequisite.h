#pragma once
// One prerequisite of the configuration with its evaluation state.

#include <cstdint>
#include <string>
#include <vector>

#include "chainer/evaluation/Search.h"

namespace quillon {

enum class LocationKind : int32_t {
  SetupFile = 0,  // a package shipped beside the chainer
  Url = 1,        // a package to download
  OpenSite = 2,   // a web page the user must visit
};

enum class PrereqOutcome : int32_t {
  AcceptableVersionFound = 0,
  InstallFromPackage = 1,
  MustDownload = 2,
  DownloadFromSite = 3,
  OsNotSupported = 4,
  AlreadyDownloaded = 5,
  NotFound = 6,
  NotSelected = 7,
  Undefined = 8,
};

// The text logged after "Search result:" for an outcome; "Undefined" for any value outside 0 to 7.
const wchar_t* OutcomeText(PrereqOutcome outcome);

struct SearchEntry {
  int32_t SearchType = 0;
  std::wstring SearchString;
  std::wstring VerMin;
  std::wstring VerMax;
  std::wstring RefContent;
  std::wstring SearchCmdLine;
};

struct Prerequisite {
  std::wstring Name;
  std::wstring VerMin;
  std::wstring VerMax;
  std::wstring Location;
  ::quillon::LocationKind LocationKind = ::quillon::LocationKind::SetupFile;
  std::wstring CommandLine;
  std::wstring BasicUiCommandLine;
  std::wstring NoUiCommandLine;
  std::wstring Options;
  std::wstring MD5;
  int32_t ExactSize = 0;
  std::wstring Folder;
  std::wstring RetValPropName;
  std::wstring InstallCond;
  std::wstring ParentPrereq;
  int32_t Operator = 0;
  std::vector<SearchEntry> Searches;
  std::wstring WinNTVersions;
  std::wstring WinNT64Versions;
  std::wstring LanguageList;
  std::vector<FoundItem> FoundItems;
  PrereqOutcome Outcome = PrereqOutcome::Undefined;
  PrereqOutcome FirstOutcome = PrereqOutcome::Undefined;
  bool PackageIsPresent = false;
  bool Selected = false;
  bool NoSearch = false;

  // True when the letter occurs anywhere in Options (case-sensitive).
  bool HasOption(wchar_t letter) const { return Options.find(letter) != std::wstring::npos; }
};

}  // namespace quillon
