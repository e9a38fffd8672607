#include "chainer/ChainerConfig.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <random>

namespace quillon {
namespace {

// Lines joined with CR LF, parsed and loaded.
std::unique_ptr<ChainerConfig> Loaded(std::initializer_list<const wchar_t*> lines) {
  std::wstring text;
  for (const wchar_t* line : lines) text += std::wstring(line) + L"\r\n";
  IniDocument document;
  document.Parse(text);
  auto config = std::make_unique<ChainerConfig>();
  config->Load(document);
  return config;
}

std::wstring Names(const ChainerConfig& config) {
  std::wstring names;
  for (const Prerequisite& p : config.Prerequisites()) names += p.Name + L";";
  return names;
}

TEST(ChainerConfigTest, ReadsEveryGeneralOption) {
  const auto config = Loaded({
      L"[GeneralOptions]", L"MainAppCmdLine=/main", L"Options=qb", L"UpdatesUrl=http://u", L"ProductVersion=1.2",
      L"MinWIVer=3.1", L"DownloadFolder=D:\\dl", L"MainAppURL=http://m", L"UwpAppxURL=http://x",
      L"LanguageList=1033", L"ExtractionFolder=C:\\ex. \\sub", L"KeepFiles=prereqs", L"PackJars=TRUE",
      L"AllPlatforms=true", L"Is64PlatformTransf=yes", L"Langs=en", L"PackageCode={P}",
      L"DefaultProdCode=Prod", L"ProductCode={C}", L"UpgradeCode={U}", L"ExtUIStub=stub.exe",
      L"SaveExtUIStub=s", L"FileExtractFirst=f", L"MsiCertData=c", L"AppxVersion=2.0", L"AppxPkId=pk",
  });
  const GeneralOptions& o = config->Options();
  EXPECT_EQ(L"/main", o.MainAppCmdLine);
  EXPECT_EQ(L"qb", o.Options);
  EXPECT_EQ(L"http://u", o.UpdatesUrl);
  EXPECT_EQ(L"1.2", o.ProductVersion);
  EXPECT_EQ(L"3.1", o.MinWIVer);
  EXPECT_EQ(L"D:\\dl", o.DownloadFolder);  // resolved only on first use
  EXPECT_EQ(L"http://m", o.MainAppURL);
  EXPECT_EQ(L"http://x", o.UwpAppxURL);
  EXPECT_EQ(L"1033", o.LanguageList);
  EXPECT_EQ(L"C:\\ex\\sub\\", o.ExtractionFolder);  // normalised when read
  EXPECT_EQ(KeepFilesMode::KeepPrereqs, o.KeepFiles);
  EXPECT_TRUE(o.PackJars);
  EXPECT_TRUE(o.AllPlatforms);
  EXPECT_FALSE(o.Is64PlatformTransf);
  EXPECT_EQ(L"en", o.Langs);
  EXPECT_EQ(L"{P}", o.PackageCode);
  EXPECT_EQ(L"Prod", o.DefaultProdCode);
  EXPECT_EQ(L"{C}", o.ProductCode);
  EXPECT_EQ(L"{U}", o.UpgradeCode);
  EXPECT_TRUE(o.ExtUIStub);
  EXPECT_EQ(L"s", o.SaveExtUIStub);
  EXPECT_EQ(L"f", o.FileExtractFirst);
  EXPECT_EQ(L"c", o.MsiCertData);
  EXPECT_EQ(L"2.0", o.AppxVersion);
  EXPECT_EQ(L"pk", o.AppxPkId);
  EXPECT_TRUE(config->IsSilent());
  EXPECT_TRUE(config->IsBasicUi());
  EXPECT_TRUE(config->KeepsPrerequisiteFiles());
}

TEST(ChainerConfigTest, MissingGeneralOptionsKeepTheDefaults) {
  for (const wchar_t* header : {L"[Other]", L"[generaloptions]", L"[ GeneralOptions]"}) {
    const auto config = Loaded({header, L"Options=q", L"KeepFiles=complete", L"PackJars=true", L"ExtUIStub=x"});
    const GeneralOptions& o = config->Options();
    EXPECT_TRUE(o.Options.empty()) << header;
    EXPECT_EQ(KeepFilesMode::KeepNone, o.KeepFiles) << header;
    EXPECT_FALSE(o.PackJars || o.AllPlatforms || o.Is64PlatformTransf || o.ExtUIStub) << header;
    EXPECT_FALSE(config->IsSilent()) << header;
  }
}

TEST(ChainerConfigTest, KeepFilesAndFlagsReadTheirExactTexts) {
  const struct {
    const wchar_t* keepFiles;
    KeepFilesMode mode;
    bool keepsPrerequisites;
  } kKeep[] = {
      {L"KeepFiles=complete", KeepFilesMode::KeepComplete, true},
      {L"KeepFiles=minimum", KeepFilesMode::KeepMinimum, false},
      {L"KeepFiles=prereqs", KeepFilesMode::KeepPrereqs, true},
      {L"KeepFiles=Complete", KeepFilesMode::KeepNone, false},
      {L"KeepFiles=", KeepFilesMode::KeepNone, false},
      {L"Other=1", KeepFilesMode::KeepNone, false},
  };
  for (const auto& c : kKeep) {
    const auto config = Loaded({L"[GeneralOptions]", c.keepFiles});
    EXPECT_EQ(c.mode, config->Options().KeepFiles) << c.keepFiles;
    EXPECT_EQ(c.keepsPrerequisites, config->KeepsPrerequisiteFiles()) << c.keepFiles;
  }
  const struct {
    const wchar_t* line;
    bool packJars;
    bool extUiStub;
  } kFlags[] = {
      {L"PackJars=tRuE", true, false}, {L"PackJars=true ", true, false}, {L"PackJars=1", false, false},
      {L"PackJars=truex", false, false}, {L"ExtUIStub=0", false, true},  {L"ExtUIStub=", false, false},
  };
  for (const auto& c : kFlags) {
    const auto config = Loaded({L"[GeneralOptions]", c.line});
    EXPECT_EQ(c.packJars, config->Options().PackJars) << c.line;
    EXPECT_EQ(c.extUiStub, config->Options().ExtUIStub) << c.line;
  }
}

TEST(ChainerConfigTest, OptionLettersAreLowerCaseAnywhere) {
  const struct {
    const wchar_t* options;
    bool silent;
    bool basicUi;
  } kCases[] = {
      {L"Options=q", true, false}, {L"Options=b", false, true}, {L"Options = q b ", true, true},
      {L"Options=Q B", false, false}, {L"Options=xqz", true, false}, {L"options=q", false, false},
      {L"Options=", false, false},
  };
  for (const auto& c : kCases) {
    const auto config = Loaded({L"[GeneralOptions]", c.options});
    EXPECT_EQ(c.silent, config->IsSilent()) << c.options;
    EXPECT_EQ(c.basicUi, config->IsBasicUi()) << c.options;
  }
}

TEST(ChainerConfigTest, PrerequisiteListEndsAtTheFirstFault) {
  const struct {
    std::initializer_list<const wchar_t*> lines;
    const wchar_t* names;
  } kCases[] = {
      {{L"[PREREQUISITES]", L"App1=One", L"App2=Two", L"[App1]", L"Url=u", L"[App2]", L"SetupFile=s"}, L"One;Two;"},
      {{L"[App1]", L"Url=u"}, L""},                                                          // no list
      {{L"[PREREQUISITES]", L"App1=One", L"App3=Three", L"[App1]", L"Url=u", L"[App3]", L"Url=u"}, L"One;"},
      {{L"[PREREQUISITES]", L"App2=Two", L"[App2]", L"Url=u"}, L""},                          // no App1
      {{L"[PREREQUISITES]", L"App1=One", L"App2=Two", L"[App2]", L"Url=u"}, L""},             // no section
      {{L"[PREREQUISITES]", L"App1=One", L"App2=Two", L"App3=Three", L"[App1]", L"Url=u", L"[App2]",
        L"CommandLine=/q", L"[App3]", L"Url=u"},
       L"One;"},                                                                               // no location
      {{L"[PREREQUISITES]", L"App1=One", L"App2=Two", L"App3=Three", L"[App1]", L"Url=u", L"[App2]", L"Url=u",
        L"SearchType1=1", L"[App3]", L"Url=u"},
       L"One;"},                                                       // a search type without its string
      {{L"[PREREQUISITES]", L"app1=One", L"[app1]", L"Url=u"}, L""},  // names are case-sensitive
      {{L"[PREREQUISITES]", L"App1=Display", L"[Display]", L"Url=u", L"[App1]", L"OpenSite=o"}, L"Display;"},
  };
  for (const auto& c : kCases) {
    const auto config = Loaded(c.lines);
    EXPECT_EQ(c.names, Names(*config)) << *c.lines.begin() << " ... " << c.names;
  }
}

TEST(ChainerConfigTest, ReadsEveryPrerequisiteKeyAndItsSearches) {
  const auto config = Loaded({
      L"[PREREQUISITES]", L"App1=Runtime 1.0",
      L"[App1]", L"VerMin=1.0", L"VerMax=2.0", L"WinNTVersions=Windows XP", L"WinNT64Versions=Windows 7",
      L"Url=http://host/pkg.exe", L"ExactSize=  +1234x", L"MD5=abc", L"Operator=-1", L"CommandLine=/q",
      L"BasicUiCommandLine=/passive", L"NoUiCommandLine=/quiet", L"Options=mxr", L"RetValPropName=RT",
      L"ParentPrereq=Parent", L"Folder=sub", L"LanguageList=1033;1031", L"InstallCond=cond",
      L"SearchType1=4", L"SearchString1=HKLM\\Software\\X", L"VerMin1=1", L"VerMax1=2", L"RefContent1=R",
      L"SearchCmdLine1=/c", L"SearchType2=junk", L"SearchString2=s2", L"SearchType4=1", L"SearchString4=s4",
  });
  ASSERT_EQ(1u, config->Prerequisites().size());
  const Prerequisite& p = config->Prerequisites()[0];
  EXPECT_EQ(L"Runtime 1.0", p.Name);
  EXPECT_EQ(L"1.0", p.VerMin);
  EXPECT_EQ(L"2.0", p.VerMax);
  EXPECT_EQ(L"Windows XP", p.WinNTVersions);
  EXPECT_EQ(L"Windows 7", p.WinNT64Versions);
  EXPECT_EQ(L"http://host/pkg.exe", p.Location);
  EXPECT_EQ(LocationKind::Url, p.LocationKind);
  EXPECT_EQ(1234, p.ExactSize);
  EXPECT_EQ(L"abc", p.MD5);
  EXPECT_EQ(-1, p.Operator);
  EXPECT_EQ(L"/q", p.CommandLine);
  EXPECT_EQ(L"/passive", p.BasicUiCommandLine);
  EXPECT_EQ(L"/quiet", p.NoUiCommandLine);
  EXPECT_EQ(L"mxr", p.Options);
  EXPECT_EQ(L"RT", p.RetValPropName);
  EXPECT_EQ(L"Parent", p.ParentPrereq);
  EXPECT_EQ(L"sub", p.Folder);
  EXPECT_EQ(L"1033;1031;", p.LanguageList);
  EXPECT_EQ(L"cond", p.InstallCond);
  EXPECT_FALSE(p.NoSearch);
  EXPECT_EQ(PrereqOutcome::Undefined, p.Outcome);
  EXPECT_EQ(PrereqOutcome::Undefined, p.FirstOutcome);
  EXPECT_FALSE(p.Selected || p.PackageIsPresent);
  ASSERT_EQ(2u, p.Searches.size());  // SearchType3 is missing: the list of entries ends
  EXPECT_EQ(4, p.Searches[0].SearchType);
  EXPECT_EQ(L"HKLM\\Software\\X", p.Searches[0].SearchString);
  EXPECT_EQ(L"1", p.Searches[0].VerMin);
  EXPECT_EQ(L"2", p.Searches[0].VerMax);
  EXPECT_EQ(L"R", p.Searches[0].RefContent);
  EXPECT_EQ(L"/c", p.Searches[0].SearchCmdLine);
  EXPECT_EQ(0, p.Searches[1].SearchType);
  EXPECT_EQ(L"s2", p.Searches[1].SearchString);
  EXPECT_TRUE(p.Searches[1].VerMin.empty() && p.Searches[1].RefContent.empty());
}

TEST(ChainerConfigTest, LocationKeysAndPostProcessing) {
  const struct {
    std::initializer_list<const wchar_t*> keys;
    const wchar_t* location;
    LocationKind kind;
    const wchar_t* languageList;
    bool noSearch;
  } kCases[] = {
      {{L"Url=u", L"SetupFile=s", L"OpenSite=o"}, L"s", LocationKind::SetupFile, L"", false},
      {{L"Url=u", L"OpenSite=o"}, L"o", LocationKind::OpenSite, L"", false},
      {{L"Url=u", L"LanguageList=1033"}, L"u", LocationKind::Url, L"1033;", false},
      {{L"Url=u", L"LanguageList=1033;"}, L"u", LocationKind::Url, L"1033;", false},
      {{L"SetupFile=", L"LanguageList=", L"Options=ix"}, L"", LocationKind::SetupFile, L"", true},
      {{L"Url=u", L"Options=I"}, L"u", LocationKind::Url, L"", false},
  };
  for (const auto& c : kCases) {
    std::vector<const wchar_t*> lines = {L"[PREREQUISITES]", L"App1=A", L"[App1]"};
    lines.insert(lines.end(), c.keys.begin(), c.keys.end());
    std::wstring text;
    for (const wchar_t* line : lines) text += std::wstring(line) + L"\r\n";
    IniDocument document;
    document.Parse(text);
    ChainerConfig config;
    config.Load(document);
    ASSERT_EQ(1u, config.Prerequisites().size()) << *c.keys.begin();
    const Prerequisite& p = config.Prerequisites()[0];
    EXPECT_EQ(c.location, p.Location) << *c.keys.begin();
    EXPECT_EQ(c.kind, p.LocationKind) << *c.keys.begin();
    EXPECT_EQ(c.languageList, p.LanguageList) << *c.keys.begin();
    EXPECT_EQ(c.noSearch, p.NoSearch) << *c.keys.begin();
  }
}

TEST(ChainerConfigTest, LoadsAThousandPrerequisitesAndAHundredThousand) {
  for (int count : {1000, 100000}) {
    std::wstring text = L"[PREREQUISITES]\r\n";
    for (int i = 1; i <= count; ++i) text += L"App" + std::to_wstring(i) + L"=P" + std::to_wstring(i) + L"\r\n";
    for (int i = 1; i <= count; ++i) text += L"[App" + std::to_wstring(i) + L"]\r\nSetupFile=p.exe\r\n";
    IniDocument document;
    document.Parse(text);
    ChainerConfig config;
    config.Load(document);
    ASSERT_EQ(static_cast<size_t>(count), config.Prerequisites().size());
    EXPECT_EQ(L"P" + std::to_wstring(count), config.Prerequisites().back().Name);
  }
}

TEST(ChainerConfigTest, RandomConfigurationsLoadOnlyWellFormedPrerequisites) {
  const wchar_t* const kTokens[] = {L"[PREREQUISITES]", L"[App1]", L"[App2]", L"[App3]", L"App1=A", L"App2=B",
                                    L"App3=C", L"Url=u", L"SetupFile=s", L"SearchType1=1", L"SearchString1=x",
                                    L"SearchType2=2", L"[GeneralOptions]", L"Options=q", L"=", L"\r\n", L"\r\n",
                                    L"\n", L" ", L"\0", L"LanguageList=1033", L"Options=i"};
  std::mt19937 random(4242);  // fixed seed: every run sees the same files
  for (int round = 0; round < 2000; ++round) {
    std::wstring text;
    const size_t count = random() % 40;
    for (size_t i = 0; i < count; ++i) {
      const wchar_t* token = kTokens[random() % std::size(kTokens)];
      text += token[0] == L'\0' ? std::wstring(1, L'\0') : std::wstring(token);
    }
    IniDocument document;
    document.Parse(text);
    ChainerConfig config;
    config.Load(document);
    const IniSection* list = document.FindSection(L"PREREQUISITES");
    ASSERT_LE(config.Prerequisites().size(), 3u) << round;
    for (size_t i = 0; i < config.Prerequisites().size(); ++i) {
      // Every loaded record has its list entry, its section and a location, in number order.
      const std::wstring key = L"App" + std::to_wstring(i + 1);
      ASSERT_NE(nullptr, list);
      ASSERT_NE(nullptr, list->FindKey(key)) << round;
      EXPECT_EQ(list->FindKey(key)->value, config.Prerequisites()[i].Name) << round;
      const IniSection* section = document.FindSection(key);
      ASSERT_NE(nullptr, section) << round;
      EXPECT_TRUE(section->FindKey(L"Url") || section->FindKey(L"SetupFile")) << round;
      const std::wstring& languages = config.Prerequisites()[i].LanguageList;
      EXPECT_TRUE(languages.empty() || languages.back() == L';') << round;
    }
  }
}

TEST(ChainerConfigTest, ReadChainerSettingsNeedsItsSection) {
  IniDocument document;
  document.Parse(L"[PREREQ_CHAINER]\r\nCleanupFiles=a\x01" L"b\r\nCleanupFolders=C:\\f\r\nLogFile=C:\\l.log\r\n"
                 L"CleanupScript=C:\\c.ps1\r\n");
  ChainerSettings settings;
  ASSERT_TRUE(ChainerConfig::ReadChainerSettings(document, settings));
  EXPECT_EQ(L"a\x01" L"b", settings.CleanupFiles);
  EXPECT_EQ(L"C:\\f", settings.CleanupFolders);
  EXPECT_EQ(L"C:\\l.log", settings.LogFile);
  EXPECT_EQ(L"C:\\c.ps1", settings.CleanupScript);

  document.Parse(L"[prereq_chainer]\r\nLogFile=x\r\n");
  ChainerSettings untouched;
  untouched.LogFile = L"before";
  EXPECT_FALSE(ChainerConfig::ReadChainerSettings(document, untouched));
  EXPECT_EQ(L"before", untouched.LogFile);
}

TEST(ChainerConfigTest, CaptionsAreTheBuiltInStrings) {
  ChainerConfig config;
  EXPECT_EQ(L"Searching for prerequisites...", config.Caption(CaptionKind::Searching));
  EXPECT_EQ(L"Downloading %s", config.Caption(CaptionKind::Downloading));
  EXPECT_EQ(L"Installing %s", config.Caption(CaptionKind::Installing));
  EXPECT_EQ(L"Opening site of %s", config.Caption(CaptionKind::OpeningSite));
  EXPECT_EQ(L"", config.Caption(CaptionKind::Unused4));
  EXPECT_EQ(L"", config.Caption(CaptionKind::OpenSiteMessage));
  EXPECT_EQ(L"", config.Caption(static_cast<CaptionKind>(99)));
  EXPECT_EQ(L"", config.PayloadPath(L"setup.exe"));
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1];
  ::GetTempPathW(MAX_PATH + 1, temp);
  wchar_t shortTemp[MAX_PATH + 1];
  ::GetShortPathNameW(temp, shortTemp, MAX_PATH + 1);
  return shortTemp;
}

TEST(ChainerConfigTest, FoldersResolveOncePerProcess) {
  const struct {
    std::initializer_list<const wchar_t*> lines;
    std::wstring download;
    std::wstring extraction;
  } kCases[] = {
      {{L"[GeneralOptions]", L"DownloadFolder=C:\\dl. \\x", L"ExtractionFolder=C:\\ex"}, L"C:\\dl\\x\\", L"C:\\ex\\"},
      {{L"[GeneralOptions]", L"DefaultProdCode={Prod}"}, TempFolder() + L"{Prod}\\", TempFolder() + L"{Prod}\\"},
      {{L"[GeneralOptions]"}, TempFolder(), TempFolder()},
  };
  for (const auto& c : kCases) {
    ChainerConfig::ResetResolvedFoldersForTesting();
    const auto config = Loaded(c.lines);
    EXPECT_EQ(c.download, config->ResolveDownloadFolder());
    EXPECT_EQ(c.extraction, config->ResolveExtractionFolder());
    EXPECT_EQ(c.download, config->Options().DownloadFolder);  // stored back
    EXPECT_EQ(c.download, config->ResolveDownloadFolder());
  }
  // Once resolved, a later configuration's folders are not resolved again.
  const auto later = Loaded({L"[GeneralOptions]", L"DownloadFolder=C:\\again"});
  EXPECT_EQ(L"C:\\again", later->ResolveDownloadFolder());
  ChainerConfig::ResetResolvedFoldersForTesting();
}

}  // namespace
}  // namespace quillon
