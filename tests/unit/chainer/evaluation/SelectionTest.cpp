#include "chainer/evaluation/Selection.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "chainer/ChainerConfig.h"
#include "chainer/IniDocument.h"
#include "tests/support/ScopedLogCapture.h"
#include "tests/support/ScopedOsInfoOverride.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using testing::OsProfile;
using testing::ScopedLogCapture;
using testing::ScopedOsInfoOverride;
using testing::ScopedTempFolder;
using Lines = std::vector<std::wstring>;

constexpr wchar_t kSearching[] = L"Searching for:";
constexpr wchar_t kResult[] = L"Search result:";
constexpr wchar_t kSelected[] = L"Prerequisite selected for install:";

constexpr NativeMachineAnswer kNoFunction{false, false, 0};
constexpr NativeMachineAnswer kCallFailed{true, false, 0};
constexpr NativeMachineAnswer kArm64{true, true, kArm64Machine};
constexpr NativeMachineAnswer kX64{true, true, IMAGE_FILE_MACHINE_AMD64};
constexpr NativeMachineAnswer kX86{true, true, IMAGE_FILE_MACHINE_I386};

class ScopedNativeMachine {
 public:
  explicit ScopedNativeMachine(const NativeMachineAnswer& answer) : previous_(SetNativeMachineForTesting(answer)) {}
  ~ScopedNativeMachine() { SetNativeMachineForTesting(previous_); }

 private:
  std::optional<NativeMachineAnswer> previous_;
};

// A configuration whose download folder is `downloadFolder` (the temporary folder when empty).
std::unique_ptr<ChainerConfig> MakeConfig(const std::wstring& downloadFolder = L"") {
  IniDocument document;
  document.Parse(L"[GeneralOptions]\r\nDownloadFolder=" + downloadFolder + L"\r\n");
  auto config = std::make_unique<ChainerConfig>();
  config->Load(document);
  ChainerConfig::ResetResolvedFoldersForTesting();
  return config;
}

// A prerequisite without searches: Operator 0 counts as found, any other value as not found.
Prerequisite Prereq(const std::wstring& name, bool found, LocationKind kind = LocationKind::SetupFile,
                    const std::wstring& options = L"", const std::wstring& parent = L"") {
  Prerequisite p;
  p.Name = name;
  p.Operator = found ? 0 : 1;
  p.LocationKind = kind;
  p.Location = kind == LocationKind::SetupFile ? L"pkg\\" + name + L".exe" : L"http://127.0.0.1/" + name + L".exe";
  p.Options = options;
  p.NoSearch = p.HasOption(L'i');
  p.ParentPrereq = parent;
  return p;
}

std::wstring Selection(const std::vector<Prerequisite>& list) {
  std::wstring text;
  for (const Prerequisite& p : list) text += p.Selected ? L'1' : L'0';
  return text;
}

TEST(SelectionTest, ProcessorRuleForEveryAnswerAndLetter) {
  const struct {
    NativeMachineAnswer machine;
    const wchar_t* options;
    bool allowed;
  } kCases[] = {
      {kArm64, L"", true},       {kArm64, L"c", false},      {kArm64, L"d", true},      {kArm64, L"cd", false},
      {kX64, L"", true},         {kX64, L"c", true},         {kX64, L"d", false},       {kX64, L"cd", false},
      {kX86, L"c", true},        {kX86, L"d", false},        {kCallFailed, L"c", true}, {kCallFailed, L"d", true},
      {kCallFailed, L"cd", true}, {kNoFunction, L"", true},  {kNoFunction, L"c", true}, {kNoFunction, L"d", false},
      {kNoFunction, L"cd", false}, {kArm64, L"C", true},     {kX64, L"D", true},  // letters are case-sensitive
  };
  for (const auto& c : kCases) {
    Prerequisite p;
    p.Options = c.options;
    EXPECT_EQ(c.allowed, IsProcessorAllowed(c.machine, p))
        << c.options << " found=" << c.machine.functionFound << " answered=" << c.machine.answered << " machine="
        << c.machine.nativeMachine;
  }
}

BOOL WINAPI AnswersArm64(HANDLE, USHORT* process, USHORT* native) {
  *process = IMAGE_FILE_MACHINE_I386;
  *native = kArm64Machine;
  return TRUE;
}
BOOL WINAPI Fails(HANDLE, USHORT* process, USHORT* native) {
  *process = 1;
  *native = 2;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

TEST(SelectionTest, AskNativeMachineTellsMissingFailedAndAnswered) {
  EXPECT_EQ(kNoFunction, AskNativeMachine(nullptr));
  EXPECT_EQ(kCallFailed, AskNativeMachine(&Fails));
  EXPECT_EQ(kArm64, AskNativeMachine(&AnswersArm64));
}

TEST(SelectionTest, RunningSystemAnswersItsNativeProcessorOnce) {
  // Wine 8 has IsWow64Process2 and runs this 32-bit process on an x64 machine.
  const NativeMachineAnswer& first = GetNativeMachine();
  EXPECT_EQ(kX64, first);
  EXPECT_EQ(&first, &GetNativeMachine());
  {
    ScopedNativeMachine arm(kArm64);
    EXPECT_EQ(kArm64, GetNativeMachine());
  }
  EXPECT_EQ(kX64, GetNativeMachine());
}

TEST(SelectionTest, ProcessorRejectionLogsNothing) {
  const struct {
    NativeMachineAnswer machine;
    const wchar_t* options;
    PrereqOutcome outcome;
  } kCases[] = {
      {kArm64, L"c", PrereqOutcome::OsNotSupported},   {kX64, L"d", PrereqOutcome::OsNotSupported},
      {kArm64, L"cd", PrereqOutcome::OsNotSupported},  {kX64, L"cd", PrereqOutcome::OsNotSupported},
      {kNoFunction, L"d", PrereqOutcome::OsNotSupported}, {kNoFunction, L"c", PrereqOutcome::InstallFromPackage},
      {kCallFailed, L"cd", PrereqOutcome::InstallFromPackage}, {kArm64, L"d", PrereqOutcome::InstallFromPackage},
  };
  for (const auto& c : kCases) {
    ScopedNativeMachine machine(c.machine);
    auto config = MakeConfig();
    config->Prerequisites().push_back(Prereq(L"P", false, LocationKind::SetupFile, c.options));
    ScopedLogCapture log;
    Evaluate(*config, 0, false);
    const Prerequisite& p = config->Prerequisites()[0];
    EXPECT_EQ(c.outcome, p.Outcome) << c.options;
    if (c.outcome == PrereqOutcome::OsNotSupported) {
      EXPECT_EQ(Lines{}, log.Entries()) << c.options;
      EXPECT_EQ(PrereqOutcome::Undefined, p.FirstOutcome);
    } else {
      EXPECT_EQ((Lines{L"Searching for:P", std::wstring(kResult) + OutcomeText(c.outcome)}), log.Entries()) << c.options;
    }
  }
}

TEST(SelectionTest, OsAndLanguageFiltersRejectWithOneLine) {
  ScopedOsInfoOverride os(OsProfile::Windows10V22H2X64);
  const struct {
    const wchar_t* winNT;
    const wchar_t* winNT64;
    const wchar_t* languages;
    Lines log;
    PrereqOutcome outcome;
  } kCases[] = {
      {L"", L"Windows 10 x64", L"", {L"Wrong OS or Os language for:Net"}, PrereqOutcome::OsNotSupported},
      {L"", L"Windows 7 x64, Windows 10 version 22H2 x64", L"", {L"Wrong OS or Os language for:Net"},
       PrereqOutcome::OsNotSupported},
      // The 32-bit list does not apply to 64-bit Windows.
      {L"Windows 10 x64", L"Windows 10 x86", L"", {L"Searching for:Net", L"Search result:An acceptable version was found."},
       PrereqOutcome::AcceptableVersionFound},
      {L"", L"", L"1031;", {L"SystemDefault LangID=1033-English (United States)", L"Wrong OS or Os language for:Net"},
       PrereqOutcome::OsNotSupported},
      {L"", L"", L"1031;1033;",
       {L"SystemDefault LangID=1033-English (United States)", L"Searching for:Net",
        L"Search result:An acceptable version was found."},
       PrereqOutcome::AcceptableVersionFound},
      // The language is not asked once the system is excluded.
      {L"", L"Windows 10 x64", L"1031;", {L"Wrong OS or Os language for:Net"}, PrereqOutcome::OsNotSupported},
  };
  for (const auto& c : kCases) {
    auto config = MakeConfig();
    Prerequisite p = Prereq(L"Net", true);
    p.WinNTVersions = c.winNT;
    p.WinNT64Versions = c.winNT64;
    p.LanguageList = c.languages;
    config->Prerequisites().push_back(p);
    ScopedLogCapture log;
    Evaluate(*config, 0, false);
    EXPECT_EQ(c.outcome, config->Prerequisites()[0].Outcome) << c.winNT64 << " " << c.languages;
    EXPECT_EQ(c.log, log.Entries()) << c.winNT64 << " " << c.languages;

    // Rejected once, never looked at again in the run.
    ScopedLogCapture again;
    config->Prerequisites()[0].WinNT64Versions.clear();
    config->Prerequisites()[0].LanguageList.clear();
    Evaluate(*config, 0, false);
    if (c.outcome == PrereqOutcome::OsNotSupported) {
      EXPECT_EQ(PrereqOutcome::OsNotSupported, config->Prerequisites()[0].Outcome);
      EXPECT_EQ(Lines{}, again.Entries());
    }
  }
}

TEST(SelectionTest, NotFoundOutcomeFollowsTheLocationKind) {
  const struct {
    LocationKind kind;
    bool found;
    PrereqOutcome outcome;
  } kCases[] = {
      {LocationKind::SetupFile, false, PrereqOutcome::InstallFromPackage},
      {LocationKind::Url, false, PrereqOutcome::MustDownload},
      {LocationKind::OpenSite, false, PrereqOutcome::DownloadFromSite},
      {static_cast<LocationKind>(7), false, PrereqOutcome::InstallFromPackage},
      {LocationKind::Url, true, PrereqOutcome::AcceptableVersionFound},
      {LocationKind::OpenSite, true, PrereqOutcome::AcceptableVersionFound},
  };
  for (const auto& c : kCases) {
    auto config = MakeConfig();
    config->Prerequisites().push_back(Prereq(L"Kind", c.found, c.kind));
    ScopedLogCapture log;
    Evaluate(*config, 0, false);
    const Prerequisite& p = config->Prerequisites()[0];
    EXPECT_EQ(c.outcome, p.Outcome);
    EXPECT_EQ(c.outcome, p.FirstOutcome);
    EXPECT_EQ((Lines{L"Searching for:Kind", std::wstring(kResult) + OutcomeText(c.outcome)}), log.Entries());
  }
}

TEST(SelectionTest, FirstOutcomeKeepsTheFirstAnswer) {
  auto config = MakeConfig();
  config->Prerequisites().push_back(Prereq(L"P", false));
  Evaluate(*config, 0, false);
  config->Prerequisites()[0].Operator = 0;  // installed meanwhile
  Evaluate(*config, 0, false);
  EXPECT_EQ(PrereqOutcome::AcceptableVersionFound, config->Prerequisites()[0].Outcome);
  EXPECT_EQ(PrereqOutcome::InstallFromPackage, config->Prerequisites()[0].FirstOutcome);
}

TEST(SelectionTest, NoSearchCountsAsNotFoundAndIsHonouredLater) {
  auto config = MakeConfig();
  config->Prerequisites().push_back(Prereq(L"Forced", true, LocationKind::Url, L"im"));  // found if it searched
  {
    ScopedLogCapture log;
    Evaluate(*config, 0, false);
    EXPECT_EQ(PrereqOutcome::MustDownload, config->Prerequisites()[0].Outcome);
    EXPECT_EQ((Lines{L"Searching for:Forced", L"Search result:No acceptable version found. It must be downloaded."}),
              log.Entries());
  }
  config->Prerequisites()[0].Outcome = PrereqOutcome::InstallFromPackage;
  ScopedLogCapture log;
  Evaluate(*config, 0, true);
  EXPECT_EQ(PrereqOutcome::InstallFromPackage, config->Prerequisites()[0].Outcome);
  EXPECT_EQ(Lines{L"Searching for:Forced"}, log.Entries());
}

TEST(SelectionTest, IndexOutsideTheListThrows) {
  auto config = MakeConfig();
  config->Prerequisites().push_back(Prereq(L"P", true));
  EXPECT_THROW(Evaluate(*config, 1, false), std::out_of_range);
  EXPECT_THROW(SetSelected(config->Prerequisites(), 5, true), std::out_of_range);
}

// Evaluates and selects the list; gives the selection ("1" selected) and the selection log lines.
struct SelectionRun {
  std::wstring selection;
  Lines selected;
};
SelectionRun RunSelection(std::vector<Prerequisite> list) {
  auto config = MakeConfig();
  config->Prerequisites() = std::move(list);
  ScopedLogCapture log;
  EXPECT_EQ(0, EvaluateAll(*config));
  SelectionRun run{Selection(config->Prerequisites()), {}};
  for (const std::wstring& line : log.Entries()) {
    if (line.rfind(kSelected, 0) == 0) run.selected.push_back(line.substr(wcslen(kSelected)));
  }
  return run;
}

TEST(SelectionTest, ParentsAndChildrenAfterEvaluation) {
  const struct {
    const char* what;
    std::vector<Prerequisite> list;
    const wchar_t* selection;
    Lines selected;
  } kCases[] = {
      {"both to install", {Prereq(L"A", false), Prereq(L"B", false, LocationKind::Url, L"", L"A")}, L"11", {L"A", L"B"}},
      {"child listed first", {Prereq(L"B", false, LocationKind::SetupFile, L"", L"A"), Prereq(L"A", false)}, L"11",
       {L"B", L"A"}},
      {"parent installed", {Prereq(L"A", true), Prereq(L"B", false, LocationKind::SetupFile, L"", L"A")}, L"01", {L"B"}},
      {"child installed", {Prereq(L"A", false), Prereq(L"B", true, LocationKind::SetupFile, L"", L"A")}, L"10", {L"A"}},
      {"parent not supported",
       {Prereq(L"A", false, LocationKind::SetupFile, L"d"), Prereq(L"B", false, LocationKind::SetupFile, L"", L"A")},
       L"01", {L"B"}},
      {"child not supported",
       {Prereq(L"A", false), Prereq(L"B", false, LocationKind::SetupFile, L"d", L"A")}, L"10", {L"A"}},
      {"unknown parent", {Prereq(L"A", true), Prereq(L"B", false, LocationKind::SetupFile, L"", L"Missing")}, L"01",
       {L"B"}},
      {"parent names are case-sensitive",
       {Prereq(L"A", true), Prereq(L"B", false, LocationKind::SetupFile, L"", L"a")}, L"01", {L"B"}},
      {"first of two equal names is the parent",
       {Prereq(L"C", false, LocationKind::SetupFile, L"", L"A"), Prereq(L"X", false), Prereq(L"A", true),
        Prereq(L"A", false)},
       L"1101", {L"C", L"X", L"A"}},
      {"an installed link of a chain stays unselected",
       {Prereq(L"A", false), Prereq(L"B", true, LocationKind::SetupFile, L"", L"A"),
        Prereq(L"C", false, LocationKind::SetupFile, L"", L"B")},
       L"101", {L"A", L"C"}},
      {"two that name each other", {Prereq(L"A", false, LocationKind::SetupFile, L"", L"B"),
                                    Prereq(L"B", false, LocationKind::SetupFile, L"", L"A")},
       L"11", {L"A", L"B"}},
      {"own parent", {Prereq(L"A", false, LocationKind::SetupFile, L"", L"A")}, L"1", {L"A"}},
      {"nothing to install", {Prereq(L"A", true), Prereq(L"B", true, LocationKind::Url, L"", L"A")}, L"00", {}},
  };
  ScopedNativeMachine machine(kX64);
  for (const auto& c : kCases) {
    const SelectionRun run = RunSelection(c.list);
    EXPECT_EQ(c.selection, run.selection) << c.what;
    EXPECT_EQ(c.selected, run.selected) << c.what;
  }
}

TEST(SelectionTest, ParentChangesCarryToChildren) {
  std::vector<Prerequisite> list = {Prereq(L"A", false), Prereq(L"B", false, LocationKind::SetupFile, L"", L"A"),
                                    Prereq(L"C", false, LocationKind::SetupFile, L"", L"A"), Prereq(L"D", false)};
  list[0].Outcome = PrereqOutcome::InstallFromPackage;
  list[1].Outcome = PrereqOutcome::AcceptableVersionFound;
  list[1].Selected = true;  // selected earlier, installed since
  list[2].Outcome = PrereqOutcome::MustDownload;
  list[3].Outcome = PrereqOutcome::InstallFromPackage;
  {
    ScopedLogCapture log;
    SetSelected(list, 0, true);  // selects C, deselects B
    EXPECT_EQ(L"1010", Selection(list));
    EXPECT_EQ((Lines{L"Prerequisite selected for install:A", L"Prerequisite selected for install:B",
                     L"Prerequisite selected for install:C"}),
              log.Entries());
  }
  {
    ScopedLogCapture log;
    SetSelected(list, 0, true);  // no change: no line, no propagation
    EXPECT_EQ(Lines{}, log.Entries());
  }
  list[1].Selected = true;
  ScopedLogCapture log;
  SetSelected(list, 0, false);  // every child goes, whatever its outcome
  EXPECT_EQ(L"0000", Selection(list));
  EXPECT_EQ((Lines{L"Prerequisite selected for install:A", L"Prerequisite selected for install:B",
                   L"Prerequisite selected for install:C"}),
            log.Entries());
}

TEST(SelectionTest, AnUnnamedPrerequisiteHasNoChildren) {
  std::vector<Prerequisite> list = {Prereq(L"", false), Prereq(L"B", false)};
  for (Prerequisite& p : list) {
    p.Outcome = PrereqOutcome::InstallFromPackage;
    p.Selected = true;
  }
  SetSelected(list, 0, false);
  EXPECT_EQ(L"01", Selection(list));
}

void WriteFileOfSize(const std::wstring& path, size_t size) {
  ::CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  const std::string bytes(size, 'x');
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

TEST(SelectionTest, PackagePresenceOfDownloadsAfterEvaluation) {
  ScopedTempFolder downloads;
  WriteFileOfSize(downloads.File(L"here.exe"), 100);
  WriteFileOfSize(downloads.File(L"Sub\\named.exe"), 7);
  const struct {
    const wchar_t* location;
    int32_t exactSize;
    const wchar_t* folder;
    bool present;
  } kCases[] = {
      {L"http://127.0.0.1/here.exe", 100, L"", true},
      {L"http://127.0.0.1/here.exe", 0, L"", true},
      {L"http://127.0.0.1/here.exe", 99, L"", false},
      {L"http://127.0.0.1/gone.exe", 0, L"", false},
      {L"http://127.0.0.1/x.exe", 7, L"Sub?named.exe", true},
      {L"file:///C:/nowhere/setup.exe", 5, L"", true},  // never looked at
      {L"FILE://pkg/setup.exe", 0, L"", true},
  };
  for (const auto& c : kCases) {
    auto config = MakeConfig(downloads.Path());
    Prerequisite p = Prereq(L"Dl", false, LocationKind::Url);
    p.Location = c.location;
    p.ExactSize = c.exactSize;
    p.Folder = c.folder;
    config->Prerequisites().push_back(p);
    EvaluateAll(*config);
    EXPECT_EQ(c.present, config->Prerequisites()[0].PackageIsPresent) << c.location << " " << c.exactSize;
    EXPECT_TRUE(config->Prerequisites()[0].Selected);
  }
  // Other outcomes keep what they had.
  auto config = MakeConfig(downloads.Path());
  config->Prerequisites().push_back(Prereq(L"Setup", false));
  config->Prerequisites().push_back(Prereq(L"Found", true, LocationKind::Url));
  config->Prerequisites()[0].PackageIsPresent = true;
  config->Prerequisites()[1].Location = L"file:///C:/x.exe";
  EvaluateAll(*config);
  EXPECT_TRUE(config->Prerequisites()[0].PackageIsPresent);
  EXPECT_FALSE(config->Prerequisites()[1].PackageIsPresent);
}

TEST(SelectionTest, EvaluatesAThousandPrerequisites) {
  auto config = MakeConfig();
  for (int i = 0; i < 1000; ++i) {
    config->Prerequisites().push_back(
        Prereq(L"P" + std::to_wstring(i), i % 3 == 0, LocationKind::SetupFile, L"", i > 0 ? L"P" + std::to_wstring(i - 1) : L""));
  }
  EvaluateAll(*config);
  for (const Prerequisite& p : config->Prerequisites()) {
    const PrereqOutcome expected = p.Operator == 0 ? PrereqOutcome::AcceptableVersionFound : PrereqOutcome::InstallFromPackage;
    EXPECT_EQ(expected, p.Outcome) << p.Name;
    EXPECT_EQ(expected, p.FirstOutcome) << p.Name;
    EXPECT_EQ(p.Operator != 0, p.Selected) << p.Name;
  }
}

}  // namespace
}  // namespace quillon
