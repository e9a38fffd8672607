#include "chainer/evaluation/FormattedText.h"

namespace quillon {

// No reference kinds are known yet: texts pass through unchanged.
std::wstring ExpandFormattedText(const std::wstring& text, bool) { return text; }

}  // namespace quillon
