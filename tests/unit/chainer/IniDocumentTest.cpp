#include "chainer/IniDocument.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <random>

#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

using testing::ScopedTempFolder;
using testing::Utf16Bytes;
using testing::WriteBytes;

// "[name]k=v;k=v;" for every section in order: one readable text to compare.
std::wstring Dump(const IniDocument& document) {
  std::wstring out;
  for (const IniSection& section : document.Sections()) {
    out += L"[" + section.Name() + L"]";
    for (const IniPair& pair : section.Pairs()) out += pair.key + L"=" + pair.value + L";";
  }
  return out;
}

std::wstring Parsed(const std::wstring& text) {
  IniDocument document;
  document.Parse(text);
  return Dump(document);
}

TEST(IniDocumentTest, ParsesHeadersAndPairsByTheLineRules) {
  const struct {
    const wchar_t* text;
    const wchar_t* sections;
  } kCases[] = {
      {L"", L""},
      {L"[A]\r\nk=v\r\n", L"[A]k=v;"},
      {L"\xFEFF[A]\r\nk=v", L"[A]k=v;"},                       // a byte-order mark left in the text
      {L"k=v\r\n[A]\r\nx=1", L"[A]x=1;"},                      // pairs before the first header
      {L"[A]\r\nno equals sign\r\nk=v", L"[A]k=v;"},
      {L" \t[GeneralOptions]   \r\nOptions = q b \r\n", L"[GeneralOptions]Options=q b;"},
      {L"[ GeneralOptions ]\r\nk=v", L"[ GeneralOptions ]k=v;"},  // blanks inside the brackets count
      {L"[A]\r\n[B] ; remark\r\nk=v", L"[A]k=v;"},             // junk after "]": no header, no "="
      {L"[A]\r\n[B] x=y\r\n", L"[A][B] x=y;"},                 // junk with "=": a pair of A
      {L"[A]\r\nk=a=b", L"[A]k=a=b;"},                         // the first "=" splits
      {L"[A]\r\n;k=v", L"[A];k=v;"},                           // no comments
      {L"[A]\r\n=v\r\n k \t=\t", L"[A]=v;k=;"},                // empty key and value
      {L"[A]\nk=v\n[B]\nx=1", L""},                            // LF ends: one line, not a header
      {L"[A]\rk=v", L""},                                      // a lone CR neither
      {L"[A]\r\n\r\n\r\nk=v\r\n\r\n", L"[A]k=v;"},
      {L"[A]\r\nk=1\r\n[A]\r\nk=2", L"[A]k=1;[A]k=2;"},        // a repeated header makes a section
      {L"[]\r\n=\r\n", L"[]=;"},
      {L"[\r\n]\r\n", L""},
      {L"[[x]]\r\nk=v", L"[[x]]k=v;"},
      {L"[A]\x01\x1F\r\n", L"[A]"},                            // control characters end like blanks
  };
  for (const auto& c : kCases) EXPECT_EQ(c.sections, Parsed(c.text)) << c.text;
}

TEST(IniDocumentTest, KeepsNulCharactersInsideLines) {
  const std::wstring text(L"[A]\r\nk\0x=v\0w", 12);
  IniDocument document;
  document.Parse(text);
  ASSERT_EQ(1u, document.Sections().size());
  ASSERT_EQ(1u, document.Sections()[0].Pairs().size());
  EXPECT_EQ(std::wstring(L"k\0x", 3), document.Sections()[0].Pairs()[0].key);
  EXPECT_EQ(std::wstring(L"v\0w", 3), document.Sections()[0].Pairs()[0].value);
}

TEST(IniDocumentTest, LookupsAreExactAndTheFirstMatchWins) {
  IniDocument document;
  document.Parse(L"[Sec]\r\nKey=1\r\nKey=2\r\nkey=3\r\n[Sec]\r\nOther=4\r\n[sec]\r\nKey=5");
  const IniSection* section = document.FindSection(L"Sec");
  ASSERT_NE(nullptr, section);
  ASSERT_NE(nullptr, section->FindKey(L"Key"));
  EXPECT_EQ(L"1", section->FindKey(L"Key")->value);
  EXPECT_EQ(L"3", section->FindKey(L"key")->value);
  EXPECT_EQ(nullptr, section->FindKey(L"Other"));  // only in the second "Sec"
  EXPECT_EQ(nullptr, section->FindKey(L"KEY"));
  EXPECT_EQ(L"5", document.FindSection(L"sec")->FindKey(L"Key")->value);
  EXPECT_EQ(nullptr, document.FindSection(L"SEC"));
  EXPECT_EQ(nullptr, document.FindSection(L"Sec "));
}

TEST(IniDocumentTest, ParseReplacesThePreviousContents) {
  IniDocument document;
  document.Parse(L"[A]\r\nk=v");
  document.Parse(L"[B]\r\nx=y");
  EXPECT_EQ(nullptr, document.FindSection(L"A"));
  EXPECT_EQ(L"[B]x=y;", Dump(document));
}

// An independent statement of the line rules, used as the oracle for random texts.
std::wstring ReferenceParse(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring current;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
      lines.push_back(current);
      current.clear();
      ++i;
    } else {
      current.push_back(text[i]);
    }
  }
  if (!current.empty()) lines.push_back(current);
  if (!lines.empty() && !lines[0].empty() && lines[0][0] == 0xFEFF) lines[0].erase(0, 1);

  auto trim = [](std::wstring s) {
    while (!s.empty() && std::iswspace(s.front())) s.erase(0, 1);
    while (!s.empty() && std::iswspace(s.back())) s.pop_back();
    return s;
  };
  std::wstring out;
  bool inSection = false;
  for (const std::wstring& line : lines) {
    const size_t first = line.find_first_not_of(std::wstring(L"\0\x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0B\x0C\r"
                                                             L"\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19"
                                                             L"\x1A\x1B\x1C\x1D\x1E\x1F ", 33));
    size_t last = line.size();
    while (last > 0 && line[last - 1] <= 0x20) --last;
    if (first != std::wstring::npos && line[first] == L'[' && last > first + 1 && line[last - 1] == L']') {
      out += L"[" + line.substr(first + 1, last - first - 2) + L"]";
      inSection = true;
      continue;
    }
    const size_t equals = line.find(L'=');
    if (!inSection || equals == std::wstring::npos) continue;
    out += trim(line.substr(0, equals)) + L"=" + trim(line.substr(equals + 1)) + L";";
  }
  return out;
}

TEST(IniDocumentTest, RandomTextsGiveExactlyTheSectionsTheRulesSay) {
  const wchar_t kAlphabet[] = {L'[', L']', L'=', L' ', L'\t', L'\r', L'\n', L'\0', 0xFEFF, L'a',
                               L'b', L'A', L';', 0x01, 0x1F, 0x3000, 0x00A0, L'\r', L'\n', L'='};
  std::mt19937 random(20261211);  // fixed seed: every run sees the same texts
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    const size_t length = random() % 120;
    for (size_t i = 0; i < length; ++i) text.push_back(kAlphabet[random() % std::size(kAlphabet)]);
    ASSERT_EQ(ReferenceParse(text), Parsed(text)) << "round " << round;
  }
}

TEST(IniDocumentTest, HugeTextsParseCompletely) {
  std::wstring many;
  for (int i = 0; i < 100000; ++i) many += L"[S" + std::to_wstring(i) + L"]\r\nk=" + std::to_wstring(i) + L"\r\n";
  IniDocument document;
  document.Parse(many);
  ASSERT_EQ(100000u, document.Sections().size());
  EXPECT_EQ(L"99999", document.FindSection(L"S99999")->FindKey(L"k")->value);

  const std::wstring megabyteValue(1 << 20, L'x');
  document.Parse(L"[A]\r\nk=" + megabyteValue + L"\r\n" + std::wstring(1 << 20, L'[') + L"\r\nz=1");
  EXPECT_EQ(megabyteValue, document.FindSection(L"A")->FindKey(L"k")->value);
  EXPECT_EQ(L"1", document.FindSection(L"A")->FindKey(L"z")->value);
}

TEST(IniDocumentTest, ReadConfigurationFileSkipsTwoBytesAndDropsAnOddOne) {
  ScopedTempFolder folder;
  const std::wstring path = folder.File(L"setup.ini");
  const struct {
    std::string bytes;
    std::wstring text;
  } kCases[] = {
      {"", L""},
      {"\xFF", L""},
      {"\xFF\xFE", L""},
      {"\xFF\xFE" "a", L""},                       // one byte after the mark makes no character
      {Utf16Bytes(L"[A]"), L"[A]"},
      {Utf16Bytes(L"[A]") + "x", L"[A]"},          // a trailing odd byte is not text
      {Utf16Bytes(L"[A]\r\n", false), L"A]\r\n"},  // no mark: the first character is lost
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(WriteBytes(path, c.bytes));
    EXPECT_EQ(c.text, ReadConfigurationFile(path)) << c.bytes.size() << " bytes";
  }
  EXPECT_EQ(L"", ReadConfigurationFile(folder.File(L"missing.ini")));
  EXPECT_EQ(L"", ReadConfigurationFile(folder.Path()));  // a folder cannot be read
}

TEST(IniDocumentTest, ReadConfigurationFileReadsTenMegabytes) {
  ScopedTempFolder folder;
  const std::wstring path = folder.File(L"big.ini");
  std::wstring text = L"[A]\r\n";
  while (text.size() < 5 * 1024 * 1024) text += L"key=value value value value value\r\n";
  text += L"last=1";
  ASSERT_TRUE(WriteBytes(path, Utf16Bytes(text)));
  const std::wstring read = ReadConfigurationFile(path);
  EXPECT_EQ(text.size(), read.size());
  IniDocument document;
  document.Parse(read);
  EXPECT_EQ(L"1", document.FindSection(L"A")->FindKey(L"last")->value);
}

TEST(IniDocumentTest, ReadConfigurationFileAcceptsAPathLongerThan260) {
  ScopedTempFolder folder;
  std::wstring path = folder.Path();
  while (path.size() < 300) {
    path += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr));
  }
  path += L"\\setup.ini";
  ASSERT_TRUE(WriteBytes(L"\\\\?\\" + path, Utf16Bytes(L"[A]\r\nk=v")));
  EXPECT_EQ(L"[A]\r\nk=v", ReadConfigurationFile(path));
}

}  // namespace
}  // namespace quillon
