#pragma once
// Expansion of folder, environment and registry references in configuration texts.

#include <string>

namespace quillon {

// Expands the references of `text`; `use64BitView` picks the 64-bit registry and folder views.
std::wstring ExpandFormattedText(const std::wstring& text, bool use64BitView);

}  // namespace quillon
