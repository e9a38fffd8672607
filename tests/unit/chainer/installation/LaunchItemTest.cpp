// Running queued packages: the roads by file kind and account, the logged and recorded return codes,
// the pause after restart requests and crashes, and the reboot decision after each package.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "chainer/installation/PackageLauncher.h"
#include "chainer/installation/Reboot.h"
#include "platform/core/AccessLists.h"
#include "platform/core/Registry.h"
#include "tests/support/ScopedLogCapture.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using Lines = std::vector<std::wstring>;

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

TEST(IsQuietCommandLineTest, AQAfterDashesOrSlashesAnywhere) {
  const struct {
    const wchar_t* commandLine;
    bool quiet;
  } kCases[] = {{L"/q", true},         {L"/qn", true},      {L"-q", true},           {L"/quiet", true},
                {L"--quiet", true},    {L"/norestart /quiet", true}, {L"/S /q", true}, {L"-/q", true},
                {L"/Q", false},        {L"/passive", false}, {L"/passive /norestart", false},
                {L"q", false},         {L"", false},         {L"/ q", false}};
  for (const auto& c : kCases) EXPECT_EQ(c.quiet, IsQuietCommandLine(c.commandLine)) << c.commandLine;
}

// What the hooks saw, for the test that installed them.
struct Seen {
  std::vector<std::pair<std::wstring, std::wstring>> directStarts;
  std::vector<DWORD> pauses;
  std::vector<std::wstring> questions;
  std::vector<std::pair<UINT, DWORD>> restarts;
  int answer = IDYES;
  DWORD directCode = 0;
};
Seen* gSeen = nullptr;

bool RecordDirectStart(const std::wstring& application, const std::wstring& commandLine, DWORD flags, DWORD& code) {
  EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), flags);
  gSeen->directStarts.emplace_back(application, commandLine);
  code = gSeen->directCode;
  return true;
}
void RecordPause(DWORD milliseconds) { gSeen->pauses.push_back(milliseconds); }
int WINAPI Answer(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION), type);
  gSeen->questions.push_back(std::wstring(caption) + L"|" + text);
  return gSeen->answer;
}
BOOL WINAPI RecordRestart(UINT flags, DWORD reason) {
  gSeen->restarts.emplace_back(flags, reason);
  return TRUE;
}

class FakePass : public RebootState {
 public:
  bool IsInstalledNow(size_t index) override {
    asked.push_back(index);
    return installedNow;
  }
  bool installedNow = false;
  std::vector<size_t> asked;
};

// A launcher over a store of the test's own, with every hook recording into `seen_`.
class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen = &seen_;
    launcherHooks_.pause = RecordPause;
    launcherHooks_.createProcessAndWait = RecordDirectStart;
    rebootHooks_.messageBox = Answer;
    rebootHooks_.exitWindows = RecordRestart;
    SetLauncherHooksForTesting(&launcherHooks_);
    SetRebootHooksForTesting(&rebootHooks_);
    probe_ = folder_.File(L"probe.exe");
    ASSERT_TRUE(::CopyFileW((BinFolder() + L"probe.exe").c_str(), probe_.c_str(), FALSE));
    ::SetEnvironmentVariableW(L"PROBE_LOG", folder_.File(L"probe.log").c_str());
  }
  void TearDown() override {
    SetLauncherHooksForTesting(nullptr);
    SetRebootHooksForTesting(nullptr);
    SetLocalSystemForTesting(std::nullopt);
    ::SetEnvironmentVariableW(L"PROBE_LOG", nullptr);
    gSeen = nullptr;
  }
  std::string Stored(const std::string& name) const {
    std::string text;
    store_.GetString(name, text);
    return text;
  }

  testing::ScopedTempFolder folder_;
  std::wstring probe_;
  Seen seen_;
  LauncherHooksForTesting launcherHooks_;
  RebootHooksForTesting rebootHooks_;
  UserSettingsStore store_{"Software\\QuillonLaunchItemTest", true};
  FakePass pass_;
  PackageLauncher launcher_{store_, pass_};
};

TEST_F(LauncherTest, LogsRecordsAndPausesByReturnCode) {
  const struct {
    const wchar_t* args;
    const char* name;
    const wchar_t* logged;
    bool success;
    bool pause;
  } kCases[] = {
      {L"/exit:0", "zero", L"0", true, false},
      {L"/exit:3010", "reboot", L"3010", true, true},
      {L"/exit:1641", "started", L"1641", false, false},
      {L"/exit:1602", "cancelled", L"1602", false, false},
      {L"/crash", "crash", L"3221225477", false, true},
      {L"/exit:3221225472", "status", L"3221225472", false, true},
      {L"/exit:3221225471", "below", L"3221225471", false, false},
  };
  for (const auto& c : kCases) {
    seen_.pauses.clear();
    launcher_.AddLaunchItem(probe_, c.args, L"Name", 0, true, 0, std::wstring(c.name, c.name + strlen(c.name)));
    testing::ScopedLogCapture log;
    EXPECT_EQ(c.success, launcher_.LaunchFile(launcher_.Items().size() - 1)) << c.args;
    EXPECT_EQ((Lines{L"Launching file:" + probe_, std::wstring(L"Return code of launched file:") + c.logged}),
              log.Entries())
        << c.args;
    EXPECT_EQ(c.pause ? std::vector<DWORD>{2000} : std::vector<DWORD>{}, seen_.pauses) << c.args;
  }
  EXPECT_EQ("0", Stored("zero"));
  EXPECT_EQ("3010", Stored("reboot"));
  // The store holds signed 32-bit numbers.
  EXPECT_EQ("-1073741819", Stored("crash"));
  EXPECT_EQ(3221225477u, launcher_.Items()[4].returnCode);
}

TEST_F(LauncherTest, TheFirstCodeUnderANameStays) {
  launcher_.AddLaunchItem(probe_, L"/exit:5", L"A", 0, true, 0, L"shared");
  launcher_.AddLaunchItem(probe_, L"/exit:0", L"B", 0, true, 1, L"shared");
  launcher_.AddLaunchItem(probe_, L"/exit:9", L"C", 0, true, 2, L"");
  EXPECT_FALSE(launcher_.LaunchFile(0));
  EXPECT_TRUE(launcher_.LaunchFile(1));
  EXPECT_FALSE(launcher_.LaunchFile(2));
  EXPECT_EQ("5", Stored("shared"));
  EXPECT_EQ("9", Stored(""));
  EXPECT_THROW(launcher_.LaunchFile(3), std::out_of_range);
}

TEST_F(LauncherTest, AFailedStartLogsTheSystemErrorAndItsCode) {
  launcher_.AddLaunchItem(folder_.File(L"absent.exe"), L"/q", L"A", 1, true, 0, L"absent");
  testing::ScopedLogCapture log;
  EXPECT_EQ(1, launcher_.RunLaunchItem(0, true));
  const Lines entries = log.Entries();
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ(L"Launch failed. Error:", entries[1].substr(0, 21));
  EXPECT_EQ(L"Return code of launched file:2", entries[2]);
  EXPECT_EQ(2u, launcher_.LastError());
  EXPECT_EQ("2", Stored("absent"));
  EXPECT_TRUE(seen_.restarts.empty());
}

TEST_F(LauncherTest, OnlyMsixMsixbundleAndAppxGoToThePackageInstaller) {
  // None of these files exists: the shell road fails to find them, the package road never looks.
  const struct {
    const wchar_t* name;
    bool packageRoad;
  } kCases[] = {{L"Setup.MSIX", true}, {L"a.msixbundle", true}, {L"b.Appx", true},
                {L"c.appxbundle", false}, {L"d.msix.exe", false}, {L"msix", false}};
  for (const auto& c : kCases) {
    launcher_.AddLaunchItem(L"\\\\?\\" + folder_.File(c.name), L"", L"A", 0, true, 0, L"");
    EXPECT_FALSE(launcher_.LaunchFile(launcher_.Items().size() - 1)) << c.name;
    EXPECT_EQ(c.packageRoad ? DWORD{ERROR_FUNCTION_FAILED} : DWORD{ERROR_FILE_NOT_FOUND},
              launcher_.Items().back().returnCode)
        << c.name;
  }
  EXPECT_TRUE(seen_.directStarts.empty());
}

TEST_F(LauncherTest, AsLocalSystemMsiGoesToMsiexecAndProgramsStartDirectly) {
  SetLocalSystemForTesting(true);
  const std::wstring msi = folder_.File(L"a.MSI");
  ASSERT_TRUE(testing::WriteBytes(msi, "not really a package"));
  ::SetEnvironmentVariableW(L"QUILLON_LAUNCH_TEST", L"expanded");
  launcher_.AddLaunchItem(L"\\\\?\\" + msi, L"/qn", L"A", 0, true, 0, L"");
  launcher_.AddLaunchItem(probe_, L"/q", L"B", 0, true, 0, L"");
  launcher_.AddLaunchItem(probe_, L"", L"C", 0, true, 0, L"");
  launcher_.AddLaunchItem(probe_, L" %QUILLON_LAUNCH_TEST%", L"D", 0, true, 0, L"");
  for (size_t k = 0; k < 4; ++k) EXPECT_TRUE(launcher_.LaunchFile(k));
  ::SetEnvironmentVariableW(L"QUILLON_LAUNCH_TEST", nullptr);

  ASSERT_EQ(4u, seen_.directStarts.size());
  EXPECT_EQ(L"", seen_.directStarts[0].first);
  // The final path names the file as the disk does; compare ignoring letter case.
  const std::wstring expected = L"msiexec.exe /i \"" + msi + L"\" /qn";
  EXPECT_EQ(0, ::lstrcmpiW(expected.c_str(), seen_.directStarts[0].second.c_str())) << seen_.directStarts[0].second;
  EXPECT_EQ(L"msiexec.exe /i \"", seen_.directStarts[0].second.substr(0, 16));
  EXPECT_EQ(probe_, seen_.directStarts[1].first);
  EXPECT_EQ(L"\"" + probe_ + L"\"  /q", seen_.directStarts[1].second);
  EXPECT_EQ(L"\"" + probe_ + L"\" ", seen_.directStarts[2].second);
  EXPECT_EQ(L"\"" + probe_ + L"\"  expanded", seen_.directStarts[3].second);
}

TEST_F(LauncherTest, TheRebootDecisionByModeAndReturnCode) {
  const struct {
    int32_t mode;
    const wchar_t* args;
    bool installedNow;
    bool silent;
    int answer;
    int32_t result;
    bool required;
    bool refused;
    size_t questions;
    size_t restarts;
  } kCases[] = {
      {0, L"/exit:0", false, true, IDYES, 0, false, false, 0, 0},
      {0, L"/exit:3010", false, false, IDYES, 2, false, true, 0, 0},
      {0, L"/exit:1603", false, true, IDYES, 1, false, false, 0, 0},
      {1, L"/exit:0", false, true, IDYES, 2, true, false, 0, 1},
      {1, L"/exit:3010", false, true, IDYES, 2, true, false, 0, 1},
      {1, L"/exit:0", false, false, IDYES, 2, true, false, 1, 1},
      {1, L"/exit:0", false, false, IDNO, 2, true, true, 1, 0},
      {1, L"/exit:1603", false, false, IDYES, 1, false, false, 0, 0},
      {2, L"/exit:0", true, true, IDYES, 2, true, false, 0, 1},
      {2, L"/exit:3010", true, true, IDYES, 2, true, false, 0, 1},
      {2, L"/exit:0", false, true, IDYES, 0, false, false, 0, 0},
      {2, L"/exit:3010", false, true, IDYES, 2, false, true, 0, 0},
      {2, L"/exit:1603", true, true, IDYES, 1, false, false, 0, 0},
  };
  for (const auto& c : kCases) {
    const std::string label = std::to_string(c.mode) + " " + std::string(c.args, c.args + wcslen(c.args)) +
                              (c.silent ? " silent" : " asked");
    FakePass pass;
    pass.installedNow = c.installedNow;
    PackageLauncher launcher(store_, pass);
    launcher.AddLaunchItem(probe_, c.args, L"A", c.mode, c.silent, 7, L"");
    seen_ = Seen{};
    seen_.answer = c.answer;
    testing::ScopedLogCapture log;
    EXPECT_EQ(c.result, launcher.RunLaunchItem(0, c.silent)) << label;
    EXPECT_EQ(c.required, pass.RebootRequired) << label;
    EXPECT_EQ(c.refused, pass.RebootRefused) << label;
    EXPECT_FALSE(pass.RebootInProgress) << label;
    EXPECT_EQ(c.questions, seen_.questions.size()) << label;
    ASSERT_EQ(c.restarts, seen_.restarts.size()) << label;
    if (c.restarts == 1) {
      EXPECT_EQ(static_cast<UINT>(EWX_REBOOT | EWX_FORCE), seen_.restarts[0].first) << label;
      EXPECT_EQ(0x80040002u, seen_.restarts[0].second) << label;
    }
    EXPECT_EQ(c.mode == 2 && c.result != 1 ? std::vector<size_t>{7} : std::vector<size_t>{}, pass.asked) << label;
    const Lines entries = log.Entries();
    EXPECT_EQ(c.required, !entries.empty() && entries.back() == L"Rebooting machine...") << label;
  }
}

TEST_F(LauncherTest, TheConfirmationUsesTheStringTable) {
  seen_.answer = IDNO;
  FakePass pass;
  EXPECT_FALSE(Reboot(false, pass));
  ASSERT_EQ(1u, seen_.questions.size());
  EXPECT_EQ(L"Confirmation|You must reboot your computer in order to continue the installation. Press Yes to restart "
            L"now or press No to abort the installation and manually restart later.",
            seen_.questions[0]);
  EXPECT_TRUE(pass.RebootRefused);
  // Silent: no question, and Wine grants the privilege, so the restart is asked for.
  EXPECT_TRUE(Reboot(true, pass));
  EXPECT_EQ(1u, seen_.questions.size());
  EXPECT_EQ(1u, seen_.restarts.size());
}

struct ShellCall {
  std::wstring verb, file, parameters, folder;
  ULONG mask;
  int show;
};
std::vector<ShellCall> gShellCalls;
INT_PTR gShellFailure = 0;

BOOL WINAPI RecordShellExecute(SHELLEXECUTEINFOW* info) {
  gShellCalls.push_back(ShellCall{info->lpVerb ? info->lpVerb : L"(none)", info->lpFile,
                                  info->lpParameters ? info->lpParameters : L"", info->lpDirectory ? info->lpDirectory : L"",
                                  info->fMask, info->nShow});
  info->hProcess = nullptr;
  if (gShellFailure != 0 && gShellCalls.size() == 1) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(gShellFailure);
    return FALSE;
  }
  return TRUE;
}

TEST(ShellLaunchTest, ElevatedScriptsRunThroughCmdAndAMissingAssociationRetriesTheDefaultVerb) {
  LauncherHooksForTesting hooks;
  hooks.shellExecuteEx = RecordShellExecute;
  SetLauncherHooksForTesting(&hooks);
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring cmd = std::wstring(windows) + L"\\System32\\cmd.exe";
  const ULONG kMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  const struct {
    const wchar_t* file;
    bool elevate;
    INT_PTR failure;
    std::vector<ShellCall> expected;
  } kCases[] = {
      {L"C:\\s\\clean.CMD", true, 0, {{L"runas", cmd, L"/C \"\"C:\\s\\clean.CMD\" -x\"", L"C:\\w", kMask, SW_HIDE}}},
      {L"C:\\s\\clean.bat", true, 0, {{L"runas", cmd, L"/C \"\"C:\\s\\clean.bat\" -x\"", L"C:\\w", kMask, SW_HIDE}}},
      {L"C:\\s\\clean.cmd", false, 0, {{L"open", L"C:\\s\\clean.cmd", L"-x", L"C:\\w", kMask, SW_HIDE}}},
      {L"C:\\s\\a.ps1", true, 0, {{L"runas", L"C:\\s\\a.ps1", L"-x", L"C:\\w", kMask, SW_HIDE}}},
      {L"C:\\s\\a.xyz", false, SE_ERR_NOASSOC,
       {{L"open", L"C:\\s\\a.xyz", L"-x", L"C:\\w", kMask, SW_HIDE},
        {L"(none)", L"C:\\s\\a.xyz", L"-x", L"C:\\w", SEE_MASK_NOCLOSEPROCESS, SW_HIDE}}},
      {L"C:\\s\\a.xyz", false, SE_ERR_ASSOCINCOMPLETE,
       {{L"open", L"C:\\s\\a.xyz", L"-x", L"C:\\w", kMask, SW_HIDE},
        {L"(none)", L"C:\\s\\a.xyz", L"-x", L"C:\\w", SEE_MASK_NOCLOSEPROCESS, SW_HIDE}}},
      {L"C:\\s\\a.xyz", false, SE_ERR_FNF, {{L"open", L"C:\\s\\a.xyz", L"-x", L"C:\\w", kMask, SW_HIDE}}},
  };
  for (const auto& c : kCases) {
    gShellCalls.clear();
    gShellFailure = c.failure;
    EXPECT_TRUE(ShellLaunch(c.file, L"-x", L"C:\\w", c.elevate)) << c.file;
    ASSERT_EQ(c.expected.size(), gShellCalls.size()) << c.file;
    for (size_t k = 0; k < c.expected.size(); ++k) {
      EXPECT_EQ(c.expected[k].verb, gShellCalls[k].verb) << c.file;
      EXPECT_EQ(c.expected[k].file, gShellCalls[k].file) << c.file;
      EXPECT_EQ(c.expected[k].parameters, gShellCalls[k].parameters) << c.file;
      EXPECT_EQ(c.expected[k].folder, gShellCalls[k].folder) << c.file;
      EXPECT_EQ(c.expected[k].mask, gShellCalls[k].mask) << c.file;
      EXPECT_EQ(c.expected[k].show, gShellCalls[k].show) << c.file;
    }
  }
  SetLauncherHooksForTesting(nullptr);
}

}  // namespace
}  // namespace quillon
