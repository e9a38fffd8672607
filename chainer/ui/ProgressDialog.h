#pragma once
// The waiting dialog: tells the user what the chainer is doing while it has nothing to measure.

#include <windows.h>

#include <cstdint>
#include <string>

namespace quillon {

// False in silent mode; then no chainer window is ever created.
extern bool gUserInterfaceAllowed;

class ProgressDialog {
 public:
  // Shows string `stringId` in the waiting dialog. Does nothing when the user interface is not allowed.
  void ShowStatus(unsigned stringId, bool allowSkip);
  // Destroys the waiting dialog if it exists.
  void Close();

  // The title rule shared by the chainer's windows: "<product> Setup", the product named by the
  // version resource of sourcePath (or the path itself).
  void ApplyTitleRule();

  // The text ShowStatus last loaded, for the window to show.
  const std::wstring& StatusText() const { return statusText_; }

  std::wstring sourcePath;
  std::wstring title;
  std::wstring productName;
  HWND window = nullptr;
  HWND owner = nullptr;
  bool created = false;
  bool allowSkip = false;
  int32_t textRight = 0;

 private:
  std::wstring statusText_;
};

// Puts `text` in place of the first "%s" of `format`. The string table's formats carry wide texts,
// which the C library's wide printf family would read as narrow ones.
std::wstring FormatWithText(const std::wstring& format, const std::wstring& text);

}  // namespace quillon
