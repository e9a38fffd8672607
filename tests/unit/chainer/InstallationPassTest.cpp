#include "chainer/InstallationPass.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "chainer/ChainerApp.h"
#include "chainer/ChainerConfig.h"
#include "chainer/IniDocument.h"
#include "chainer/evaluation/Selection.h"
#include "platform/core/Registry.h"
#include "tests/support/ScopedLogCapture.h"

namespace quillon {
namespace {

using testing::ScopedLogCapture;
using Lines = std::vector<std::wstring>;

std::unique_ptr<ChainerConfig> MakeConfig(const std::wstring& generalOptions) {
  IniDocument document;
  document.Parse(L"[GeneralOptions]\r\nOptions=" + generalOptions + L"\r\n");
  auto config = std::make_unique<ChainerConfig>();
  config->Load(document);
  ChainerConfig::ResetResolvedFoldersForTesting();
  return config;
}

// Without searches, Operator 0 counts as found and any other value as not found.
Prerequisite Prereq(const std::wstring& name, bool found, const std::wstring& options = L"") {
  Prerequisite p;
  p.Name = name;
  p.Operator = found ? 0 : 1;
  p.Location = name + L".exe";
  p.Options = options;
  p.NoSearch = p.HasOption(L'i');
  return p;
}

bool InterbootContextExists() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kInterbootContextKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

// A key that an interrupted earlier pass left behind.
void LeaveInterbootContext() {
  UserSettingsStore store(kInterbootContextKey, false);
  ASSERT_EQ(0u, store.SetInt("Earlier", 3010));
  ASSERT_TRUE(InterbootContextExists());
}

struct PassRun {
  int32_t result;
  int32_t exitCode;
  Lines log;
};

PassRun RunPass(ChainerConfig& config) {
  ChainerApp app;
  app.Silent = config.IsSilent();
  app.ExitCode = 42;
  ScopedLogCapture log;
  const int32_t result = RunInstallationPass(app, config);
  return {result, app.ExitCode, log.Entries()};
}

TEST(InstallationPassTest, EmptyListLogsNothingAndDeletesTheContext) {
  LeaveInterbootContext();
  auto config = MakeConfig(L"q");
  const PassRun run = RunPass(*config);
  EXPECT_EQ(0, run.result);
  EXPECT_EQ(42, run.exitCode);  // the caller stores the result
  EXPECT_EQ(Lines{}, run.log);
  EXPECT_FALSE(InterbootContextExists());
}

TEST(InstallationPassTest, NothingToInstallSaysSo) {
  for (const wchar_t* options : {L"q", L"", L"b"}) {
    LeaveInterbootContext();
    auto config = MakeConfig(options);
    config->Prerequisites().push_back(Prereq(L"A", true));
    config->Prerequisites().push_back(Prereq(L"B", false, L"d"));  // on no processor here
    const PassRun run = RunPass(*config);
    EXPECT_EQ(0, run.result) << options;
    EXPECT_EQ((Lines{L"Searching for:A", L"Search result:An acceptable version was found.",
                     L"No prerequisite must be installed."}),
              run.log)
        << options;
    EXPECT_FALSE(InterbootContextExists()) << options;
  }
}

TEST(InstallationPassTest, WithoutModeLetterNothingIsInstalledAndTheRunSucceeds) {
  LeaveInterbootContext();
  auto config = MakeConfig(L"");
  config->Prerequisites().push_back(Prereq(L"A", false, L"m"));
  const PassRun run = RunPass(*config);
  EXPECT_EQ(0, run.result);
  EXPECT_EQ(0, run.exitCode);
  EXPECT_EQ((Lines{L"Searching for:A", L"Search result:No acceptable version found. It must be installed from package.",
                   L"Prerequisite selected for install:A",
                   L"After running prerequisites we have:  Reboot was required=false"}),
            run.log);
  EXPECT_FALSE(InterbootContextExists());
}

TEST(InstallationPassTest, SilentPassFailsOnlyForAMissingMandatoryPrerequisite) {
  const struct {
    const wchar_t* options;
    int32_t result;
  } kCases[] = {{L"m", 1}, {L"", 0}, {L"mi", 0}};
  for (const auto& c : kCases) {
    auto config = MakeConfig(L"q");
    config->Prerequisites().push_back(Prereq(L"A", false, c.options));
    const PassRun run = RunPass(*config);
    EXPECT_EQ(c.result, run.result) << c.options;
    EXPECT_EQ(c.result, run.exitCode) << c.options;
    ASSERT_GE(run.log.size(), 5u) << c.options;
    EXPECT_EQ(L"Starting installing prerequisites in silent mode.", run.log[3]) << c.options;
    EXPECT_EQ(L"After running prerequisites we have:  Reboot was required=false", run.log.back()) << c.options;
  }
}

TEST(InstallationPassTest, RebootStateLinesAndResult) {
  const struct {
    bool required, refused, inProgress, failed;
    Lines log;
    int32_t result;
  } kCases[] = {
      {false, false, false, false, {L"After running prerequisites we have:  Reboot was required=false"}, 0},
      {false, false, false, true, {L"After running prerequisites we have:  Reboot was required=false"}, 1},
      {false, false, true, true, {L"After running prerequisites we have:  Reboot was required=false"}, 255},
      {true, false, false, true,
       {L"After running prerequisites we have:  Reboot was required=true", L"  Reboot was refused=false",
        L"  Reboot in Progress=false"},
       255},
      {true, false, true, false,
       {L"After running prerequisites we have:  Reboot was required=true", L"  Reboot was refused=false",
        L"  Reboot in Progress=true"},
       255},
      {true, true, false, true,
       {L"After running prerequisites we have:  Reboot was required=true", L"  Reboot was refused=true"}, 1},
      {true, true, true, false,
       {L"After running prerequisites we have:  Reboot was required=true", L"  Reboot was refused=true"}, 255},
  };
  auto config = MakeConfig(L"q");
  ChainerApp app;
  UserSettingsStore store(kInterbootContextKey, true);
  for (const auto& c : kCases) {
    InstallationPass pass(*config, app.Extractor, app.ProgressDialog, store);
    pass.RebootRequired = c.required;
    pass.RebootRefused = c.refused;
    pass.RebootInProgress = c.inProgress;
    ScopedLogCapture log;
    LogRebootState(pass);
    EXPECT_EQ(c.log, log.Entries());
    EXPECT_EQ(c.result, DecidePassResult(pass, c.failed));
  }
}

TEST(InstallationPassTest, MandatoryCheckAndReevaluation) {
  auto config = MakeConfig(L"q");
  std::vector<Prerequisite>& list = config->Prerequisites();
  list = {Prereq(L"Found", true, L"m"), Prereq(L"Missing", false, L"m"), Prereq(L"Optional", false),
          Prereq(L"Forced", false, L"mi")};
  ChainerApp app;
  UserSettingsStore store(kInterbootContextKey, true);
  InstallationPass pass(*config, app.Extractor, app.ProgressDialog, store);
  EXPECT_TRUE(pass.AllMandatoryInstalled());  // nothing evaluated: nothing selected
  for (size_t i = 0; i < list.size(); ++i) {
    Evaluate(*config, i, false);
    SetSelected(list, i, list[i].Outcome != PrereqOutcome::AcceptableVersionFound);
  }
  EXPECT_FALSE(pass.AllMandatoryInstalled());
  EXPECT_EQ(PrereqOutcome::NotSelected, pass.PackageAvailabilityOf(0));
  EXPECT_EQ(PrereqOutcome::InstallFromPackage, pass.PackageAvailabilityOf(1));
  EXPECT_THROW(pass.PackageAvailabilityOf(4), std::out_of_range);

  list[1].Operator = 0;  // installed meanwhile
  {
    ScopedLogCapture log;
    pass.Reevaluate();
    // Found is not selected, so it is left alone; Forced keeps its answer without a search.
    EXPECT_EQ((Lines{L"Searching for:Missing", L"Search result:An acceptable version was found.",
                     L"Prerequisite selected for install:Missing", L"Searching for:Optional",
                     L"Search result:No acceptable version found. It must be installed from package.",
                     L"Searching for:Forced"}),
              log.Entries());
  }
  EXPECT_TRUE(pass.AllMandatoryInstalled());
  EXPECT_EQ(PrereqOutcome::InstallFromPackage, list[1].FirstOutcome);
  EXPECT_TRUE(pass.IsInstalledNow(1));
  EXPECT_FALSE(pass.IsInstalledNow(2));
}

TEST(InstallationPassTest, DownloadFolderEndsWithABackslash) {
  IniDocument document;
  document.Parse(L"[GeneralOptions]\r\nDownloadFolder=C:\\dl\r\n");
  ChainerConfig config;
  config.Load(document);
  ChainerConfig::ResetResolvedFoldersForTesting();
  ChainerApp app;
  UserSettingsStore store(kInterbootContextKey, true);
  InstallationPass pass(config, app.Extractor, app.ProgressDialog, store);
  EXPECT_EQ(L"C:\\dl\\", pass.Downloader.downloadFolder);
  EXPECT_EQ(L"C:\\dl\\Sub\\a.exe", DownloadPathFor(pass.Downloader.downloadFolder, L"http://127.0.0.1/a.exe", L"Sub"));
}

}  // namespace
}  // namespace quillon
