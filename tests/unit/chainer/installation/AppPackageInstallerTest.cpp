#include "chainer/installation/AppPackageInstaller.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/core/Paths.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

// Stands the runtime library in for one scope.
class ScopedRuntimeLibrary {
 public:
  explicit ScopedRuntimeLibrary(const wchar_t* name) { SetRuntimeLibraryForTesting(name); }
  ScopedRuntimeLibrary(const ScopedRuntimeLibrary&) = delete;
  ScopedRuntimeLibrary& operator=(const ScopedRuntimeLibrary&) = delete;
  ~ScopedRuntimeLibrary() { SetRuntimeLibraryForTesting(nullptr); }
};

TEST(AppPackageInstallerTest, ArchitectureValuesHaveTheirTexts) {
  const struct {
    INT32 value;
    const wchar_t* text;
  } kCases[] = {{0, L"x86"},     {5, L"arm"}, {9, L"x64"}, {11, L"neutral"}, {12, L"arm64"},
                {14, L""},       {1, L""},    {6, L""},    {65535, L""},     {-1, L""}};
  for (const auto& c : kCases) EXPECT_EQ(c.text, ArchitectureText(c.value)) << c.value;
}

TEST(AppPackageInstallerTest, OnlyTheCompletedStatusIsASuccessfulDeployment) {
  const struct {
    INT32 status;
    bool succeeded;
  } kCases[] = {{0, false}, {1, true}, {2, false}, {3, false}, {4, false}, {-1, false}};
  for (const auto& c : kCases) EXPECT_EQ(c.succeeded, IsDeploymentSucceeded(c.status)) << c.status;
}

TEST(AppPackageInstallerTest, PackagesMatchByExactNameAndTheGivenPublisherAndArchitecture) {
  const InstalledPackageIdentity kInstalled{L"Contoso.App", L"CN=Contoso", L"x64"};
  const struct {
    const wchar_t* name;
    const wchar_t* publisher;
    const wchar_t* architecture;
    bool matches;
  } kCases[] = {
      {L"Contoso.App", L"", L"", true},
      {L"Contoso.App", L"CN=Contoso", L"", true},
      {L"Contoso.App", L"", L"x64", true},
      {L"Contoso.App", L"CN=Contoso", L"x64", true},
      {L"contoso.app", L"", L"", false},  // letter case counts
      {L"Contoso.Ap", L"", L"", false},
      {L"Contoso.App ", L"", L"", false},
      {L"", L"", L"", false},
      {L"Contoso.App", L"CN=Fabrikam", L"", false},
      {L"Contoso.App", L"cn=contoso", L"", false},
      {L"Contoso.App", L"", L"arm64", false},
      {L"Contoso.App", L"", L"X64", false},
      {L"Contoso.App", L"CN=Contoso", L"x86", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.matches, PackageMatches(kInstalled, c.name, c.publisher, c.architecture))
        << c.name << L"|" << c.publisher << L"|" << c.architecture;
  }
}

TEST(AppPackageInstallerTest, AnArchitectureWithoutTextMatchesOnlyWhenNoneIsAskedFor) {
  const InstalledPackageIdentity kInstalled{L"Contoso.App", L"CN=Contoso", L""};
  EXPECT_TRUE(PackageMatches(kInstalled, L"Contoso.App", L"", L""));
  EXPECT_FALSE(PackageMatches(kInstalled, L"Contoso.App", L"", L"neutral"));
}

// Vista and 7 have no combase.dll; a library without the runtime's exports is no runtime either.
TEST(AppPackageInstallerTest, WithoutTheRuntimeInstallationsFailAndNothingIsFound) {
  for (const wchar_t* library : {L"no-such-runtime.dll", L"version.dll"}) {
    const ScopedRuntimeLibrary runtime(library);
    EXPECT_EQ(1627u, InstallAppPackage(L"C:\\packages\\app.msix")) << library;
    EXPECT_EQ(L"", MsixFinder::Find(L"Contoso.App", L"", L"")) << library;
  }
}

// Wine has no package manager at all (the class is not registered); Windows has one, which fails to
// add a file that does not exist and knows no package of this name.
TEST(AppPackageInstallerTest, TheSystemRuntimeFailsAMissingFileAndFindsNoUnknownPackage) {
  EXPECT_EQ(1627u, InstallAppPackage(L"C:\\no\\such\\folder\\missing.msix"));
  EXPECT_EQ(L"", MsixFinder::Find(L"Quillon.Tests.NoSuchPackage", L"", L""));
}

// Registers the stand-in package manager built beside the tests (classes PackageManager and Uri)
// in the registry view the runtime of a 32-bit process reads, steered through files in a
// temporary folder. Only Wine lets a test write there; real Windows keeps the key to itself.
class ScopedStandInPackageManager {
 public:
  ScopedStandInPackageManager() {
    wchar_t exe[MAX_PATH] = {};
    const std::wstring dll = GetFolderPart(std::wstring(exe, ::GetModuleFileNameW(nullptr, exe, MAX_PATH))) +
                             L"\\winrt-double.dll";
    for (const wchar_t* runtimeClass : kClasses) {
      HKEY key = nullptr;
      DWORD disposition = 0;
      if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kClassRoot + runtimeClass).c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        return;
      }
      // A class registered before stays as it was.
      if (disposition != REG_CREATED_NEW_KEY) {
        ::RegCloseKey(key);
        return;
      }
      ++registered_;
      const bool set = ::RegSetValueExW(key, L"DllPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                                        static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
      ::RegCloseKey(key);
      if (!set) return;
    }
    ready_ = ::SetEnvironmentVariableW(L"QUILLON_WINRT_DOUBLE_FOLDER", folder_.Path().c_str()) != FALSE;
  }
  ScopedStandInPackageManager(const ScopedStandInPackageManager&) = delete;
  ScopedStandInPackageManager& operator=(const ScopedStandInPackageManager&) = delete;
  ~ScopedStandInPackageManager() {
    ::SetEnvironmentVariableW(L"QUILLON_WINRT_DOUBLE_FOLDER", nullptr);
    for (size_t i = 0; i < registered_; ++i) {
      ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kClassRoot + kClasses[i]).c_str(), KEY_WOW64_32KEY, 0);
    }
  }

  bool IsRegistered() const { return ready_; }
  void SetBehaviour(const std::string& lines) const {
    std::ofstream(folder_.File(L"winrt-double.txt").c_str(), std::ios::binary | std::ios::trunc) << lines;
  }
  // The package URIs the stand-in was asked to add, one line each.
  std::string RecordedUris() const {
    std::ifstream file(folder_.File(L"winrt-double.log").c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  void ForgetUris() const { ::DeleteFileW(folder_.File(L"winrt-double.log").c_str()); }

 private:
  static constexpr const wchar_t* kClasses[] = {L"Windows.Management.Deployment.PackageManager",
                                                L"Windows.Foundation.Uri"};
  inline static const std::wstring kClassRoot = L"Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\";
  testing::ScopedTempFolder folder_;
  size_t registered_ = 0;
  bool ready_ = false;
};

TEST(AppPackageInstallerTest, OnlyACompletedDeploymentInstallsThePackage) {
  const ScopedStandInPackageManager manager;
  if (!manager.IsRegistered()) GTEST_SKIP() << "the runtime class registry is not writable (real Windows)";
  const struct {
    const char* deploy;
    DWORD code;
  } kCases[] = {
      {"completed", 0},  // over before the handler is set
      {"later", 0},      // completes on another thread once the handler is set
      {"error", 1627},
      {"canceled", 1627},
      {"fail", 1627},  // AddPackageAsync itself fails
  };
  const std::wstring path = L"C:\\packages\\Contoso App_1.2.0.0_x64.msix";
  for (const auto& c : kCases) {
    manager.SetBehaviour(std::string("deploy=") + c.deploy + "\n");
    manager.ForgetUris();
    EXPECT_EQ(c.code, InstallAppPackage(path)) << c.deploy;
    // The path goes to the package manager unchanged, once.
    EXPECT_EQ("C:\\packages\\Contoso App_1.2.0.0_x64.msix\r\n", manager.RecordedUris()) << c.deploy;
  }
}

TEST(AppPackageInstallerTest, TheFinderGivesTheFormattedVersionOfTheFirstMatch) {
  const ScopedStandInPackageManager manager;
  if (!manager.IsRegistered()) GTEST_SKIP() << "the runtime class registry is not writable (real Windows)";
  manager.SetBehaviour(
      "package=Contoso.App|CN=Contoso|12|1.2.0.0\n"
      "package=Contoso.App|CN=Contoso|9|7.1.0.3\n"
      "package=Contoso.Zero|CN=Contoso|11|0.0.0.0\n"
      "package=Contoso.Wide|CN=Contoso, O=Contoso Ltd|5|65535.2.3.0\n"
      "package=Contoso.Odd|CN=Contoso|14|4.5.6.7\n");
  const struct {
    const wchar_t* name;
    const wchar_t* publisher;
    const wchar_t* architecture;
    const wchar_t* version;
  } kCases[] = {
      {L"Contoso.App", L"", L"", L"1.2"},
      {L"Contoso.App", L"", L"x64", L"7.1.0.3"},
      {L"Contoso.App", L"CN=Contoso", L"arm64", L"1.2"},
      {L"Contoso.App", L"", L"x86", L""},
      {L"Contoso.App", L"CN=Other", L"", L""},
      {L"CONTOSO.APP", L"", L"", L""},
      {L"Contoso.Zero", L"", L"neutral", L"0.0.0.0"},
      {L"Contoso.Wide", L"CN=Contoso, O=Contoso Ltd", L"arm", L"65535.2.3"},
      {L"Contoso.Odd", L"", L"", L"4.5.6.7"},
      {L"Contoso.Odd", L"", L"x86", L""},  // an architecture without text matches no text
      {L"Northwind.App", L"", L"", L""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.version, MsixFinder::Find(c.name, c.publisher, c.architecture))
        << c.name << L"|" << c.publisher << L"|" << c.architecture;
  }
  EXPECT_EQ("", manager.RecordedUris());  // looking installs nothing
}

}  // namespace
}  // namespace quillon
