#include "platform/core/Logger.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <regex>
#include <thread>
#include <vector>

#include "tests/support/ScopedTempFolder.h"
#include "tests/support/SecurityInfo.h"

namespace quillon {
namespace {

using testing::ScopedTempFolder;

std::wstring ReadLogFile(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return L"<missing>";
  std::wstring text(::GetFileSize(file, nullptr) / 2, L'\0');
  DWORD read = 0;
  ::ReadFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &read, nullptr);
  ::CloseHandle(file);
  return text;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The text with every "YYYY-MM-DD HH-MM-SS-" time stamp at a line start replaced by "<t>-".
std::wstring WithoutStamps(const std::wstring& text) {
  static const std::wregex kStamp(L"(^|\\n)\\d{4}-\\d{2}-\\d{2} \\d{2}-\\d{2}-\\d{2}-");
  return std::regex_replace(text, kStamp, L"$1<t>-");
}

// A logger whose debugger output is collected and whose executable lives in a test folder.
struct LoggerFixture {
  explicit LoggerFixture(const ScopedTempFolder& folder)
      : LoggerFixture(folder.File(L"setup.exe"), folder.File(L"ProgramData\\"), folder.File(L"Temp\\")) {
    ::CreateDirectoryW(folder.File(L"ProgramData").c_str(), nullptr);
    ::CreateDirectoryW(folder.File(L"Temp").c_str(), nullptr);
  }
  LoggerFixture(const std::wstring& modulePath, const std::wstring& commonAppDataFolder,
                const std::wstring& tempFolder) {
    Logger::Environment environment;
    environment.debugOutput = [this](const std::wstring& line) { debugLines.push_back(line); };
    environment.modulePath = modulePath;
    environment.commonAppDataFolder = commonAppDataFolder;
    environment.tempFolder = tempFolder;
    environment.cpuid = [](unsigned leaf, unsigned regs[4]) {
      static const char kBrand[49] = "  Test CPU @ 1.00GHz";
      if (leaf == 0x80000000u) {
        regs[0] = 0x80000008u;
      } else {
        std::memcpy(regs, kBrand + 16 * (leaf - 0x80000002u), 16);
      }
    };
    logger.SetEnvironmentForTesting(environment);
  }
  std::vector<std::wstring> debugLines;
  Logger logger;
};

TEST(LoggerTest, NewFileGetsMarkHeaderAndStampedEntries) {
  ScopedTempFolder folder;
  LoggerFixture f(folder);
  const std::wstring path = folder.File(L"run.log");
  f.logger.SetLogFile(path);
  f.logger.Log(L"Searching for:App1");
  f.logger.Log(L"two\r\nlines");

  const std::wstring text = ReadLogFile(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(0xFEFF, text[0]);
  const std::wregex kOsLine(L"OS Version: \\d+\\.\\d+\\.\\d+ SP\\d+ \\((server|workstation)\\) \\[(x64|x86)\\]");
  const size_t osStart = text.find(L"OS Version: ");
  ASSERT_NE(std::wstring::npos, osStart);
  const std::wstring osLine = text.substr(osStart, text.find(L"\r\n", osStart) - osStart);
  EXPECT_TRUE(std::regex_match(osLine, kOsLine)) << osLine;
  EXPECT_EQ(L"\xFEFF\r\n<< Quillon (x86) Log >>\r\n" + osLine +
                L"\r\nCPU:   Test CPU @ 1.00GHz\r\n\r\n<t>-Searching for:App1\r\n<t>-two\r\nlines\r\n",
            WithoutStamps(text));
  EXPECT_EQ(L"Logger::SetLogFile( " + path + L" ) while OLD path is:", f.debugLines.at(0));
  EXPECT_EQ(L"LOGGER->Creating LOG file at:" + path + L"\r\n", f.debugLines.at(1));
}

TEST(LoggerTest, ExistingFileIsAppendedWithoutASecondMark) {
  ScopedTempFolder folder;
  const std::wstring path = folder.File(L"run.log");
  {
    LoggerFixture first(folder);
    first.logger.SetLogFile(path);
    first.logger.Log(L"first run");
  }
  LoggerFixture second(folder);
  second.logger.SetLogFile(path);
  second.logger.Log(L"second run");

  const std::wstring text = WithoutStamps(ReadLogFile(path));
  EXPECT_EQ(1u, std::count(text.begin(), text.end(), L'\xFEFF'));
  const size_t firstEntry = text.find(L"<t>-first run\r\n\r\n<< Quillon (x86) Log >>\r\nOS Version: ");
  EXPECT_NE(std::wstring::npos, firstEntry) << text;
  EXPECT_EQ(L"<t>-second run\r\n", text.substr(text.size() - 16));
  EXPECT_EQ(L"LOGGER->Reusing LOG file at:" + path + L"\r\n", second.debugLines.at(1));
}

TEST(LoggerTest, SetLogFileAfterTheFirstEntryKeepsTheOpenFile) {
  ScopedTempFolder folder;
  LoggerFixture f(folder);
  const std::wstring first = folder.File(L"first.log");
  const std::wstring second = folder.File(L"second.log");
  f.logger.SetLogFile(first);
  f.logger.Log(L"one");
  f.logger.SetLogFile(second);
  f.logger.Log(L"two");

  EXPECT_FALSE(Exists(second));
  EXPECT_NE(std::wstring::npos, ReadLogFile(first).find(L"-two\r\n"));
  EXPECT_EQ(L"Logger::SetLogFile( " + second + L" ) while OLD path is:" + first, f.debugLines.at(2));
}

// Other accounts' runs log into the shared folder: its access list names Everyone alone, with full access.
void ExpectOnlyEveryoneHasFullAccess(const std::wstring& folder) {
  // Wine makes a folder's access list up from the unix mode bits, so only Windows can show it.
  if (testing::FileSystemIgnoresDescriptors()) return;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            ::GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &descriptor));
  ASSERT_NE(nullptr, dacl);
  ASSERT_EQ(1, dacl->AceCount);
  ACCESS_ALLOWED_ACE* ace = nullptr;
  ASSERT_TRUE(::GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
  EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
  EXPECT_EQ(0, ace->Header.AceFlags);  // no inheritance
  // The generic right is stored either as it was given or mapped to the file system's full access.
  EXPECT_TRUE(ace->Mask == GENERIC_ALL || ace->Mask == FILE_ALL_ACCESS) << std::hex << ace->Mask;
  wchar_t* sid = nullptr;
  ASSERT_TRUE(::ConvertSidToStringSidW(&ace->SidStart, &sid));
  EXPECT_STREQ(L"S-1-1-0", sid);
  ::LocalFree(sid);
  ::LocalFree(descriptor);
}

TEST(LoggerTest, FallbackStrategiesTakeTheFirstPathThatOpens) {
  ScopedTempFolder folder;
  const std::wstring missing = folder.File(L"no such folder\\run.log");
  {  // the common application-data folder, in a QUILLON_LOGS folder made for it
    LoggerFixture f(folder);
    f.logger.SetLogFile(missing);
    f.logger.Log(L"entry");
    const std::wstring expected = folder.File(L"ProgramData\\QUILLON_LOGS\\setup.LOG");
    EXPECT_NE(std::wstring::npos, ReadLogFile(expected).find(L"-entry\r\n"));
    EXPECT_EQ(L"LOGGER->failed to create LOG at:" + missing, f.debugLines.at(1));
    EXPECT_EQ(L"LOGGER->Creating LOG file at:" + expected + L"\r\n", f.debugLines.at(2));
    ExpectOnlyEveryoneHasFullAccess(folder.File(L"ProgramData\\QUILLON_LOGS"));
  }
  {  // no common folder: beside the executable
    LoggerFixture f(folder.File(L"setup.x64.exe"), folder.File(L"missing\\deeper\\"), folder.File(L"Temp\\"));
    f.logger.SetLogFile(missing);
    f.logger.Log(L"entry");
    EXPECT_NE(std::wstring::npos, ReadLogFile(folder.File(L"setup.x64.LOG")).find(L"-entry\r\n"));
  }
  {  // neither: the temporary folder, also when an earlier run left QUILLON_LOGS there
    for (int run = 0; run < 2; ++run) {
      LoggerFixture f(folder.File(L"gone\\app.exe"), folder.File(L"missing\\deeper\\"), folder.File(L"Temp\\"));
      f.logger.Log(L"run " + std::to_wstring(run));
      EXPECT_NE(std::wstring::npos,
                ReadLogFile(folder.File(L"Temp\\QUILLON_LOGS\\app.LOG")).find(L"-run " + std::to_wstring(run)));
    }
  }
}

TEST(LoggerTest, WithoutAnyPathEntriesAreLostAndTheSearchRepeats) {
  ScopedTempFolder folder;
  LoggerFixture f(folder.File(L"gone\\app.exe"), folder.File(L"missing\\deeper\\"), folder.File(L"missing too\\"));
  f.logger.Log(L"lost");
  f.logger.Log(L"lost again");
  // Each entry tried the executable's folder once, and nothing else could be opened.
  EXPECT_EQ(2, std::count(f.debugLines.begin(), f.debugLines.end(),
                          L"LOGGER->failed to create LOG at:" + folder.File(L"gone\\app.LOG")));
  EXPECT_EQ(L"", f.logger.PathForTesting());
}

TEST(LoggerTest, TwoThreadsWriteWholeLines) {
  ScopedTempFolder folder;
  LoggerFixture f(folder);
  const std::wstring path = folder.File(L"threads.log");
  f.logger.SetLogFile(path);
  auto writer = [&f](wchar_t name) {
    for (int i = 0; i < 300; ++i) f.logger.Log(std::wstring(1, name) + L"-" + std::to_wstring(i) + L"-end");
  };
  std::thread a(writer, L'A');
  std::thread b(writer, L'B');
  a.join();
  b.join();

  const std::wstring text = ReadLogFile(path);
  const std::wregex kEntry(L"\\d{4}-\\d{2}-\\d{2} \\d{2}-\\d{2}-\\d{2}-[AB]-\\d+-end");
  int entries = 0;
  for (size_t start = text.find(L"\r\n\r\n") + 4; start < text.size();) {
    const size_t end = text.find(L"\r\n", start);
    ASSERT_NE(std::wstring::npos, end);
    EXPECT_TRUE(std::regex_match(text.substr(start, end - start), kEntry)) << text.substr(start, end - start);
    ++entries;
    start = end + 2;
  }
  EXPECT_EQ(600, entries);
}

TEST(LoggerTest, ProcessorBrandText) {
  EXPECT_EQ(L"UnkownCPU", ProcessorBrandText([](unsigned, unsigned regs[4]) { regs[0] = 0x80000003u; }));
  EXPECT_EQ(L"UnkownCPU", ProcessorBrandText([](unsigned, unsigned regs[4]) { regs[0] = 0; }));
  const std::wstring real = ProcessorBrandText();
  EXPECT_FALSE(real.empty());  // Wine runs the instruction natively: the host's brand
  EXPECT_NE(L"UnkownCPU", real);
}

}  // namespace
}  // namespace quillon
