#include "chainer/evaluation/Version.h"

#include <gtest/gtest.h>

#include <climits>

namespace quillon {
namespace {

TEST(VersionTest, TextToIntReadsLeadingDecimalDigits) {
  const struct {
    const wchar_t* text;
    int32_t value;
  } kCases[] = {
      {L"7", 7},           {L"   7", 7},      {L"-5", -5},         {L"+5", 5},          {L"-+5", -5},
      {L"12abc", 12},      {L"abc", 0},       {L"", 0},            {L"+-5", 0},         {L"--5", 0},
      {L"\t5", 0},         {L" - 5", 0},      {L"0x1F", 0},        {L"007", 7},         {L"1 2", 1},
      {L"2147483647", INT_MAX},               {L"-2147483648", INT_MIN},
      {L"2147483648", INT_MIN},               // no overflow check: the number wraps in 32 bits
      {L"4294967296", 0},  {L"4294967297", 1}, {L"99999999999999999999", 1661992959},
      {L"\x0661", 0},      // only ASCII digits count
  };
  for (const auto& c : kCases) EXPECT_EQ(c.value, TextToInt(c.text)) << c.text;
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(VersionTest, ParseReadsUpToFourDigitRuns) {
  const struct {
    const wchar_t* text;
    bool ok;
    VersionValue value;
  } kCases[] = {
      {L"1.2", true, {1, 2, 0, 0}},
      {L"10.0.22631.0", true, {10, 0, 22631, 0}},
      {L"version 2, build 7", true, {2, 7, 0, 0}},
      {L"1.2.3.4.5", true, {1, 2, 3, 4}},
      {L"1..2", true, {1, 2, 0, 0}},
      {L".5", true, {5, 0, 0, 0}},
      {L"1,2,3,4", true, {1, 2, 3, 4}},
      {L"0", true, {0, 0, 0, 0}},
      {L"2147483647", true, {2147483647, 0, 0, 0}},
      {L"1.2147483647", true, {1, 2147483647, 0, 0}},
      {L"2147483648", false, {}},
      {L"1.2.99999999999", false, {}},  // one overlong group empties the whole value
      {L"-3.4", true, {3, 4, 0, 0}},    // no sign is ever read
      {L"abc", false, {}},
      {L"", false, {}},
      {L"\x0661.2", true, {2, 0, 0, 0}},  // only ASCII digits count
  };
  for (const auto& c : kCases) {
    VersionValue value{9, 9, 9, 9};
    EXPECT_EQ(c.ok, ParseVersion(c.text, value)) << c.text;
    EXPECT_EQ(c.value, value) << c.text;
  }
}

TEST(VersionTest, FormatDropsTrailingZeroAndMaxParts) {
  const struct {
    VersionValue value;
    const wchar_t* text;
  } kCases[] = {
      {{1, 0, 0, 0}, L"1.0"},        {{1, 2, 3, 0}, L"1.2.3"},         {{1, 0, 0, 5}, L"1.0.0.5"},
      {{4, 65535, 65535, 65535}, L"4.65535"}, {{0, 0, 0, 0}, L"0.0.0.0"}, {{65535, 65535, 0, 65535}, L"0.0.0.0"},
      {{0, 7, 0, 0}, L"0.7"},        {{0, 0, 0, 1}, L"0.0.0.1"},       {{65535, 0, 2, 0}, L"65535.0.2"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.text, FormatVersion(c.value)) << c.text;
}

TEST(VersionTest, RangeIsInclusiveAndSkipsTextsWithoutVersions) {
  using Found = std::vector<std::wstring>;
  const struct {
    const wchar_t* minimum;
    const wchar_t* maximum;
    Found found;
    bool inRange;
  } kCases[] = {
      {L"1.0", L"", {L"1.0"}, true},
      {L"1.0", L"", {L"1.0.0.0"}, true},
      {L"1.0", L"", {L"7"}, true},
      {L"1.0", L"", {L"0.9.9.9"}, false},
      {L"", L"2.5", {L"2.5.0.0"}, true},
      {L"", L"2.5", {L"2.4.99"}, true},
      {L"", L"2.5", {L"2.5.0.1"}, false},
      {L"1.2", L"1.2", {L"1.2.0.0"}, true},
      {L"1.2", L"", {L"1.1", L"C:\\folder", L"1.3"}, true},  // any acceptable one will do
      {L"", L"", {L"C:\\folder"}, true},                     // no bounds: anything found
      {L"1.0", L"", {L"C:\\folder"}, false},
      {L"1.0", L"", {L"0.0.0.0"}, false},                   // a file without a version
      {L"", L"", {}, false},
      {L"0.0.0.0", L"none", {L"anything"}, true},            // bounds without digits are unset
      {L"2.0", L"1.0", {L"1.5"}, false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.inRange, IsVersionInRange(c.minimum, c.maximum, c.found))
        << c.minimum << " " << c.maximum << " " << (c.found.empty() ? L"-" : c.found[0]);
  }
}

}  // namespace
}  // namespace quillon
