#pragma once
// Where a package shipped with the setup lies: beside the chainer or under the extraction folder.
// Nothing is ever packed inside the chainer, so nothing is ever extracted.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class ProgressObserver;

class Extractor {
 public:
  Extractor() = default;
  Extractor(const Extractor&) = delete;
  Extractor& operator=(const Extractor&) = delete;
  // Deletes what was extracted and removes the folders created for it (nothing is ever recorded).
  ~Extractor();

  // Writes the path of a SetupFile location into `path` and answers the index of the packed file it
  // names: always -1, since the setup's files lie on the disk. A drive or network path is used as
  // written; anything else is taken below the extraction folder, or the chainer's folder.
  int32_t FindPackedFile(const std::wstring& location, std::wstring& path) const;

  // Extracts the listed packed files; returns an error text, or none. The list is always empty.
  std::optional<std::wstring> ExtractPackedFiles(const std::vector<int32_t>& indexes, ProgressObserver* observer);

  std::wstring archivePath;
  std::wstring archiveFolder;
  std::wstring extractionFolder;
  uint32_t flags = 0;
  bool cleanupEnabled = false;
  int32_t mode = 0;
  std::vector<std::wstring> extractedFiles;
  std::vector<std::wstring> createdFolders;
};

}  // namespace quillon
