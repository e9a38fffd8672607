#include "chainer/evaluation/FormattedText.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cwctype>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chainer/evaluation/OsInfo.h"
#include "platform/core/SystemText.h"
#include "platform/core/TempFolders.h"
#include "platform/core/VersionInfo.h"
#include "tests/support/ScopedRegistryOverride.h"

namespace quillon {
namespace {

using testing::ScopedRegistryOverride;

// Sets (or, with nullptr, removes) an environment variable of the test process for one scope.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::wstring name, const wchar_t* value) : name_(std::move(name)) {
    std::wstring old;
    if (GetEnvironmentText(name_, old)) old_ = old;
    ::SetEnvironmentVariableW(name_.c_str(), value);
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;
  ~ScopedEnvironmentVariable() { ::SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }

 private:
  std::wstring name_;
  std::optional<std::wstring> old_;
};

// Puts the system back whatever a test replaced; the values kept for the process are forgotten.
class FormattedTextTest : public ::testing::Test {
 protected:
  void SetUp() override { SetFolderPropertyHooksForTesting(nullptr); }
  void TearDown() override {
    SetFolderPropertyHooksForTesting(nullptr);
    SetTempFolderHooksForTesting(nullptr);
  }
  void UseHooks() { SetFolderPropertyHooksForTesting(&hooks_); }
  FolderPropertyHooksForTesting hooks_;
};

std::wstring Env(const wchar_t* name) {
  std::wstring value;
  EXPECT_TRUE(GetEnvironmentText(name, value)) << name;
  return value;
}

// Windows compares paths ignoring case, and the folders' case differs between Windows versions (and
// Wine's startup folder is "StartUp").
bool SamePath(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  }
  return true;
}

std::wstring Repeat(const std::wstring& piece, size_t count) {
  std::wstring text;
  text.reserve(piece.size() * count);
  for (size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// Every folder property against what the environment of the same machine says the folder is.
TEST_F(FormattedTextTest, EveryFolderPropertyGivesItsFolderWithBackslash) {
  const bool x64 = GetOsInfo().is64BitWindows;
  const std::wstring windows = Env(L"windir") + L"\\";
  const std::wstring startMenu = Env(L"APPDATA") + L"\\Microsoft\\Windows\\Start Menu\\";
  const struct {
    const wchar_t* name;
    bool use64BitView;
    std::wstring folder;
  } kCases[] = {
      // On 32-bit Windows ProgramW6432 is not defined and the shell's folder answers instead.
      {L"ProgramFiles64Folder", false, (x64 ? Env(L"ProgramW6432") : Env(L"ProgramFiles")) + L"\\"},
      {L"SystemFolder", true, windows + L"system32\\"},
      {L"SystemFolder", false, windows + (x64 ? L"syswow64\\" : L"system32\\")},
      {L"System32Folder", false, windows + L"system32\\"},
      {L"System32Folder", true, windows + L"system32\\"},
      {L"WindowsFolder", false, windows},
      {L"WindowsVolume", false, Env(L"SystemDrive") + L"\\"},
      {L"TempFolder", false, Env(L"TMP") + L"\\"},
      // A 32-bit process's program-files folders are the x86 ones on 64-bit Windows.
      {L"ProgramFilesFolder", false, Env(L"ProgramFiles") + L"\\"},
      {L"ProgramFilesFolder", true, Env(L"ProgramFiles") + L"\\"},
      {L"ProgramFiles", false, Env(L"ProgramFiles") + L"\\"},
      {L"CommonFilesFolder", false, Env(L"CommonProgramFiles") + L"\\"},
      {L"DesktopFolder", false, Env(L"USERPROFILE") + L"\\Desktop\\"},
      {L"AllUsersDesktopFolder", false, Env(L"PUBLIC") + L"\\Desktop\\"},
      {L"AppDataFolder", false, Env(L"APPDATA") + L"\\"},
      {L"FavoritesFolder", false, Env(L"USERPROFILE") + L"\\Favorites\\"},
      {L"StartMenuFolder", false, startMenu},
      {L"ProgramMenuFolder", false, startMenu + L"Programs\\"},
      {L"StartupFolder", false, startMenu + L"Programs\\Startup\\"},
      {L"FontsFolder", false, windows + L"Fonts\\"},
      {L"LocalAppDataFolder", false, Env(L"LOCALAPPDATA") + L"\\"},
      {L"CommonAppDataFolder", false, Env(L"ProgramData") + L"\\"},
  };
  for (const auto& c : kCases) {
    std::wstring folder = c.name;
    ASSERT_TRUE(ResolveFolderProperty(folder, c.use64BitView)) << c.name;
    EXPECT_TRUE(SamePath(c.folder, folder)) << c.name << L" gave " << folder << L", expected " << c.folder;
    EXPECT_EQ(folder + L"MyApp", ExpandFormattedText(std::wstring(L"[") + c.name + L"]MyApp", c.use64BitView))
        << c.name;
  }
}

TEST_F(FormattedTextTest, ProgramFiles64FolderFollowsProgramW6432) {
  const struct {
    const wchar_t* programW6432;  // nullptr: not defined
    std::wstring expected;
  } kCases[] = {
      {L"D:\\Programs64", L"D:\\Programs64\\"},
      {L"D:\\Programs64\\", L"D:\\Programs64\\"},
      {L"", L"\\"},
      // Without the variable the shell's program-files folder answers, as on 32-bit Windows.
      {nullptr, Env(L"ProgramFiles") + L"\\"},
  };
  for (const auto& c : kCases) {
    ScopedEnvironmentVariable variable(L"ProgramW6432", c.programW6432);
    const std::wstring expanded = ExpandFormattedText(L"[ProgramFiles64Folder]MyApp", false);
    EXPECT_TRUE(SamePath(c.expected + L"MyApp", expanded)) << (c.programW6432 ? c.programW6432 : L"(none)");
  }
}

TEST_F(FormattedTextTest, FolderPropertyNamesMatchOnlyInTheirExactCase) {
  for (const wchar_t* name :
       {L"programfilesfolder", L"PROGRAMFILESFOLDER", L"Programfiles", L"systemfolder", L"setupexedir",
        L"SetupExeDir", L"windowsvolume", L"Tempfolder", L" WindowsFolder", L"WindowsFolder ", L"ProgramFiles86",
        L"", L"Unknown", L"%windir%", L"ProgramW6432", L"ProgramFilesFolder\\"}) {
    std::wstring text = name;
    EXPECT_FALSE(ResolveFolderProperty(text, false)) << name;
    EXPECT_EQ(name, text);
    const std::wstring reference = std::wstring(L"[") + name + L"]tail";
    EXPECT_EQ(reference, ExpandFormattedText(reference, false)) << name;
    EXPECT_EQ(reference, ExpandFormattedText(reference, true)) << name;
  }
}

// How the single pass reads every reference kind, with values this test controls.
TEST_F(FormattedTextTest, ExpandsEachReferenceKindInOnePass) {
  ScopedEnvironmentVariable alpha(L"QUILLON_FT_ALPHA", L"alpha");
  ScopedEnvironmentVariable percent(L"QUILLON_FT_PERCENT", L"50%");
  ScopedEnvironmentVariable reference(L"QUILLON_FT_REFERENCE", L"[WindowsFolder]");
  ScopedEnvironmentVariable empty(L"QUILLON_FT_EMPTY", L"");
  ScopedEnvironmentVariable undefined(L"QUILLON_FT_UNDEFINED", nullptr);
  ScopedRegistryOverride registry;
  ASSERT_TRUE(registry.SetString(L"", L"Name", L"reg-text"));
  ASSERT_TRUE(registry.SetString(L"", L"", L"default-text"));
  ASSERT_TRUE(registry.SetDword(L"", L"Dword", 4294967295u));
  ASSERT_TRUE(registry.SetString(L"", L"Reference", L"%QUILLON_FT_ALPHA%[WindowsFolder]"));
  ASSERT_TRUE(registry.SetString(L"Sub", L"Deeper", L"sub-text"));
  const std::wstring key = registry.Path();
  const std::wstring windows = Env(L"windir") + L"\\";
  const std::wstring volume = Env(L"SystemDrive") + L"\\";

  const struct {
    std::wstring text;
    std::wstring expected;
  } kCases[] = {
      {L"", L""},
      {L"plain text without references", L"plain text without references"},
      {L"C:\\Program Files\\App\\setup.exe /q", L"C:\\Program Files\\App\\setup.exe /q"},
      {L"]", L"]"},
      {L"a]b]", L"a]b]"},
      // folder properties
      {L"[WindowsFolder]", windows},
      {L"[WindowsFolder]MyApp", windows + L"MyApp"},
      {L"x[WindowsFolder]y", L"x" + windows + L"y"},
      {L"[WindowsFolder][WindowsVolume]", windows + volume},
      {L"[Unknown]x[WindowsVolume]", L"[Unknown]x" + volume},
      {L"[]", L"[]"},
      {L"[", L"["},
      {L"x[", L"x["},
      {L"[WindowsFolder", L"[WindowsFolder"},
      {L"[WindowsFolder]][", windows + L"]["},
      // References do not nest: the first "]" ends the name.
      {L"[[WindowsFolder]]", L"[[WindowsFolder]]"},
      {L"[a[WindowsFolder]", L"[a[WindowsFolder]"},
      {L"[%QUILLON_FT_ALPHA%]", L"[%QUILLON_FT_ALPHA%]"},
      {L"[!" + key + L"\\Name!]", L"[!" + key + L"\\Name!]"},
      // environment variables
      {L"%QUILLON_FT_ALPHA%", L"alpha"},
      {L"%QUILLON_FT_ALPHA%\\x", L"alpha\\x"},
      {L"%quillon_ft_alpha%", L"alpha"},  // the system looks variables up ignoring case
      {L"%QUILLON_FT_UNDEFINED%\\x", L"\\x"},
      {L"%QUILLON_FT_EMPTY%\\x", L"\\x"},
      {L"%QUILLON_FT_ALPHA%%QUILLON_FT_ALPHA%", L"alphaalpha"},
      {L"%%", L""},
      {L"100%%", L"100"},
      {L"%", L"%"},
      {L"50%", L"50%"},
      {L"50% off", L"50% off"},
      {L"a%b%c%d", L"ac%d"},
      {L"%[WindowsFolder]%", L""},
      {L"%QUILLON_FT_ALPHA%[WindowsFolder", L"alpha[WindowsFolder"},
      // Expanded values are never read again.
      {L"%QUILLON_FT_REFERENCE%", L"[WindowsFolder]"},
      {L"%QUILLON_FT_PERCENT% of %QUILLON_FT_ALPHA%", L"50% of alpha"},
      // registry values
      {L"!" + key + L"\\Name!", L"reg-text"},
      {L"<!" + key + L"\\Name!>", L"<reg-text>"},
      {L"!" + key + L"\\!", L"default-text"},
      {L"!" + key + L"\\Dword!", L"4294967295"},
      {L"!" + key + L"\\Sub\\Deeper!", L"sub-text"},
      {L"!" + key + L"\\Missing!", L""},
      {L"!" + key + L"\\NoSuchKey\\Name!x", L"x"},
      {L"!" + key + L"\\Reference!", L"%QUILLON_FT_ALPHA%[WindowsFolder]"},
      {L"!HKCU!", L""},
      {L"![WindowsFolder]!", L""},
      {L"!%QUILLON_FT_ALPHA%!", L""},
      {L"!" + key + L"\\Name", L"!" + key + L"\\Name"},
      // Two marks in a row are no empty reference: the closing mark is looked for after them.
      {L"!", L"!"},
      {L"!!", L"!!"},
      {L"!a", L"!a"},
      {L"x!", L"x!"},
      {L"a!!b", L"a!!b"},
      {L"!!x!", L""},
      {L"!!x!!" + key + L"\\Name!", L"reg-text"},
      {L"!!" + key + L"\\Name!", L""},
      {L"!!!", L""},
      // all kinds together
      {L"[WindowsFolder]%QUILLON_FT_ALPHA%!" + key + L"\\Name!\\end", windows + L"alphareg-text\\end"},
      {L"%QUILLON_FT_ALPHA%![WindowsFolder]%!", L"alpha"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.expected, ExpandFormattedText(c.text, false)) << c.text;
  }
}

TEST_F(FormattedTextTest, RegistryReferencesReadTheViewTheFlagNames) {
  ScopedRegistryOverride machine(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(machine.SetString(L"", L"View", L"view32", KEY_WOW64_32KEY));
  ASSERT_TRUE(machine.SetString(L"", L"View", L"view64", KEY_WOW64_64KEY));
  ASSERT_TRUE(machine.SetString(L"", L"Only64", L"only64", KEY_WOW64_64KEY));
  const std::wstring key = machine.Path();
  const struct {
    std::wstring text;
    bool use64BitView;
    std::wstring expected;
  } kCases[] = {
      {L"!" + key + L"\\View!", false, L"view32"},
      {L"!" + key + L"\\View!", true, L"view64"},
      {L"!" + key + L"\\Only64!", false, L""},
      {L"!" + key + L"\\Only64!", true, L"only64"},
      {L"!HKEY_LOCAL_MACHINE" + key.substr(4) + L"\\View!", true, L"view64"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.expected, ExpandFormattedText(c.text, c.use64BitView)) << c.text << L" 64=" << c.use64BitView;
  }
}

int gSystemFolderCsidl = -1;
HRESULT gSystemFolderResult = S_OK;
const wchar_t* gSystemFolderPath = L"";

HRESULT WINAPI FakeSystemFolderPath(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
  gSystemFolderCsidl = csidl;
  wcscpy(path, gSystemFolderPath);
  return gSystemFolderResult;
}

TEST_F(FormattedTextTest, SystemFolderAsksTheShellForTheViewTheFlagNames) {
  hooks_.getFolderPath = FakeSystemFolderPath;
  UseHooks();
  const struct {
    bool use64BitView;
    HRESULT result;
    const wchar_t* path;
    int csidl;
    std::wstring expected;
  } kCases[] = {
      {true, S_OK, L"X:\\Sys", CSIDL_SYSTEM, L"X:\\Sys\\a"},
      {false, S_OK, L"X:\\Sys", CSIDL_SYSTEMX86, L"X:\\Sys\\a"},
      {false, S_OK, L"X:\\Sys\\", CSIDL_SYSTEMX86, L"X:\\Sys\\a"},
      // Without a folder the property stays as written.
      {true, E_FAIL, L"", CSIDL_SYSTEM, L"[SystemFolder]a"},
      {false, S_OK, L"", CSIDL_SYSTEMX86, L"[SystemFolder]a"},
  };
  for (const auto& c : kCases) {
    gSystemFolderCsidl = -1;
    gSystemFolderResult = c.result;
    gSystemFolderPath = c.path;
    EXPECT_EQ(c.expected, ExpandFormattedText(L"[SystemFolder]a", c.use64BitView)) << c.path;
    EXPECT_EQ(c.csidl, gSystemFolderCsidl);
  }
}

int gLocationCsidl = -1;
int gShfolderCsidl = -1;
int gShfolderCalls = 0;
HRESULT gShfolderResult = S_OK;
std::optional<std::wstring> gShfolderPath;  // unset: the CSIDL answer

HRESULT WINAPI FailingFolderLocation(HWND, int csidl, PIDLIST_ABSOLUTE* list) {
  gLocationCsidl = csidl;
  *list = nullptr;
  return E_FAIL;
}

BOOL WINAPI FailingPathFromList(PCIDLIST_ABSOLUTE, LPWSTR path) {
  path[0] = L'\0';
  return FALSE;
}

// Answers "C:\Shell\<csidl>" unless a path or a failure is set.
HRESULT WINAPI FakeShfolderPath(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
  ++gShfolderCalls;
  gShfolderCsidl = csidl;
  const std::wstring answer = gShfolderPath ? *gShfolderPath : L"C:\\Shell\\" + std::to_wstring(csidl);
  wcscpy(path, answer.c_str());
  return gShfolderResult;
}

// Through the fallback the CSIDL of each name shows in the path, so the table is checked row by row.
TEST_F(FormattedTextTest, EveryShellFolderNameAsksForItsCsidl) {
  ScopedEnvironmentVariable noProgramW6432(L"ProgramW6432", nullptr);
  hooks_.getSpecialFolderLocation = FailingFolderLocation;
  hooks_.shfolderGetFolderPath = FakeShfolderPath;
  gShfolderResult = S_OK;
  gShfolderPath.reset();
  UseHooks();
  const struct {
    const wchar_t* name;
    int csidl;
  } kCases[] = {
      {L"ProgramFilesFolder", 38}, {L"CommonFilesFolder", 43},    {L"DesktopFolder", 16},
      {L"AllUsersDesktopFolder", 25}, {L"AppDataFolder", 26},     {L"FavoritesFolder", 6},
      {L"StartMenuFolder", 11},    {L"ProgramMenuFolder", 2},     {L"StartupFolder", 7},
      {L"FontsFolder", 20},        {L"LocalAppDataFolder", 28},   {L"CommonAppDataFolder", 35},
      {L"ProgramFiles64Folder", 38}, {L"ProgramFiles", 38},
  };
  for (const auto& c : kCases) {
    gLocationCsidl = gShfolderCsidl = -1;
    std::wstring folder = c.name;
    EXPECT_TRUE(ResolveFolderProperty(folder, false)) << c.name;
    EXPECT_EQ(L"C:\\Shell\\" + std::to_wstring(c.csidl) + L"\\", folder) << c.name;
    EXPECT_EQ(c.csidl, gLocationCsidl) << c.name;
    EXPECT_EQ(c.csidl, gShfolderCsidl) << c.name;
  }
}

TEST_F(FormattedTextTest, ItemListWithoutPathAnswersFalseWithoutFallback) {
  hooks_.getPathFromIdList = FailingPathFromList;
  hooks_.shfolderGetFolderPath = FakeShfolderPath;
  hooks_.shellIsVersion5OrLater = false;  // an old shell would otherwise try the environment
  gShfolderCalls = 0;
  gShfolderResult = S_OK;
  gShfolderPath.reset();
  UseHooks();
  for (const wchar_t* text : {L"[ProgramFilesFolder]x", L"[AppDataFolder]x", L"[FontsFolder]x"}) {
    EXPECT_EQ(text, ExpandFormattedText(text, false));
  }
  EXPECT_EQ(0, gShfolderCalls);
}

TEST_F(FormattedTextTest, ShellFolderFallsBackToShfolderThenToTheEnvironmentOnOldShells) {
  enum class Shfolder { Missing, Fails, EmptyPath, Gives };
  const struct {
    Shfolder shfolder;
    bool version5OrLater;
    const wchar_t* name;
    const wchar_t* programFiles;  // PROGRAMFILES, nullptr: not defined
    const wchar_t* appData;       // APPDATA, nullptr: not defined
    std::wstring expected;        // what "[name]x" becomes
  } kCases[] = {
      {Shfolder::Gives, true, L"AppDataFolder", L"P:\\PF", L"A:\\AD", L"S:\\Given\\x"},
      {Shfolder::Gives, false, L"ProgramFilesFolder", L"P:\\PF", L"A:\\AD", L"S:\\Given\\x"},
      // Version 5 and later: no folder.
      {Shfolder::Missing, true, L"ProgramFilesFolder", L"P:\\PF", L"A:\\AD", L"[ProgramFilesFolder]x"},
      {Shfolder::Fails, true, L"AppDataFolder", L"P:\\PF", L"A:\\AD", L"[AppDataFolder]x"},
      {Shfolder::EmptyPath, true, L"ProgramFiles", L"P:\\PF", L"A:\\AD", L"[ProgramFiles]x"},
      // Older shells: three names from the environment, the rest nothing.
      {Shfolder::Missing, false, L"ProgramFilesFolder", L"P:\\PF", L"A:\\AD", L"P:\\PF\\x"},
      {Shfolder::Fails, false, L"ProgramFiles", L"P:\\PF\\", L"A:\\AD", L"P:\\PF\\x"},
      {Shfolder::EmptyPath, false, L"AppDataFolder", L"P:\\PF", L"A:\\AD", L"A:\\AD\\x"},
      {Shfolder::Missing, false, L"ProgramFilesFolder", nullptr, L"A:\\AD", L"[ProgramFilesFolder]x"},
      {Shfolder::Missing, false, L"ProgramFilesFolder", L"", L"A:\\AD", L"x"},
      {Shfolder::Missing, false, L"AppDataFolder", L"P:\\PF", nullptr, L"[AppDataFolder]x"},
      {Shfolder::Missing, false, L"DesktopFolder", L"P:\\PF", L"A:\\AD", L"[DesktopFolder]x"},
      {Shfolder::Missing, false, L"CommonFilesFolder", L"P:\\PF", L"A:\\AD", L"[CommonFilesFolder]x"},
      {Shfolder::Missing, false, L"LocalAppDataFolder", L"P:\\PF", L"A:\\AD", L"[LocalAppDataFolder]x"},
  };
  for (const auto& c : kCases) {
    ScopedEnvironmentVariable programFiles(L"PROGRAMFILES", c.programFiles);
    ScopedEnvironmentVariable appData(L"APPDATA", c.appData);
    hooks_ = FolderPropertyHooksForTesting{};
    hooks_.getSpecialFolderLocation = FailingFolderLocation;
    hooks_.shfolderMissing = c.shfolder == Shfolder::Missing;
    hooks_.shfolderGetFolderPath = FakeShfolderPath;
    hooks_.shellIsVersion5OrLater = c.version5OrLater;
    gShfolderResult = c.shfolder == Shfolder::Fails ? E_FAIL : S_OK;
    gShfolderPath = c.shfolder == Shfolder::Gives ? L"S:\\Given" : L"";
    UseHooks();
    EXPECT_EQ(c.expected, ExpandFormattedText(std::wstring(L"[") + c.name + L"]x", false)) << c.name;
  }
}

TEST_F(FormattedTextTest, TheRealShellDecidesVersion5OrLater) {
  DWORD major = 0;
  DWORD minor = 0;
  ASSERT_TRUE(GetDllVersion(L"Shlwapi.dll", major, minor));
  ASSERT_GE(major, 5u);
  hooks_.getSpecialFolderLocation = FailingFolderLocation;
  hooks_.shfolderMissing = true;
  UseHooks();
  ScopedEnvironmentVariable programFiles(L"PROGRAMFILES", L"P:\\PF");
  EXPECT_EQ(L"[ProgramFilesFolder]x", ExpandFormattedText(L"[ProgramFilesFolder]x", false));
}

// With the system's own shfolder.dll the fallback gives the same folder as the shell.
TEST_F(FormattedTextTest, ShfolderLibraryGivesTheSameFolder) {
  std::wstring direct = L"AppDataFolder";
  ASSERT_TRUE(ResolveFolderProperty(direct, false));
  hooks_.getSpecialFolderLocation = FailingFolderLocation;
  UseHooks();
  std::wstring throughShfolder = L"AppDataFolder";
  ASSERT_TRUE(ResolveFolderProperty(throughShfolder, false));
  EXPECT_EQ(direct, throughShfolder);
}

int gModuleNameCalls = 0;
std::wstring gModuleName;

// Behaves as GetModuleFileNameW does with a small buffer: cuts the name and returns the room.
DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD room) {
  ++gModuleNameCalls;
  if (gModuleName.size() < room) {
    wcscpy(buffer, gModuleName.c_str());
    return static_cast<DWORD>(gModuleName.size());
  }
  gModuleName.copy(buffer, room - 1);
  buffer[room - 1] = L'\0';
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return room;
}

TEST_F(FormattedTextTest, SetupExeDirIsTheExecutablesFolder) {
  wchar_t module[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
  std::wstring folder = module;
  folder.erase(folder.rfind(L'\\') + 1);
  EXPECT_EQ(folder + L"setup.msi", ExpandFormattedText(L"[SETUPEXEDIR]setup.msi", false));
  EXPECT_EQ(folder + L"setup.msi", ExpandFormattedText(L"[SETUPEXEDIR]setup.msi", true));
}

TEST_F(FormattedTextTest, SetupExeDirIsComputedOnceAndKept) {
  hooks_.getModuleFileName = FakeModuleFileName;
  gModuleName = L"C:\\First\\setup.exe";
  gModuleNameCalls = 0;
  UseHooks();
  EXPECT_EQ(L"C:\\First\\a", ExpandFormattedText(L"[SETUPEXEDIR]a", false));
  gModuleName = L"C:\\Second\\setup.exe";
  EXPECT_EQ(L"C:\\First\\b C:\\First\\c", ExpandFormattedText(L"[SETUPEXEDIR]b [SETUPEXEDIR]c", false));
  EXPECT_EQ(1, gModuleNameCalls);
}

TEST_F(FormattedTextTest, SetupExeDirOfLongAndOddModulePaths) {
  const std::wstring longFolder = L"C:\\" + std::wstring(300, L'f') + L"\\" + std::wstring(200, L'g') + L"\\";
  const struct {
    std::wstring module;
    std::wstring expected;  // what "[SETUPEXEDIR]x" becomes
  } kCases[] = {
      {longFolder + L"setup.exe", longFolder + L"x"},
      {L"\\\\server\\share\\setup.exe", L"\\\\server\\share\\x"},
      {L"C:\\setup.exe", L"C:\\x"},
      {L"setup.exe", L"[SETUPEXEDIR]x"},
      {L"", L"[SETUPEXEDIR]x"},
  };
  hooks_.getModuleFileName = FakeModuleFileName;
  for (const auto& c : kCases) {
    gModuleName = c.module;
    UseHooks();  // forgets the folder of the previous case
    EXPECT_EQ(c.expected, ExpandFormattedText(L"[SETUPEXEDIR]x", false)) << c.module.substr(0, 40);
  }
}

TEST_F(FormattedTextTest, TempFolderEndsWithBackslashAndHasNoLongPrefix) {
  const struct {
    const wchar_t* systemAnswer;  // what GetTempPathW gives; empty: it fails
    std::wstring expected;        // what "[TempFolder]x" becomes
  } kCases[] = {
      {L"C:\\Hooked\\Temp\\", L"C:\\Hooked\\Temp\\x"},
      {L"C:\\Hooked\\Temp", L"C:\\Hooked\\Temp\\x"},
      {L"\\\\?\\C:\\Hooked\\Temp\\", L"C:\\Hooked\\Temp\\x"},
      {L"", L"[TempFolder]x"},
  };
  for (const auto& c : kCases) {
    TempFolderHooksForTesting tempHooks;
    tempHooks.userTempFolder = std::wstring(c.systemAnswer);
    SetTempFolderHooksForTesting(&tempHooks);
    EXPECT_EQ(c.expected, ExpandFormattedText(L"[TempFolder]x", false)) << c.systemAnswer;
    SetTempFolderHooksForTesting(nullptr);
  }
}

TEST_F(FormattedTextTest, LargeTextsEndAndKeepEveryCharacter) {
  constexpr size_t k64K = 65536;
  ScopedEnvironmentVariable alpha(L"QUILLON_FT_ALPHA", L"alpha");
  ScopedRegistryOverride registry;
  const std::wstring bigValue = Repeat(L"0123456789abcdef", k64K / 16);
  ASSERT_TRUE(registry.SetString(L"", L"Big", bigValue));
  const std::wstring windows = Env(L"windir") + L"\\";
  const std::wstring plain(k64K, L'a');

  const struct {
    const char* what;
    std::wstring text;
    std::wstring expected;
  } kCases[] = {
      {"no reference", plain, plain},
      {"unclosed bracket", L"[" + plain, L"[" + plain},
      {"unclosed percent", L"%" + plain, L"%" + plain},
      {"unclosed mark", L"!" + plain, L"!" + plain},
      {"opening brackets only", std::wstring(k64K, L'['), std::wstring(k64K, L'[')},
      {"closing brackets only", std::wstring(k64K, L']'), std::wstring(k64K, L']')},
      {"percent pairs", std::wstring(k64K, L'%'), L""},
      // every third mark closes a reference whose path is "!"; one is left over
      {"marks only", std::wstring(k64K, L'!'), L"!"},
      {"long folder name", L"[" + plain + L"]", L"[" + plain + L"]"},
      {"long variable name", L"%" + plain + L"%x", L"x"},
      {"long registry path", L"!HKCU\\" + plain + L"\\v!x", L"x"},
      {"many references", Repeat(L"[WindowsFolder]%QUILLON_FT_ALPHA%", k64K / 32),
       Repeat(windows + L"alpha", k64K / 32)},
      {"long registry value", L"<!" + registry.Path() + L"\\Big!>", L"<" + bigValue + L">"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.expected, ExpandFormattedText(c.text, false)) << c.what;
  }
}

TEST_F(FormattedTextTest, ThreadsExpandTheSameTexts) {
  ScopedEnvironmentVariable alpha(L"QUILLON_FT_ALPHA", L"alpha");
  const std::wstring text = L"[SETUPEXEDIR][AppDataFolder][TempFolder]%QUILLON_FT_ALPHA%";
  std::wstring expected;
  {
    // Expanded first on another thread, so that the threads below start with nothing kept.
    std::thread([&] { expected = ExpandFormattedText(text, false); }).join();
  }
  SetFolderPropertyHooksForTesting(nullptr);
  std::vector<std::wstring> results(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 50; ++round) {
        const std::wstring expanded = ExpandFormattedText(text, false);
        if (round == 0 || expanded != expected) results[i] = expanded;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::wstring& result : results) EXPECT_EQ(expected, result);
}

}  // namespace
}  // namespace quillon
