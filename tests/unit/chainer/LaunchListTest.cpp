// How the installation pass turns the selected prerequisites into launches: the command line for the
// run's mode, the reboot mode, where the package lies and which texts are expanded.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "chainer/ChainerApp.h"
#include "chainer/ChainerConfig.h"
#include "chainer/IniDocument.h"
#include "chainer/InstallationPass.h"
#include "platform/core/Registry.h"

namespace quillon {
namespace {

std::unique_ptr<ChainerConfig> MakeConfig(const std::wstring& generalOptions) {
  IniDocument document;
  document.Parse(L"[GeneralOptions]\r\nOptions=" + generalOptions + L"\r\nExtractionFolder=C:\\x\r\n");
  auto config = std::make_unique<ChainerConfig>();
  config->Load(document);
  ChainerConfig::ResetResolvedFoldersForTesting();
  return config;
}

Prerequisite Shipped(const std::wstring& options, PrereqOutcome outcome = PrereqOutcome::InstallFromPackage) {
  Prerequisite p;
  p.Name = L"P" + options;
  p.Location = L"pkg\\setup.exe";
  p.CommandLine = L"/a %QUILLON_LIST_TEST%";
  p.BasicUiCommandLine = L"/passive";
  p.NoUiCommandLine = L"/quiet";
  p.Options = options;
  p.RetValPropName = L"rv" + options;
  p.Outcome = outcome;
  p.Selected = outcome != PrereqOutcome::AcceptableVersionFound;
  return p;
}

TEST(LaunchListTest, CommandLinesByModeLetterAndRebootModes) {
  ::SetEnvironmentVariableW(L"QUILLON_LIST_TEST", L"expanded");
  const struct {
    const wchar_t* generalOptions;
    const wchar_t* options;
    const wchar_t* commandLine;
    int32_t rebootMode;
  } kCases[] = {
      {L"q", L"b", L"/a %QUILLON_LIST_TEST% /passive", 0},
      {L"b", L"b", L"/a %QUILLON_LIST_TEST% /passive", 0},
      {L"q", L"q", L"/a %QUILLON_LIST_TEST% /quiet", 0},
      {L"q", L"qb", L"/a %QUILLON_LIST_TEST% /passive", 0},  // b is tested first
      {L"q", L"jq", L"/a %QUILLON_LIST_TEST% /quiet", 0},    // so is q before j
      {L"q", L"jn", L"/a %QUILLON_LIST_TEST%", 0},
      {L"q", L"n", L"/a %QUILLON_LIST_TEST% /quiet", 0},
      {L"b", L"n", L"/a %QUILLON_LIST_TEST% /passive", 0},
      {L"", L"n", L"/a %QUILLON_LIST_TEST%", 0},
      {L"q", L"", L"/a %QUILLON_LIST_TEST%", 0},
      {L"q", L"r", L"/a %QUILLON_LIST_TEST%", 1},
      {L"q", L"rR", L"/a %QUILLON_LIST_TEST%", 2},
      {L"q", L"R", L"/a %QUILLON_LIST_TEST%", 0},
  };
  for (const auto& c : kCases) {
    auto config = MakeConfig(c.generalOptions);
    config->Prerequisites().push_back(Shipped(L"", PrereqOutcome::AcceptableVersionFound));
    config->Prerequisites().push_back(Shipped(c.options));
    ChainerApp app;
    UserSettingsStore store("Software\\QuillonLaunchListTest", true);
    InstallationPass pass(*config, app.Extractor, app.ProgressDialog, store);
    app.Extractor.extractionFolder = L"C:\\x\\";
    pass.BuildLaunchList(true);

    ASSERT_EQ(1u, pass.Launcher.Items().size()) << c.options;
    const LaunchItem& item = pass.Launcher.Items()[0];
    EXPECT_EQ(L"C:\\x\\pkg\\setup.exe", item.filePath) << c.options;
    // A shipped package's command line stays unexpanded.
    EXPECT_EQ(c.commandLine, item.commandLine) << c.generalOptions << L" " << c.options;
    EXPECT_EQ(c.rebootMode, item.rebootMode) << c.options;
    EXPECT_EQ(1, item.prerequisiteIndex) << c.options;
    EXPECT_TRUE(item.silent) << c.options;
    EXPECT_EQ(std::wstring(L"rv") + c.options, item.retValPropName) << c.options;
    EXPECT_EQ(L"P" + std::wstring(c.options), item.name) << c.options;
    // The completion is done in place, also for the prerequisite that is not launched.
    EXPECT_EQ(c.commandLine, config->Prerequisites()[1].CommandLine) << c.options;
    EXPECT_TRUE(pass.PackedFilesToExtract.empty());
  }
  ::SetEnvironmentVariableW(L"QUILLON_LIST_TEST", nullptr);
}

TEST(LaunchListTest, DownloadedPackagesGetTheirCommandLineExpandedAndOthersAreNotQueued) {
  ::SetEnvironmentVariableW(L"QUILLON_LIST_TEST", L"expanded");
  auto config = MakeConfig(L"q");
  Prerequisite downloaded = Shipped(L"q", PrereqOutcome::MustDownload);
  downloaded.LocationKind = LocationKind::Url;
  downloaded.Location = L"file:///C:/cache/pkg.exe";
  downloaded.PackageIsPresent = true;
  Prerequisite site = Shipped(L"q", PrereqOutcome::DownloadFromSite);
  site.LocationKind = LocationKind::OpenSite;
  site.Location = L"http://127.0.0.1/page";
  Prerequisite notYet = Shipped(L"q", PrereqOutcome::MustDownload);
  notYet.LocationKind = LocationKind::Url;
  notYet.Location = L"http://127.0.0.1/absent.exe";
  config->Prerequisites() = {downloaded, site, notYet};
  ChainerApp app;
  UserSettingsStore store("Software\\QuillonLaunchListTest", true);
  InstallationPass pass(*config, app.Extractor, app.ProgressDialog, store);
  pass.BuildLaunchList(false);
  ::SetEnvironmentVariableW(L"QUILLON_LIST_TEST", nullptr);

  ASSERT_EQ(1u, pass.Launcher.Items().size());
  EXPECT_EQ(L"C:\\cache\\pkg.exe", pass.Launcher.Items()[0].filePath);
  EXPECT_EQ(L"/a expanded /quiet", pass.Launcher.Items()[0].commandLine);
  EXPECT_FALSE(pass.Launcher.Items()[0].silent);
  EXPECT_EQ(0, pass.Launcher.Items()[0].prerequisiteIndex);
}

}  // namespace
}  // namespace quillon
