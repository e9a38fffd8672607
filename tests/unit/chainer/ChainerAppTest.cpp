#include "chainer/ChainerApp.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

namespace quillon {
namespace {

TEST(ChainerAppTest, IniPathIsTheExecutablesBaseNameBesideIt) {
  const struct {
    const wchar_t* module;
    const wchar_t* ini;
  } kCases[] = {
      {L"C:\\app\\setup.exe", L"C:\\app\\setup.ini"},
      {L"C:\\app\\setup.x64.exe", L"C:\\app\\setup.x64.ini"},
      {L"C:\\my.app\\setup", L"C:\\my.app\\setup.ini"},  // a dot in the folder is not the extension's
      {L"C:\\app\\.exe", L"C:\\app\\.ini"},
      {L"\\\\server\\share\\s.exe", L"\\\\server\\share\\s.ini"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.ini, IniPathForModule(c.module)) << c.module;
}

TEST(ChainerAppTest, RunningModulePathIsComplete) {
  const std::wstring path = GetRunningModulePath();
  ASSERT_GT(path.size(), 18u);
  EXPECT_EQ(L"chainer_tests.exe", path.substr(path.size() - 17));
  EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

// A mutex of a unique name, owned by a thread of its own until told to let go.
class MutexHolder {
 public:
  explicit MutexHolder(const std::wstring& name, bool abandon = false) : name_(name) {
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    release_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, abandon] {
      HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name_.c_str());
      ::SetEvent(ready_);
      ::WaitForSingleObject(release_, INFINITE);
      released_ = true;
      if (!abandon) ::ReleaseMutex(mutex);
      held_ = mutex;  // closed by the owner object, after the thread has ended
    });
    ::WaitForSingleObject(ready_, INFINITE);
  }
  ~MutexHolder() {
    Release();
    if (held_ != nullptr) ::CloseHandle(held_);
    ::CloseHandle(ready_);
    ::CloseHandle(release_);
  }
  void Release() {
    ::SetEvent(release_);
    if (thread_.joinable()) thread_.join();
  }
  void ReleaseLater() {
    releaser_ = std::thread([this] {
      ::Sleep(300);
      ::SetEvent(release_);
    });
  }
  bool Released() const { return released_; }
  void JoinReleaser() {
    if (releaser_.joinable()) releaser_.join();
  }

 private:
  std::wstring name_;
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  HANDLE held_ = nullptr;
  std::thread thread_;
  std::thread releaser_;
  std::atomic<bool> released_{false};
};

std::wstring UniqueName(const wchar_t* what) {
  return std::wstring(L"Local\\ChainerTest_") + what + L"_" + std::to_wstring(::GetCurrentProcessId());
}

TEST(ChainerAppTest, InstallerWaitProceedsWhenNoMutexExists) {
  EXPECT_EQ(InstallerWait::Proceed, WaitForInstallerMutex(UniqueName(L"absent").c_str()));
}

TEST(ChainerAppTest, InstallerWaitLastsUntilTheHolderReleases) {
  const std::wstring name = UniqueName(L"held");
  MutexHolder holder(name);
  holder.ReleaseLater();
  EXPECT_EQ(InstallerWait::Proceed, WaitForInstallerMutex(name.c_str()));
  EXPECT_TRUE(holder.Released());  // the wait cannot have ended before the release
  holder.JoinReleaser();
}

TEST(ChainerAppTest, AbandonedMutexOrAnotherOpenErrorStopsThePass) {
  const std::wstring abandoned = UniqueName(L"abandoned");
  {
    MutexHolder holder(abandoned, true);
    holder.Release();  // the owning thread ends without releasing
    EXPECT_EQ(InstallerWait::DoNotRun, WaitForInstallerMutex(abandoned.c_str()));
  }
  // A name taken by an object of another kind: the open fails with an error other than "not found".
  const std::wstring eventName = UniqueName(L"event");
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  ASSERT_NE(nullptr, event);
  EXPECT_EQ(InstallerWait::DoNotRun, WaitForInstallerMutex(eventName.c_str()));
  ::CloseHandle(event);
}

}  // namespace
}  // namespace quillon
