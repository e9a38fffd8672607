#include "chainer/ChainerConfig.h"

#include <cwctype>

#include "chainer/evaluation/FormattedText.h"
#include "chainer/evaluation/Version.h"
#include "chainer/resources/Resource.h"
#include "platform/core/Paths.h"
#include "platform/core/Resources.h"
#include "platform/core/TempFolders.h"

namespace quillon {
namespace {

bool gDownloadFolderResolved = false;
bool gExtractionFolderResolved = false;

// Copies the value of `key` into `field` when the key is present.
void ReadText(const IniSection& section, const wchar_t* key, std::wstring& field) {
  if (const IniPair* pair = section.FindKey(key)) field = pair->value;
}

void ReadInt(const IniSection& section, const wchar_t* key, int32_t& field) {
  if (const IniPair* pair = section.FindKey(key)) field = TextToInt(pair->value);
}

bool EqualsIgnoringCase(const std::wstring& text, const wchar_t* expected) {
  size_t i = 0;
  for (; i < text.size() && expected[i] != L'\0'; ++i) {
    if (std::towlower(static_cast<wint_t>(text[i])) != std::towlower(static_cast<wint_t>(expected[i]))) return false;
  }
  return i == text.size() && expected[i] == L'\0';
}

bool ReadTrueFlag(const IniSection& section, const wchar_t* key) {
  const IniPair* pair = section.FindKey(key);
  return pair != nullptr && EqualsIgnoringCase(pair->value, L"true");
}

KeepFilesMode KeepFilesFromText(const std::wstring& text) {
  if (text == L"complete") return KeepFilesMode::KeepComplete;
  if (text == L"minimum") return KeepFilesMode::KeepMinimum;
  if (text == L"prereqs") return KeepFilesMode::KeepPrereqs;
  return KeepFilesMode::KeepNone;
}

std::wstring NumberedKey(const wchar_t* base, int number) { return base + std::to_wstring(number); }

// A configured folder is expanded and normalised; an empty one is the temporary folder followed by
// the product's folder name.
std::wstring ResolveFolder(const std::wstring& configured, const std::wstring& defaultProdCode) {
  if (!configured.empty()) {
    return EnsureTrailingBackslash(NormalizePath(ExpandFormattedText(configured, false)));
  }
  return EnsureTrailingBackslash(EnsureTrailingBackslash(GetSecureTempFolder()) + defaultProdCode);
}

}  // namespace

void ChainerConfig::Load(const IniDocument& document) {
  if (const IniSection* general = document.FindSection(L"GeneralOptions")) ReadGeneralOptions(*general);

  const IniSection* list = document.FindSection(L"PREREQUISITES");
  if (list == nullptr) return;
  // The numbers must run on from 1: the first gap or malformed entry ends the list.
  for (int number = 1;; ++number) {
    const std::wstring appKey = NumberedKey(L"App", number);
    const IniPair* entry = list->FindKey(appKey);
    if (entry == nullptr) return;
    const IniSection* section = document.FindSection(appKey);
    if (section == nullptr) return;
    Prerequisite prerequisite;
    prerequisite.Name = entry->value;
    if (!ReadPrerequisite(*section, prerequisite)) return;

    if (!prerequisite.LanguageList.empty() && prerequisite.LanguageList.back() != L';') {
      prerequisite.LanguageList += L';';
    }
    if (prerequisite.LocationKind == LocationKind::Url || prerequisite.LocationKind == LocationKind::OpenSite) {
      prerequisite.Location = ExpandFormattedText(prerequisite.Location, false);
    }
    prerequisite.NoSearch = prerequisite.HasOption(L'i');
    prerequisites_.push_back(std::move(prerequisite));
  }
}

void ChainerConfig::ReadGeneralOptions(const IniSection& section) {
  GeneralOptions& o = options_;
  ReadText(section, L"MainAppCmdLine", o.MainAppCmdLine);
  ReadText(section, L"Options", o.Options);
  ReadText(section, L"UpdatesUrl", o.UpdatesUrl);
  ReadText(section, L"ProductVersion", o.ProductVersion);
  ReadText(section, L"MinWIVer", o.MinWIVer);
  ReadText(section, L"DownloadFolder", o.DownloadFolder);
  ReadText(section, L"MainAppURL", o.MainAppURL);
  ReadText(section, L"UwpAppxURL", o.UwpAppxURL);
  ReadText(section, L"LanguageList", o.LanguageList);
  if (const IniPair* pair = section.FindKey(L"ExtractionFolder")) {
    o.ExtractionFolder = EnsureTrailingBackslash(NormalizePath(pair->value));
  }
  if (const IniPair* pair = section.FindKey(L"KeepFiles")) o.KeepFiles = KeepFilesFromText(pair->value);
  o.PackJars = ReadTrueFlag(section, L"PackJars");
  o.AllPlatforms = ReadTrueFlag(section, L"AllPlatforms");
  o.Is64PlatformTransf = ReadTrueFlag(section, L"Is64PlatformTransf");
  ReadText(section, L"Langs", o.Langs);
  ReadText(section, L"PackageCode", o.PackageCode);
  ReadText(section, L"DefaultProdCode", o.DefaultProdCode);
  ReadText(section, L"ProductCode", o.ProductCode);
  ReadText(section, L"UpgradeCode", o.UpgradeCode);
  if (const IniPair* pair = section.FindKey(L"ExtUIStub")) o.ExtUIStub = !pair->value.empty();
  ReadText(section, L"SaveExtUIStub", o.SaveExtUIStub);
  ReadText(section, L"FileExtractFirst", o.FileExtractFirst);
  ReadText(section, L"MsiCertData", o.MsiCertData);
  ReadText(section, L"AppxVersion", o.AppxVersion);
  ReadText(section, L"AppxPkId", o.AppxPkId);
}

bool ChainerConfig::ReadPrerequisite(const IniSection& section, Prerequisite& p) {
  ReadText(section, L"VerMin", p.VerMin);
  ReadText(section, L"VerMax", p.VerMax);
  ReadText(section, L"WinNTVersions", p.WinNTVersions);
  ReadText(section, L"WinNT64Versions", p.WinNT64Versions);
  static const struct {
    const wchar_t* key;
    LocationKind kind;
  } kLocationKeys[] = {{L"SetupFile", LocationKind::SetupFile},
                       {L"OpenSite", LocationKind::OpenSite},
                       {L"Url", LocationKind::Url}};
  bool located = false;
  for (const auto& location : kLocationKeys) {
    if (const IniPair* pair = section.FindKey(location.key)) {
      p.Location = pair->value;
      p.LocationKind = location.kind;
      located = true;
      break;
    }
  }
  if (!located) return false;
  ReadInt(section, L"ExactSize", p.ExactSize);
  ReadText(section, L"MD5", p.MD5);
  ReadInt(section, L"Operator", p.Operator);
  ReadText(section, L"CommandLine", p.CommandLine);
  ReadText(section, L"BasicUiCommandLine", p.BasicUiCommandLine);
  ReadText(section, L"NoUiCommandLine", p.NoUiCommandLine);
  ReadText(section, L"Options", p.Options);
  ReadText(section, L"RetValPropName", p.RetValPropName);
  ReadText(section, L"ParentPrereq", p.ParentPrereq);
  ReadText(section, L"Folder", p.Folder);
  ReadText(section, L"LanguageList", p.LanguageList);
  ReadText(section, L"InstallCond", p.InstallCond);

  for (int number = 1;; ++number) {
    const IniPair* type = section.FindKey(NumberedKey(L"SearchType", number));
    if (type == nullptr) return true;
    const IniPair* searchString = section.FindKey(NumberedKey(L"SearchString", number));
    if (searchString == nullptr) return false;
    SearchEntry entry;
    entry.SearchType = TextToInt(type->value);
    entry.SearchString = searchString->value;
    ReadText(section, NumberedKey(L"VerMin", number).c_str(), entry.VerMin);
    ReadText(section, NumberedKey(L"VerMax", number).c_str(), entry.VerMax);
    ReadText(section, NumberedKey(L"RefContent", number).c_str(), entry.RefContent);
    ReadText(section, NumberedKey(L"SearchCmdLine", number).c_str(), entry.SearchCmdLine);
    p.Searches.push_back(std::move(entry));
  }
}

bool ChainerConfig::ReadChainerSettings(const IniDocument& document, ChainerSettings& settings) {
  const IniSection* section = document.FindSection(L"PREREQ_CHAINER");
  if (section == nullptr) return false;
  ReadText(*section, L"CleanupFiles", settings.CleanupFiles);
  ReadText(*section, L"CleanupFolders", settings.CleanupFolders);
  ReadText(*section, L"LogFile", settings.LogFile);
  ReadText(*section, L"CleanupScript", settings.CleanupScript);
  return true;
}

const std::wstring& ChainerConfig::ResolveDownloadFolder() {
  if (!gDownloadFolderResolved) {
    options_.DownloadFolder = ResolveFolder(options_.DownloadFolder, options_.DefaultProdCode);
    gDownloadFolderResolved = true;
  }
  return options_.DownloadFolder;
}

const std::wstring& ChainerConfig::ResolveExtractionFolder() {
  if (!gExtractionFolderResolved) {
    options_.ExtractionFolder = ResolveFolder(options_.ExtractionFolder, options_.DefaultProdCode);
    gExtractionFolderResolved = true;
  }
  return options_.ExtractionFolder;
}

void ChainerConfig::ResetResolvedFoldersForTesting() {
  gDownloadFolderResolved = false;
  gExtractionFolderResolved = false;
}

std::wstring ChainerConfig::Caption(CaptionKind kind) const {
  const int index = static_cast<int>(kind);
  if (index >= 0 && index < 6 && !captions_[index].empty()) return captions_[index];
  switch (kind) {
    case CaptionKind::Searching: return LoadResourceString(IDS_SEARCHING);
    case CaptionKind::Downloading: return LoadResourceString(IDS_DOWNLOADING);
    case CaptionKind::Installing: return LoadResourceString(IDS_INSTALLING);
    case CaptionKind::OpeningSite: return LoadResourceString(IDS_OPENING_SITE);
    default: return std::wstring();
  }
}

std::wstring ChainerConfig::PayloadPath(const std::wstring&) const { return std::wstring(); }

}  // namespace quillon
