#include "platform/core/SystemText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace quillon {
namespace {

TEST(SystemTextTest, ErrorTextIsTheSystemMessageWithItsLineBreak) {
  for (DWORD code : {static_cast<DWORD>(ERROR_FILE_NOT_FOUND), static_cast<DWORD>(ERROR_ACCESS_DENIED),
                     static_cast<DWORD>(ERROR_INSTALL_FAILURE)}) {
    const std::wstring text = GetSystemErrorText(code);
    // The system's wording differs between Windows and Wine; the form does not.
    EXPECT_NE(std::to_wstring(code), text);
    ASSERT_GE(text.size(), 3u) << code;
    EXPECT_EQ(L"\r\n", text.substr(text.size() - 2)) << code;
    EXPECT_EQ(std::wstring::npos, text.find(L'\0')) << code;
  }
}

TEST(SystemTextTest, ErrorTextKeepsInsertsAsTheyAre) {
  // Messages with inserts come back with their "%1"; without IGNORE_INSERTS the call would fail.
  for (DWORD code = 1; code < 2000; ++code) {
    wchar_t* message = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    const bool hasInsert = length != 0 && std::wstring(message, length).find(L"%1") != std::wstring::npos;
    if (message != nullptr) ::LocalFree(message);
    if (!hasInsert) continue;
    EXPECT_NE(std::wstring::npos, GetSystemErrorText(code).find(L"%1")) << code;
    return;
  }
  GTEST_SKIP() << "the system has no message with an insert below 2000";
}

TEST(SystemTextTest, ErrorWithoutSystemTextIsItsUnsignedDecimalNumber) {
  const struct {
    DWORD code;
    const wchar_t* text;
  } kCases[] = {
      {0xE0000024u, L"3758096420"},
      {0xE0000001u, L"3758096385"},
      {0xFFFFFFFFu, L"4294967295"},
      {12045u, L"12045"},  // a WinINet code: not in the system's message table
  };
  for (const auto& c : kCases) EXPECT_EQ(c.text, GetSystemErrorText(c.code)) << c.code;
}

TEST(SystemTextTest, EnvironmentTextTellsMissingFromEmpty) {
  const std::wstring longValue(32000, L'v');
  const struct {
    const wchar_t* name;
    const wchar_t* value;  // null: not set
    bool exists;
  } kCases[] = {
      {L"QUILLON_TEST_VALUE", L"C:\\Some Folder", true},
      {L"QUILLON_TEST_EMPTY", L"", true},
      {L"QUILLON_TEST_LONG", longValue.c_str(), true},
      {L"QUILLON_TEST_MISSING", nullptr, false},
  };
  for (const auto& c : kCases) ::SetEnvironmentVariableW(c.name, c.value);
  for (const auto& c : kCases) {
    std::wstring text = L"stale";
    EXPECT_EQ(c.exists, GetEnvironmentText(c.name, text)) << c.name;
    EXPECT_EQ(c.value != nullptr ? c.value : L"", text) << c.name;
  }
  for (const auto& c : kCases) ::SetEnvironmentVariableW(c.name, nullptr);

  for (const wchar_t* name : {L"", L"A=B", L"="}) {
    std::wstring text = L"stale";
    EXPECT_FALSE(GetEnvironmentText(name, text)) << name;
    EXPECT_EQ(L"", text) << name;
  }
}

TEST(SystemTextTest, WideToMultiByteUsesTheCodePageGiven) {
  const struct {
    std::wstring text;
    UINT codePage;
    std::string bytes;
  } kCases[] = {
      {L"Gr\u00fc\u00dfe \u20ac", 1252, "Gr\xfc\xdf" "e \x80"},
      {L"Gr\u00fc\u00dfe \u20ac", CP_UTF8, "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac"},
      {L"\u0416", 1251, "\xc6"},
      {L"\u0416", 1252, "?"},  // no such letter: the system's replacement
      {std::wstring(L"a\0b", 3), 1252, std::string("a\0b", 3)},
      {L"", 1252, ""},
      {L"abc", 12345, ""},  // no such code page
  };
  for (const auto& c : kCases) EXPECT_EQ(c.bytes, WideToMultiByte(c.text, c.codePage)) << c.codePage;
  EXPECT_EQ(std::string(40000, 'x'), WideToMultiByte(std::wstring(40000, L'x'), CP_ACP));
}

TEST(SystemTextTest, AnsiToWideReadsTheThreadsCodePage) {
  const LCID original = ::GetThreadLocale();
  const struct {
    LCID locale;
    std::string bytes;
    std::wstring text;
  } kCases[] = {
      {MAKELCID(0x0409, SORT_DEFAULT), "Gr\xfc\xdf" "e \x80", L"Gr\u00fc\u00dfe \u20ac"},  // 1252
      {MAKELCID(0x0419, SORT_DEFAULT), "\xc0\xc6", L"\u0410\u0416"},                       // 1251
      {MAKELCID(0x0409, SORT_DEFAULT), std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
      {MAKELCID(0x0409, SORT_DEFAULT), "", L""},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(::SetThreadLocale(c.locale));
    EXPECT_EQ(c.text, AnsiToWide(c.bytes)) << std::hex << c.locale;
  }
  ::SetThreadLocale(original);
}

}  // namespace
}  // namespace quillon
