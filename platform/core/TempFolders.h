#pragma once
// The chainer's temporary folder, temporary files, copies of system files, and the common
// application-data folder.

#include <windows.h>

#include <optional>
#include <string>

namespace quillon {

// The temporary folder with its trailing backslash, without long-path prefix; read once and cached.
// As LocalSystem it is the folder GetTempPath2W gives, or else the Windows folder's SystemTemp,
// created (when missing) so that only LocalSystem and Administrators may use it; otherwise the
// user's temporary folder. Empty when the system gives none.
const std::wstring& GetSecureTempFolder();

// Creates a new, empty, uniquely named file in GetSecureTempFolder (the current folder when there is
// none) with GetTempFileNameW and `prefix` (the system uses at most its first three characters).
// With an `extension` (with or without its leading dot) the file is renamed to carry it; when that
// rename fails, the whole step is tried again with a new file, at most kTempFileAttempts times in
// all. Returns the file's path, or empty when no file could be made (nothing is left behind then).
std::wstring CreateTempFile(const std::wstring& prefix, const std::wstring& extension);
inline constexpr int kTempFileAttempts = 5;

// The name to read a file by. On Windows 10 and later a file inside the Windows folder is copied to
// a "shi*.tmp" file in GetSecureTempFolder first (the 64-bit file on 64-bit Windows) and Path names
// the copy, which is deleted with the holder; otherwise, and whenever the copy fails, Path is the
// path given.
class ShimClone {
 public:
  explicit ShimClone(const std::wstring& path);
  ShimClone(const ShimClone&) = delete;
  ShimClone& operator=(const ShimClone&) = delete;
  ~ShimClone() { DeleteCopy(); }

  // True while Path names a copy of the holder's own.
  bool IsCopy() const { return isCopy_; }
  // Deletes the copy at once; Path becomes the path given again. Nothing happens without a copy.
  void DeleteCopy();

  std::wstring Path;

 private:
  std::wstring original_;
  bool isCopy_ = false;
};

// The common application-data folder (CSIDL_COMMON_APPDATA) with a trailing backslash. Returns false,
// leaving `path` alone, when neither shell call gives it. The folder is never created here.
bool GetCommonAppDataFolder(std::wstring& path);

// Stand-ins for what the temporary-folder functions ask of the system. The test system never runs
// as LocalSystem, has no GetTempPath2W and must keep its Windows folder clean.
struct TempFolderHooksForTesting {
  // Replaces kernel32's GetTempPath2W; null: the system has none.
  DWORD(WINAPI* getTempPath2)(DWORD, LPWSTR) = nullptr;
  // Replaces GetWindowsDirectoryW's answer when set.
  std::optional<std::wstring> windowsFolder;
  // Replaces GetTempPathW's answer when set (an empty text: the call fails).
  std::optional<std::wstring> userTempFolder;
  // Replaces the rename in CreateTempFile when set.
  BOOL(WINAPI* moveFile)(LPCWSTR, LPCWSTR) = nullptr;
  // Replaces CreateDirectoryW for the protected folder when set.
  BOOL(WINAPI* createDirectory)(LPCWSTR, LPSECURITY_ATTRIBUTES) = nullptr;
};

// Installs `hooks` (nullptr puts the system back) and empties the cached temporary folder, so that
// the next GetSecureTempFolder reads it again. The hooks must outlive their use.
void SetTempFolderHooksForTesting(const TempFolderHooksForTesting* hooks);

}  // namespace quillon
