// Starting a program through the shell and waiting for it, with the stand-in package that records how
// it was started.
#include "chainer/installation/PackageLauncher.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/ScopedTempFolder.h"

namespace quillon {
namespace {

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

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

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The probe copied into a folder of the test's own, recording into probe.log there.
class LaunchAndWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    probe_ = folder_.File(L"probe.exe");
    ASSERT_TRUE(::CopyFileW((BinFolder() + L"probe.exe").c_str(), probe_.c_str(), FALSE));
    ASSERT_TRUE(::CreateDirectoryW(folder_.File(L"work").c_str(), nullptr));
    ::SetEnvironmentVariableW(L"PROBE_LOG", folder_.File(L"probe.log").c_str());
  }
  void TearDown() override { ::SetEnvironmentVariableW(L"PROBE_LOG", nullptr); }
  std::string Record() const { return ReadBytes(folder_.File(L"probe.log")); }

  testing::ScopedTempFolder folder_;
  std::wstring probe_;
};

TEST_F(LaunchAndWaitTest, WaitsAndGivesTheFullExitCode) {
  const struct {
    const wchar_t* parameters;
    DWORD code;
  } kCases[] = {{L"/exit:0", 0}, {L"/exit:3010", 3010}, {L"/exit:3221225477", 3221225477u}, {L"/crash", 0xC0000005}};
  for (const auto& c : kCases) {
    DWORD code = 12345;
    EXPECT_TRUE(LaunchAndWait(probe_, c.parameters, L"", true, code)) << c.parameters;
    EXPECT_EQ(c.code, code) << c.parameters;
  }
}

TEST_F(LaunchAndWaitTest, WindowStateAndWorkingFolder) {
  DWORD code = 1;
  ASSERT_TRUE(LaunchAndWait(probe_, L"", L"", true, code));
  ASSERT_TRUE(LaunchAndWait(L"\\\\?\\" + probe_, L"/exit:0 \"a b\"", L"\\\\?\\" + folder_.File(L"work"), false, code));
  const std::string record = Record();
  const size_t second = record.find('\n') + 1;
  ASSERT_NE(std::string::npos, record.find('\n', second)) << record;
  const std::string first = record.substr(0, second);
  const std::string next = record.substr(second);
  std::string folder;
  for (char c : Narrow(folder_.Path())) folder += c == '\\' ? std::string("\\\\") : std::string(1, c);
  EXPECT_NE(std::string::npos, first.find("\"showWindow\":0")) << first;
  EXPECT_NE(std::string::npos, first.find("\"currentFolder\":\"" + folder + "\"")) << first;
  EXPECT_NE(std::string::npos, first.find("\"argv\":[\"" + folder + "\\\\probe.exe\"]")) << first;
  EXPECT_NE(std::string::npos, next.find("\"showWindow\":1")) << next;
  EXPECT_NE(std::string::npos, next.find("\"currentFolder\":\"" + folder + "\\\\work\"")) << next;
  EXPECT_NE(std::string::npos, next.find("\"/exit:0\",\"a b\"]")) << next;
}

TEST_F(LaunchAndWaitTest, FailedStartsGiveTheSystemError) {
  const struct {
    std::wstring file;
    DWORD code;
  } kCases[] = {{L"", ERROR_FILE_NOT_FOUND}, {folder_.File(L"missing.exe"), ERROR_FILE_NOT_FOUND}};
  for (const auto& c : kCases) {
    DWORD code = 0;
    EXPECT_FALSE(LaunchAndWait(c.file, L"/exit:0", L"", true, code)) << c.file;
    EXPECT_EQ(c.code, code) << c.file;
  }
  EXPECT_EQ("", Record());
}

}  // namespace
}  // namespace quillon
