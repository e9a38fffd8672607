#include "chainer/evaluation/Version.h"

#include <cwchar>

namespace quillon {
namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Negative when a is below b, positive when above, 0 when equal; major first.
int Compare(const VersionValue& a, const VersionValue& b) {
  const int32_t left[] = {a.major, a.minor, a.build, a.revision};
  const int32_t right[] = {b.major, b.minor, b.build, b.revision};
  for (int i = 0; i < 4; ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace

bool ParseVersion(const std::wstring& text, VersionValue& value) {
  value = VersionValue();
  int32_t* const parts[] = {&value.major, &value.minor, &value.build, &value.revision};
  size_t i = 0;
  while (i < text.size() && !IsDigit(text[i])) ++i;
  if (i == text.size()) return false;
  for (int part = 0; part < 4; ++part) {
    int32_t number = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      const int digit = text[i] - L'0';
      if (number > 214748364 || (number == 214748364 && digit > 7)) {
        value = VersionValue();
        return false;
      }
      number = number * 10 + digit;
    }
    *parts[part] = number;
    while (i < text.size() && !IsDigit(text[i])) ++i;
    if (i == text.size()) break;
  }
  return true;
}

std::wstring FormatVersion(const VersionValue& value) {
  const int32_t parts[] = {value.major, value.minor, value.build, value.revision};
  int last = 3;
  while (last >= 0 && (parts[last] == 0 || parts[last] == 65535)) --last;
  if (last < 0) return L"0.0.0.0";
  if (last < 1) last = 1;
  std::wstring text;
  for (int i = 0; i <= last; ++i) {
    if (i > 0) text += L'.';
    text += std::to_wstring(parts[i]);
  }
  return text;
}

bool IsVersionInRange(const std::wstring& minimum, const std::wstring& maximum,
                      const std::vector<std::wstring>& found) {
  if (found.empty()) return false;
  VersionValue low;
  VersionValue high;
  ParseVersion(minimum, low);
  ParseVersion(maximum, high);
  if (low.IsEmpty() && high.IsEmpty()) return true;
  for (const std::wstring& text : found) {
    VersionValue version;
    ParseVersion(text, version);
    if (version.IsEmpty()) continue;
    if (!low.IsEmpty() && Compare(version, low) < 0) continue;
    if (!high.IsEmpty() && Compare(version, high) > 0) continue;
    return true;
  }
  return false;
}

int32_t TextToInt(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == L' ') ++i;
  bool negative = false;
  if (i < text.size() && text[i] == L'-') {
    negative = true;
    ++i;
  }
  if (i < text.size() && text[i] == L'+') ++i;
  // Unsigned arithmetic wraps by definition; signed overflow would not.
  uint32_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - L'0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace quillon
