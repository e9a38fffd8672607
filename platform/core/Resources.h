#pragma once
// Strings of the program's string table.

#include <string>

namespace quillon {

// The string table entry `id` of the running module; empty when there is none.
std::wstring LoadResourceString(unsigned id);

}  // namespace quillon
