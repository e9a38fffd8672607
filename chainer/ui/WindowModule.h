#pragma once
// Process-wide bookkeeping of the chainer's windows, owned by the main thread.

#include <windows.h>

namespace quillon {

// Records the main thread and prepares the list of created windows.
void InitializeWindowModule();
// Destroys every window still listed and frees the list.
void TerminateWindowModule();

// Windows register here so that the end of the process can destroy those still open.
void RegisterWindow(HWND window);
void UnregisterWindow(HWND window);
DWORD MainThreadId();

}  // namespace quillon
