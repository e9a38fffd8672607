#include "chainer/ui/WindowModule.h"

#include <algorithm>
#include <vector>

namespace quillon {
namespace {

struct WindowModuleState {
  DWORD mainThreadId = 0;
  CRITICAL_SECTION lock;
  std::vector<HWND> windows;
  bool initialized = false;
};

WindowModuleState& State() {
  static WindowModuleState state;
  return state;
}

}  // namespace

void InitializeWindowModule() {
  WindowModuleState& s = State();
  if (s.initialized) return;
  s.mainThreadId = ::GetCurrentThreadId();
  ::InitializeCriticalSection(&s.lock);
  s.initialized = true;
}

void TerminateWindowModule() {
  WindowModuleState& s = State();
  if (!s.initialized) return;
  std::vector<HWND> remaining;
  ::EnterCriticalSection(&s.lock);
  remaining.swap(s.windows);
  ::LeaveCriticalSection(&s.lock);
  for (HWND window : remaining) {
    if (::IsWindow(window)) ::DestroyWindow(window);
  }
  ::DeleteCriticalSection(&s.lock);
  s.initialized = false;
}

void RegisterWindow(HWND window) {
  WindowModuleState& s = State();
  if (!s.initialized) return;
  ::EnterCriticalSection(&s.lock);
  s.windows.push_back(window);
  ::LeaveCriticalSection(&s.lock);
}

void UnregisterWindow(HWND window) {
  WindowModuleState& s = State();
  if (!s.initialized) return;
  ::EnterCriticalSection(&s.lock);
  s.windows.erase(std::remove(s.windows.begin(), s.windows.end(), window), s.windows.end());
  ::LeaveCriticalSection(&s.lock);
}

DWORD MainThreadId() { return State().mainThreadId; }

}  // namespace quillon
