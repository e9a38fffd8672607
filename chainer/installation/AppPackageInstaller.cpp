#include "chainer/installation/AppPackageInstaller.h"

namespace quillon {

// The package manager is not wired in yet: every installation fails and nothing is found.
DWORD InstallAppPackage(const std::wstring& /*path*/) { return kAppPackageFailed; }

std::wstring MsixFinder::Find(const std::wstring& /*name*/, const std::wstring& /*publisher*/,
                              const std::wstring& /*architecture*/) {
  return {};
}

}  // namespace quillon
