#include "chainer/ui/ProgressDialog.h"

#include "chainer/resources/Resource.h"
#include "platform/core/Resources.h"
#include "platform/core/VersionInfo.h"

namespace quillon {

bool gUserInterfaceAllowed = true;

std::wstring FormatWithText(const std::wstring& format, const std::wstring& text) {
  std::wstring result = format;
  const size_t at = result.find(L"%s");
  if (at != std::wstring::npos) result.replace(at, 2, text);
  return result;
}

void ProgressDialog::ApplyTitleRule() {
  if (!title.empty()) return;
  if (productName.empty()) {
    productName = sourcePath;
    GetProductName(productName);
  }
  title = FormatWithText(LoadResourceString(IDS_SETUP_TITLE), productName);
}

void ProgressDialog::ShowStatus(unsigned stringId, bool allowSkipButton) {
  if (!gUserInterfaceAllowed) return;
  allowSkip = allowSkipButton;
  ApplyTitleRule();
  statusText_ = LoadResourceString(stringId);
  if (window != nullptr) {
    ::SetWindowTextW(window, title.c_str());
    ::SetDlgItemTextW(window, IDC_WAITING_STATUS, statusText_.c_str());
  }
}

void ProgressDialog::Close() {
  if (!created) return;
  if (window != nullptr) ::DestroyWindow(window);
  window = nullptr;
  created = false;
}

}  // namespace quillon
