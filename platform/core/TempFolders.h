#pragma once
// The chainer's temporary folder.

#include <string>

namespace quillon {

// The temporary folder with its trailing backslash, in short form; read once and cached.
// Empty when the system gives none.
const std::wstring& GetSecureTempFolder();

}  // namespace quillon
