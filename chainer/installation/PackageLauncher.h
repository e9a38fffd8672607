#pragma once
// Starting packages and programs and waiting for them.

#include <windows.h>

#include <string>

namespace quillon {

// Opens `file` through the shell (verb "open", no error dialogs) with `parameters` (none when empty),
// in `workingFolder` (the folder part of `file` when empty; "\\?\" prefixes are dropped from both),
// with the window hidden when `hidden` is set, and waits without a time limit. True when the shell
// started it: `code` then holds the process's exit code, or keeps its value when the shell handed the
// file to a program already running. False with `code` = the system error when the start failed; an
// empty `file` fails with ERROR_FILE_NOT_FOUND without asking the shell.
bool LaunchAndWait(const std::wstring& file, const std::wstring& parameters, const std::wstring& workingFolder,
                   bool hidden, DWORD& code);

}  // namespace quillon
