#pragma once
// MSIX and AppX packages through the Windows package manager.

#include <windows.h>

#include <string>

namespace quillon {

// The installer code of a package-manager installation that worked.
constexpr DWORD kAppPackageInstalled = ERROR_SUCCESS;
// The installer code of one that did not: a failed or canceled deployment, a Windows without the
// Windows Runtime (Vista, 7) or a runtime call that failed or threw.
constexpr DWORD kAppPackageFailed = ERROR_FUNCTION_FAILED;  // 1627

// Adds the package file at `path` (msix, msixbundle or appx) for the current user, with no
// dependency packages and default options, and waits without a time limit for the deployment to end.
// Returns kAppPackageInstalled when the deployment completed, kAppPackageFailed otherwise. Logs nothing.
DWORD InstallAppPackage(const std::wstring& path);

// Looks among the packages installed for the current user.
class MsixFinder {
 public:
  // The version (written as FormatVersion writes it) of the first installed package whose name is
  // `name` exactly and, where they are not empty, whose publisher is `publisher` and whose
  // architecture text ("x86", "x64", "arm", "arm64", "neutral") is `architecture`; empty when none
  // matches or the package manager cannot be reached.
  static std::wstring Find(const std::wstring& name, const std::wstring& publisher,
                           const std::wstring& architecture);
};

// The text of a Windows.System.ProcessorArchitecture value: "x86" (0), "arm" (5), "x64" (9),
// "neutral" (11), "arm64" (12); empty for any other value.
std::wstring ArchitectureText(INT32 architecture);

// True exactly when a deployment's final AsyncStatus is Completed; Canceled, Error and anything
// else is a failure, whatever the operation's results said.
bool IsDeploymentSucceeded(INT32 status);

// What the finder compares of an installed package.
struct InstalledPackageIdentity {
  std::wstring name;
  std::wstring publisher;
  std::wstring architecture;  // as ArchitectureText writes it
};

// True when `package` is named `name` exactly (ordinal, letter case included) and, where they are
// not empty, its publisher is `publisher` and its architecture text is `architecture`, exactly.
bool PackageMatches(const InstalledPackageIdentity& package, const std::wstring& name,
                    const std::wstring& publisher, const std::wstring& architecture);

// Makes the package-manager code load the runtime from the system library `name` instead of
// combase.dll, as if the system had no other; null restores combase.dll. Not thread-safe: set it
// while no installation or search runs.
void SetRuntimeLibraryForTesting(const wchar_t* name);

}  // namespace quillon
