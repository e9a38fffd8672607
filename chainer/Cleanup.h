#pragma once
// The end-of-run clean-up: configured files, the configuration file, and the self-removal script.

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class ChainerApp;
class IniDocument;

// Collects the paths the self-removal script deletes once the chainer has ended.
struct CleanupScriptRunner {
  std::vector<std::wstring> paths;  // no duplicates, compared ignoring case
  std::wstring scriptPath;
  bool elevated = false;
  int32_t retryCount = 10;
};

// Prepares the clean-up from PREREQ_CHAINER; called once the configuration is loaded.
void PrepareCleanup(ChainerApp& app, const IniDocument& document);

// Carries out what PrepareCleanup prepared; called first when the application object is destroyed.
void RunCleanup(ChainerApp& app);

}  // namespace quillon
