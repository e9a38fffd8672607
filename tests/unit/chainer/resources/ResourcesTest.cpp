// The program's resources: string table, dialog templates, icon, version and manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "chainer/ChainerApp.h"
#include "chainer/resources/Resource.h"
#include "platform/core/Resources.h"
#include "platform/core/VersionInfo.h"

namespace quillon {
namespace {

TEST(ResourcesTest, StringTableHoldsEveryNumberedString) {
  const struct {
    unsigned id;
    const wchar_t* text;
  } kCases[] = {
      {153, L"Installing %s"},
      {161, L"%s Setup"},
      {198, L"Opening site of %s"},
      {199, L"Downloading %s"},
      {216, L"You must reboot your computer in order to continue the installation. Press Yes to restart now or "
            L"press No to abort the installation and manually restart later."},
      {217, L"Confirmation"},
      {220, L"Preparing..."},
      {223, L"Searching for prerequisites..."},
      {65001, L""},  // the error report's main text has no entry
  };
  for (const auto& c : kCases) EXPECT_EQ(c.text, LoadResourceString(c.id)) << c.id;
}

// A control or the dialog itself, as the template describes it.
struct TemplateItem {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  std::wstring className;  // "#128" style for predefined classes
  std::wstring text;
};

struct DialogTemplate {
  TemplateItem dialog;
  WORD pointSize = 0;
  std::wstring font;
  std::vector<TemplateItem> items;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : p_(data) {}
  WORD Word() { WORD v; memcpy(&v, p_, 2); p_ += 2; return v; }
  DWORD Dword() { DWORD v; memcpy(&v, p_, 4); p_ += 4; return v; }
  short Short() { return static_cast<short>(Word()); }
  std::wstring Text() {
    std::wstring s;
    for (WORD c = Word(); c != 0; c = Word()) s.push_back(static_cast<wchar_t>(c));
    return s;
  }
  std::wstring TextOrOrdinal() {
    WORD first;
    memcpy(&first, p_, 2);
    if (first == 0xFFFF) {
      Word();
      return L"#" + std::to_wstring(Word());
    }
    return Text();
  }
  void AlignToDword(const BYTE* base) {
    while ((p_ - base) % 4 != 0) ++p_;
  }
  void Skip(size_t bytes) { p_ += bytes; }

 private:
  const BYTE* p_;
};

DialogTemplate ReadDialog(unsigned id) {
  DialogTemplate result;
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
  if (found == nullptr) return result;
  const BYTE* base = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found)));
  TemplateReader r(base);
  EXPECT_EQ(1, r.Word());       // DIALOGEX
  EXPECT_EQ(0xFFFF, r.Word());
  r.Dword();                    // help id
  result.dialog.exStyle = r.Dword();
  result.dialog.style = r.Dword();
  const WORD count = r.Word();
  result.dialog.x = r.Short();
  result.dialog.y = r.Short();
  result.dialog.cx = r.Short();
  result.dialog.cy = r.Short();
  r.TextOrOrdinal();            // menu
  r.TextOrOrdinal();            // class
  result.dialog.text = r.Text();
  if (result.dialog.style & DS_SETFONT) {
    result.pointSize = r.Word();
    r.Word();
    r.Skip(2);
    result.font = r.Text();
  }
  for (WORD i = 0; i < count; ++i) {
    r.AlignToDword(base);
    TemplateItem item;
    r.Dword();
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = r.Short();
    item.y = r.Short();
    item.cx = r.Short();
    item.cy = r.Short();
    item.id = r.Dword();
    item.className = r.TextOrOrdinal();
    item.text = r.TextOrOrdinal();
    r.Skip(r.Word());
    result.items.push_back(item);
  }
  return result;
}

void ExpectItem(const TemplateItem& item, DWORD id, const wchar_t* className, const wchar_t* text, short x,
                short y, short cx, short cy) {
  EXPECT_EQ(id, item.id);
  // The resource compiler writes class names in capitals; Windows compares them ignoring case.
  EXPECT_EQ(0, lstrcmpiW(className, item.className.c_str())) << id;
  EXPECT_EQ(text, item.text) << id;
  EXPECT_EQ(x, item.x) << id;
  EXPECT_EQ(y, item.y) << id;
  EXPECT_EQ(cx, item.cx) << id;
  EXPECT_EQ(cy, item.cy) << id;
}

TEST(ResourcesTest, WaitingDialogTemplate) {
  const DialogTemplate d = ReadDialog(IDD_WAITING);
  EXPECT_EQ(190, d.dialog.cx);
  EXPECT_EQ(49, d.dialog.cy);
  EXPECT_EQ(L"Setup", d.dialog.text);
  EXPECT_EQ(L"MS Shell Dlg", d.font);
  EXPECT_EQ(8, d.pointSize);
  EXPECT_EQ(static_cast<DWORD>(WS_CAPTION), d.dialog.style & WS_CAPTION);
  EXPECT_EQ(0u, d.dialog.style & WS_SYSMENU);
  EXPECT_NE(0u, d.dialog.exStyle & WS_EX_APPWINDOW);
  ASSERT_EQ(2u, d.items.size());
  ExpectItem(d.items[0], 1001, L"#130", L"Preparing...", 13, 20, 117, 8);  // static
  ExpectItem(d.items[1], IDCANCEL, L"#128", L"Skip", 133, 17, 50, 14);     // button
}

TEST(ResourcesTest, InstallProgressDialogTemplate) {
  const DialogTemplate d = ReadDialog(IDD_INSTALL_PROGRESS);
  EXPECT_EQ(278, d.dialog.cx);
  EXPECT_EQ(51, d.dialog.cy);
  EXPECT_EQ(L"", d.dialog.text);
  EXPECT_EQ(L"MS Shell Dlg", d.font);
  EXPECT_EQ(8, d.pointSize);
  EXPECT_EQ(static_cast<DWORD>(WS_CAPTION | WS_SYSMENU), d.dialog.style & (WS_CAPTION | WS_SYSMENU));
  ASSERT_EQ(3u, d.items.size());
  ExpectItem(d.items[0], 1035, L"msctls_progress32", L"", 7, 31, 205, 13);
  ExpectItem(d.items[1], IDCANCEL, L"#128", L"Cancel", 221, 30, 50, 14);
  ExpectItem(d.items[2], 1034, L"#130", L"", 7, 20, 256, 8);
  EXPECT_EQ(static_cast<DWORD>(SS_PATHELLIPSIS), d.items[2].style & SS_ELLIPSISMASK);
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(ResourcesTest, BothTemplatesMakeWindows) {
  HWND waiting = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WAITING), nullptr,
                                      NoDialogProc, 0);
  ASSERT_NE(nullptr, waiting);
  wchar_t text[64] = {};
  ::GetDlgItemTextW(waiting, 1001, text, 64);
  EXPECT_STREQ(L"Preparing...", text);
  EXPECT_TRUE(::IsWindowVisible(waiting));  // shown as soon as it exists
  ::DestroyWindow(waiting);

  HWND progress = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INSTALL_PROGRESS),
                                       nullptr, NoDialogProc, 0);
  ASSERT_NE(nullptr, progress);
  wchar_t className[64] = {};
  ::GetClassNameW(::GetDlgItem(progress, 1035), className, 64);
  EXPECT_STREQ(L"msctls_progress32", className);
  ::DestroyWindow(progress);
}

TEST(ResourcesTest, IconVersionAndManifest) {
  HICON icon = static_cast<HICON>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_CHAINER), IMAGE_ICON, 32, 32, 0));
  EXPECT_NE(nullptr, icon);
  if (icon != nullptr) ::DestroyIcon(icon);

  std::wstring name = GetRunningModulePath();
  ASSERT_TRUE(GetProductName(name));
  EXPECT_EQ(L"Quillon Prerequisite Chainer", name);

  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(nullptr, found);
  const char* data = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
  const std::string manifest(data, ::SizeofResource(nullptr, found));
  EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
  EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
  for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(std::string::npos, manifest.find(os)) << os;
  }
}

}  // namespace
}  // namespace quillon
