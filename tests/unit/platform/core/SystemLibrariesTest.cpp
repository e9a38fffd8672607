#include "platform/core/SystemLibraries.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>

namespace quillon {
namespace {

// The fixture libraries lie beside the test program, in the folder a careless search starts with.
std::wstring ExecutablePath() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring ExecutableFolder() {
  const std::wstring path = ExecutablePath();
  return path.substr(0, path.rfind(L'\\'));
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length);
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length);
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

constexpr wchar_t kRestrictedChildSwitch[] = L"--quillon-restricted-child";
constexpr wchar_t kRestrictedTest[] = L"SystemLibrariesTest.RestrictionKeepsTheExecutableFolderOutOfTheSearch";

TEST(SystemLibrariesTest, SystemLibraryPathIsInTheSystemFolder) {
  EXPECT_EQ(SystemFolder() + L"\\version.dll", GetSystemLibraryPath(L"version.dll"));
  const wchar_t* kNotBareNames[] = {L"", L"..\\version.dll", L"C:version.dll", L"sub/version.dll",
                                    L"C:\\windows\\system32\\version.dll", L"\\\\server\\share\\x.dll"};
  for (const wchar_t* name : kNotBareNames) {
    EXPECT_EQ(L"", GetSystemLibraryPath(name)) << name;
    ::SetLastError(0);
    EXPECT_FALSE(LoadSystemLibrary(name).IsValid()) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError()) << name;
  }
}

TEST(SystemLibrariesTest, LoadsSystemLibrariesFromTheSystemFolder) {
  for (const wchar_t* name : {L"version.dll", L"kernel32.dll", L"advapi32.dll", L"shell32.dll"}) {
    LibraryHolder library = LoadSystemLibrary(name);
    ASSERT_TRUE(library.IsValid()) << name << " " << ::GetLastError();
    EXPECT_TRUE(StartsWithIgnoringCase(ModulePath(library.Get()), SystemFolder() + L"\\")) << ModulePath(library.Get());
  }
}

TEST(SystemLibrariesTest, LibraryBesideTheExecutableIsNotASystemLibrary) {
  // Found by a bare-name search from this folder, so the test below means something.
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((ExecutableFolder() + L"\\fixture-unversioned.dll").c_str()));
  LibraryHolder library = LoadSystemLibrary(L"fixture-unversioned.dll");
  EXPECT_FALSE(library.IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), ::GetLastError());
}

TEST(SystemLibrariesTest, LoadsLibrariesAtAbsolutePathsOnly) {
  LibraryHolder fixture = LoadLibraryAtPath(ExecutableFolder() + L"\\fixture-unversioned.dll");
  EXPECT_TRUE(fixture.IsValid()) << ::GetLastError();
  const std::wstring kRejected[] = {L"fixture-unversioned.dll", L"bin\\fixture-unversioned.dll",
                                    L"C:fixture-unversioned.dll", L""};
  for (const std::wstring& path : kRejected) {
    EXPECT_FALSE(LoadLibraryAtPath(path).IsValid()) << path;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError()) << path;
  }
}

TEST(SystemLibrariesTest, UnloadableNamesFailQuietly) {
  const std::wstring kNames[] = {L"quillon-missing-library.dll", std::wstring(32000, L'x') + L".dll"};
  for (const std::wstring& name : kNames) EXPECT_FALSE(LoadSystemLibrary(name).IsValid()) << name.size();
  EXPECT_FALSE(LoadLibraryAtPath(L"C:\\" + std::wstring(32000, L'x') + L".dll").IsValid());
  EXPECT_FALSE(LoadLibraryAtPath(ExecutableFolder() + L"\\quillon-missing-library.dll").IsValid());
}

TEST(SystemLibrariesTest, FunctionsAreLookedUpByName) {
  LibraryHolder kernel32 = LoadSystemLibrary(L"kernel32.dll");
  using GetTickCountFunction = DWORD(WINAPI*)();
  EXPECT_NE(nullptr, GetLibraryFunction<GetTickCountFunction>(kernel32, "GetTickCount"));
  EXPECT_EQ(nullptr, GetLibraryFunction<GetTickCountFunction>(kernel32, "QuillonNoSuchFunction"));
  EXPECT_EQ(nullptr, GetLibraryFunction<GetTickCountFunction>(LibraryHolder(), "GetTickCount"));
}

// The restriction lasts as long as the process, so it is tried in a child process of its own: this
// test starts the test program again with only itself selected.
TEST(SystemLibrariesTest, RestrictionKeepsTheExecutableFolderOutOfTheSearch) {
  if (std::wcsstr(::GetCommandLineW(), kRestrictedChildSwitch) != nullptr) {
    ASSERT_TRUE(RestrictLibrarySearchToSystemFolder());
    EXPECT_EQ(nullptr, ::LoadLibraryW(L"fixture-unversioned.dll"));
    EXPECT_EQ(nullptr, ::LoadLibraryExW(L"fixture-unversioned.dll", nullptr, 0));
    HMODULE system = ::LoadLibraryW(L"version.dll");
    EXPECT_NE(nullptr, system);
    if (system != nullptr) {
      EXPECT_TRUE(StartsWithIgnoringCase(ModulePath(system), SystemFolder() + L"\\"));
    }
    EXPECT_TRUE(LoadLibraryAtPath(ExecutableFolder() + L"\\fixture-unversioned.dll").IsValid());
    return;
  }

  // Without the restriction the bare name finds the library beside the executable.
  HMODULE planted = ::LoadLibraryW(L"fixture-unversioned.dll");
  ASSERT_NE(nullptr, planted) << ::GetLastError();
  ::FreeLibrary(planted);

  std::wstring command = L"\"" + ExecutablePath() + L"\" --gtest_brief=1 --gtest_filter=" + kRestrictedTest + L" " +
                         kRestrictedChildSwitch;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process))
      << ::GetLastError();
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  EXPECT_EQ(0u, exitCode) << "the child's failures are printed above";
}

}  // namespace
}  // namespace quillon
