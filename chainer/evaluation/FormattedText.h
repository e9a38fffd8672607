#pragma once
// Expansion of folder, environment and registry references in configuration texts.

#include <windows.h>
#include <shtypes.h>

#include <optional>
#include <string>

namespace quillon {

// Expands `text` in one left-to-right pass: "[Name]" becomes the folder property's path (an unknown
// name stays with its brackets), "%Name%" the environment variable's value and "!ROOT\key\Value!"
// the registry value's text (both empty when undefined or unreadable). A reference that cannot be
// closed is copied with the rest of the text; expanded values are never expanded again.
// `use64BitView` picks the 64-bit registry view and the native system folder.
std::wstring ExpandFormattedText(const std::wstring& text, bool use64BitView);

// True when `name` is a folder property (exact letter case), which is then replaced by the folder's
// path with its trailing backslash; false, with `name` unchanged, for any other text or a folder
// the system cannot give. `use64BitView` picks the native system folder for SystemFolder.
bool ResolveFolderProperty(std::wstring& name, bool use64BitView);

// Stand-ins for what the folder properties ask of the shell and of the process. Null members and
// empty optionals leave the system call in place.
struct FolderPropertyHooksForTesting {
  // Replaces SHGetSpecialFolderLocation; a list it gives is freed with CoTaskMemFree.
  HRESULT(WINAPI* getSpecialFolderLocation)(HWND, int, PIDLIST_ABSOLUTE*) = nullptr;
  // Replaces SHGetPathFromIDListW.
  BOOL(WINAPI* getPathFromIdList)(PCIDLIST_ABSOLUTE, LPWSTR) = nullptr;
  // Replaces the SHGetFolderPathW that shfolder.dll exports; `shfolderMissing` makes the library
  // count as absent.
  HRESULT(WINAPI* shfolderGetFolderPath)(HWND, int, HANDLE, DWORD, LPWSTR) = nullptr;
  bool shfolderMissing = false;
  // Replaces shell32's SHGetFolderPathW, which gives SystemFolder.
  HRESULT(WINAPI* getFolderPath)(HWND, int, HANDLE, DWORD, LPWSTR) = nullptr;
  // Replaces the once-per-process decision whether the shell is version 5 or later.
  std::optional<bool> shellIsVersion5OrLater;
  // Replaces GetModuleFileNameW for SETUPEXEDIR.
  DWORD(WINAPI* getModuleFileName)(HMODULE, LPWSTR, DWORD) = nullptr;
};

// Installs `hooks` (nullptr puts the system back) and forgets the values kept for the process (the
// SETUPEXEDIR folder and the shell-version decision), so that the next use computes them again.
// The hooks must outlive their use; not to be called while another thread expands texts.
void SetFolderPropertyHooksForTesting(const FolderPropertyHooksForTesting* hooks);

}  // namespace quillon
