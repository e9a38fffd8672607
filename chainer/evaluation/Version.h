#pragma once
// Version texts and the configuration's plain numbers.

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// Four-part version: major, minor, build, revision. "Empty" when all four are 0.
struct VersionValue {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  int32_t revision = 0;

  bool IsEmpty() const { return major == 0 && minor == 0 && build == 0 && revision == 0; }
  bool operator==(const VersionValue&) const = default;
};

// Reads up to four runs of ASCII digits, whatever separates them ("1.2", "1,2", "version 2 build 7").
// False, with the empty value, when the text holds no digit or a number above 2147483647.
bool ParseVersion(const std::wstring& text, VersionValue& value);

// The shortest text: trailing parts that are 0 or 65535 are dropped, but major and minor are always
// written; "0.0.0.0" when every part is 0 or 65535.
std::wstring FormatVersion(const VersionValue& value);

// True when one of the found texts is a version within the inclusive range. Bounds that parse to
// the empty value are unset; with both unset anything found is acceptable. An empty list never is.
bool IsVersionInRange(const std::wstring& minimum, const std::wstring& maximum,
                      const std::vector<std::wstring>& found);

// Reads a decimal integer: leading spaces are skipped, a "-" negates and one "+" after it (or
// alone) is skipped, then digits are read up to the first other character. No digits give 0.
// Overlong numbers wrap around in 32 bits, as the configuration has always read them.
int32_t TextToInt(const std::wstring& text);

}  // namespace quillon
