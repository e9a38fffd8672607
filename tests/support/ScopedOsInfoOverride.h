#pragma once
// Makes the process-wide OS record answer for a chosen machine within a scope, and restores the
// previous answer afterwards. Use it on the test's own thread, with no worker threads reading.

#include <optional>

#include "chainer/evaluation/OsInfo.h"

namespace quillon::testing {

enum class OsProfile {
  WindowsXpSp3X86,    // 5.1.2600 SP3 workstation, 32-bit
  Windows7Sp1X64,     // 6.1.7601 SP1 workstation, 64-bit
  Windows10V22H2X64,  // 10.0.19045 workstation, 64-bit
  WindowsServer2019,  // 10.0.17763 server, 64-bit
  Windows11V23H2,     // 11.0.22631 workstation, 64-bit (as the registry's 10.0 is read)
};

inline OsInfo MakeOsInfo(OsProfile profile) {
  switch (profile) {
    case OsProfile::WindowsXpSp3X86:
      return OsInfo{5, 1, 2600, 3, false, false};
    case OsProfile::Windows7Sp1X64:
      return OsInfo{6, 1, 7601, 1, false, true};
    case OsProfile::Windows10V22H2X64:
      return OsInfo{10, 0, 19045, 0, false, true};
    case OsProfile::WindowsServer2019:
      return OsInfo{10, 0, 17763, 0, true, true};
    case OsProfile::Windows11V23H2:
      return OsInfo{11, 0, 22631, 0, false, true};
  }
  return OsInfo{};
}

class ScopedOsInfoOverride {
 public:
  explicit ScopedOsInfoOverride(const OsInfo& info) : previous_(SetOsInfoForTesting(info)) {}
  explicit ScopedOsInfoOverride(OsProfile profile) : ScopedOsInfoOverride(MakeOsInfo(profile)) {}
  ScopedOsInfoOverride(const ScopedOsInfoOverride&) = delete;
  ScopedOsInfoOverride& operator=(const ScopedOsInfoOverride&) = delete;
  ~ScopedOsInfoOverride() { SetOsInfoForTesting(previous_); }

 private:
  std::optional<OsInfo> previous_;
};

}  // namespace quillon::testing
