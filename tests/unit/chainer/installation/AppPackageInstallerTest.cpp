#include "chainer/installation/AppPackageInstaller.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quillon
