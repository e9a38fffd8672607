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
