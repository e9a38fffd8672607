#include "chainer/installation/Extractor.h"

#include <windows.h>

#include "platform/core/Paths.h"

namespace quillon {

Extractor::~Extractor() {
  if (!cleanupEnabled) return;
  for (const std::wstring& file : extractedFiles) ::DeleteFileW(WithLongPrefix(file).c_str());
  for (auto folder = createdFolders.rbegin(); folder != createdFolders.rend(); ++folder) {
    ::RemoveDirectoryW(WithLongPrefix(*folder).c_str());
  }
}

int32_t Extractor::FindPackedFile(const std::wstring& location, std::wstring& path) const {
  const bool absolute =
      location.size() >= 2 && ((location[0] == L'\\' && location[1] == L'\\') || location[1] == L':');
  if (absolute) {
    path = location;
  } else {
    const std::wstring base = extractionFolder.empty() ? GetFolderPart(archivePath) : extractionFolder;
    path = EnsureTrailingBackslash(base) + location;
  }
  return -1;
}

std::optional<std::wstring> Extractor::ExtractPackedFiles(const std::vector<int32_t>&, ProgressObserver*) {
  return std::nullopt;
}

}  // namespace quillon
