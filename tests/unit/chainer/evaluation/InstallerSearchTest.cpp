// The Windows Installer searches against two real packages of the test's own (built by wixl beside the
// test program, both under one upgrade code) installed in the prefix for the suite, and the
// program-running search.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/Prerequisite.h"
#include "chainer/evaluation/Search.h"
#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

const wchar_t kProductOne[] = L"{6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21}";  // version 2.5.1
const wchar_t kProductTwo[] = L"{B3E8F5C2-7A14-4D6B-8E29-1F0C6A3D5B97}";  // version 3.1
const wchar_t kUpgradeCode[] = L"{0E4B6A52-8D1C-4F3B-B2A7-5C9E1D7F3A64}";
const wchar_t kComponentOne[] = L"{9A7C2E41-5B3D-4E8F-A1C6-2D4B7F9E0C35}";
const wchar_t kNeverInstalled[] = L"{00000000-1111-2222-3333-444444444444}";

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

DWORD RunAndWait(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    return ::GetLastError();
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

DWORD Msiexec(const wchar_t* action, const std::wstring& package) {
  return RunAndWait(L"msiexec.exe " + std::wstring(action) + L" \"" + BinFolder() + package + L"\" /qn");
}

using Texts = std::vector<std::wstring>;

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

FoundItem RunOne(int32_t kind, const std::wstring& searchString, const wchar_t* verMin = L"",
                 const wchar_t* verMax = L"") {
  SearchEntry entry;
  entry.SearchType = kind;
  entry.SearchString = searchString;
  entry.VerMin = verMin;
  entry.VerMax = verMax;
  ChainerConfig config;
  std::vector<FoundItem> items;
  RunSearches({entry}, items, 0, false, config);
  EXPECT_EQ(1u, items.size());
  return items.empty() ? FoundItem{} : items[0];
}

class InstallerSearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    installedOne_ = Msiexec(L"/i", L"search-product.msi");
    installedTwo_ = Msiexec(L"/i", L"search-product-two.msi");
  }
  static void TearDownTestSuite() {
    Msiexec(L"/x", L"search-product.msi");
    Msiexec(L"/x", L"search-product-two.msi");
  }
  void SetUp() override {
    ASSERT_EQ(0u, installedOne_);
    ASSERT_EQ(0u, installedTwo_);
  }
  static DWORD installedOne_;
  static DWORD installedTwo_;
};
DWORD InstallerSearchTest::installedOne_ = 1;
DWORD InstallerSearchTest::installedTwo_ = 1;

TEST_F(InstallerSearchTest, ProductVersions) {
  const struct {
    const wchar_t* code;
    const wchar_t* verMin;
    const wchar_t* verMax;
    Texts found;
    bool satisfied;
  } kCases[] = {
      {kProductOne, L"", L"", {L"2.5.1"}, true},     {kProductOne, L"2.5", L"2.5.1", {L"2.5.1"}, true},
      {kProductOne, L"2.6", L"", {L"2.5.1"}, false}, {kProductTwo, L"3", L"", {L"3.1"}, true},
      {kNeverInstalled, L"", L"", {}, false},
  };
  for (const auto& c : kCases) {
    const FoundItem item = RunOne(3, c.code, c.verMin, c.verMax);
    EXPECT_EQ(c.found, item.foundTexts) << c.code;
    EXPECT_EQ(c.satisfied, item.satisfied) << c.code;
  }
}

TEST_F(InstallerSearchTest, EveryProductOfAnUpgradeCode) {
  FoundItem item = RunOne(4, kUpgradeCode);
  std::sort(item.foundTexts.begin(), item.foundTexts.end());
  EXPECT_EQ((Texts{L"2.5.1", L"3.1"}), item.foundTexts);
  EXPECT_TRUE(item.satisfied);
  EXPECT_TRUE(RunOne(4, kUpgradeCode, L"3.0").satisfied);       // 3.1 is in range
  EXPECT_TRUE(RunOne(4, kUpgradeCode, L"", L"2.6").satisfied);  // 2.5.1 is
  EXPECT_FALSE(RunOne(4, kUpgradeCode, L"3.2").satisfied);
  EXPECT_FALSE(RunOne(4, kUpgradeCode, L"2.6", L"3.0").satisfied);
  // A product code is no upgrade code.
  EXPECT_TRUE(RunOne(4, kProductOne).foundTexts.empty());
}

TEST_F(InstallerSearchTest, Components) {
  EXPECT_TRUE(RunOne(11, kComponentOne).satisfied);
  EXPECT_FALSE(RunOne(11, kNeverInstalled).satisfied);
  EXPECT_FALSE(RunOne(11, kProductOne).satisfied);
}

TEST_F(InstallerSearchTest, CodesThatAreNoGuids) {
  const std::wstring bad[] = {L"",
                              L"?",
                              L"6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21",
                              L"{6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A2}",
                              L"{6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21}x",
                              L"{ZZZZZZZZ-2B7E-4C59-9A1E-3D5F0B8C4A21}",
                              L"HKLM\\Software",
                              std::wstring(65536, L'{')};
  for (const std::wstring& code : bad) {
    for (int32_t kind : {3, 4, 11}) {
      const FoundItem item = RunOne(kind, code);
      EXPECT_FALSE(item.satisfied) << kind << L" " << code.substr(0, 60);
      EXPECT_TRUE(item.foundTexts.empty()) << kind << L" " << code.substr(0, 60);
    }
  }
}

// A configuration whose payload source knows one program: the stand-in package.
class ProbeConfig : public ChainerConfig {
 public:
  std::wstring PayloadPath(const std::wstring& fileName) const override {
    return fileName == L"probe.exe" ? BinFolder() + L"probe.exe" : std::wstring();
  }
};

TEST(RunProgramSearchTest, SatisfiedByExitCodeZero) {
  testing::ScopedTempFolder temp;
  const std::wstring log = temp.File(L"probe.log");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PROBE_LOG", log.c_str()));
  ::SetEnvironmentVariableW(L"QUILLON_PROBE_CODE", L"0");
  const struct {
    const wchar_t* program;
    const wchar_t* arguments;
    const wchar_t* refContent;
    bool satisfied;
  } kCases[] = {
      {L"probe.exe", L"/exit:0", L"WND_HIDE", true},
      {L"probe.exe", L"/exit:1", L"WND_HIDE", false},
      {L"probe.exe", L"/exit:%QUILLON_PROBE_CODE%", L"", true},
      {L"probe.exe", L"/crash", L"wnd_hide", false},
      {L"other.exe", L"/exit:0", L"", false},  // the payload source has no such file
  };
  ProbeConfig config;
  for (const auto& c : kCases) {
    SearchEntry entry;
    entry.SearchType = 10;
    entry.SearchString = c.program;
    entry.SearchCmdLine = c.arguments;
    entry.RefContent = c.refContent;
    std::vector<FoundItem> items;
    EXPECT_EQ(c.satisfied, RunSearches({entry}, items, 0, false, config)) << c.arguments;
  }
  ::SetEnvironmentVariableW(L"PROBE_LOG", nullptr);
  ::SetEnvironmentVariableW(L"QUILLON_PROBE_CODE", nullptr);

  // Four runs of the probe: hidden only where the entry asked for it, started in its own folder.
  std::istringstream file(ReadBytes(log));
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  ASSERT_EQ(4u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("\"showWindow\":0"));
  EXPECT_NE(std::string::npos, lines[1].find("\"showWindow\":0"));
  EXPECT_NE(std::string::npos, lines[2].find("\"showWindow\":1"));
  EXPECT_NE(std::string::npos, lines[3].find("\"showWindow\":1"));
  const std::wstring folder = BinFolder();
  const std::string bin(folder.begin(), folder.end() - 1);
  std::string escaped;
  for (char ch : bin) {
    escaped += ch;
    if (ch == '\\') escaped += '\\';
  }
  EXPECT_NE(std::string::npos, lines[0].find("\"currentFolder\":\"" + escaped + "\"")) << lines[0];
}

TEST(RunProgramSearchTest, NeverSatisfiedWithoutPayloadSource) {
  SearchEntry program;
  program.SearchType = 10;
  program.SearchString = L"probe.exe";
  program.SearchCmdLine = L"/exit:0";
  SearchEntry fact;  // an unknown kind: satisfied
  fact.SearchType = 99;
  ChainerConfig config;
  std::vector<FoundItem> items;
  EXPECT_FALSE(RunSearches({program}, items, 0, false, config));
  ASSERT_EQ(1u, items.size());
  EXPECT_FALSE(items[0].satisfied);
  // Under operator 1 a later entry still decides.
  EXPECT_TRUE(RunSearches({program, fact}, items, 1, false, config));
  ASSERT_EQ(2u, items.size());
  EXPECT_FALSE(items[0].satisfied);
  EXPECT_TRUE(items[1].satisfied);
  EXPECT_FALSE(RunSearches({program, program}, items, 1, false, config));
}

}  // namespace
}  // namespace quillon
