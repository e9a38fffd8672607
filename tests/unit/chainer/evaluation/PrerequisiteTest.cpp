#include "chainer/evaluation/Prerequisite.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(PrerequisiteTest, OutcomeTextsAreExact) {
  const struct {
    int32_t value;
    const wchar_t* text;
  } kCases[] = {
      {0, L"An acceptable version was found."},
      {1, L"No acceptable version found. It must be installed from package."},
      {2, L"No acceptable version found. It must be downloaded."},
      {3, L"No acceptable version found. It must be downloaded manually from a site."},
      {4, L"No acceptable version found. Operating System not supported."},
      {5, L"No acceptable version found. It is already downloaded and it will be installed."},
      {6, L"No acceptable version found."},
      {7, L"Not selected for install."},
      {8, L"Undefined"},
      {9, L"Undefined"},
      {-1, L"Undefined"},
  };
  for (const auto& c : kCases) EXPECT_STREQ(c.text, OutcomeText(static_cast<PrereqOutcome>(c.value))) << c.value;
}

TEST(PrerequisiteTest, FreshRecordIsUndefinedAndUnselected) {
  Prerequisite p;
  EXPECT_STREQ(L"Undefined", OutcomeText(p.Outcome));
  EXPECT_EQ(PrereqOutcome::Undefined, p.FirstOutcome);
  EXPECT_EQ(LocationKind::SetupFile, p.LocationKind);
  EXPECT_FALSE(p.Selected || p.PackageIsPresent || p.NoSearch);
  EXPECT_EQ(0, p.ExactSize);
  EXPECT_EQ(0, p.Operator);
}

TEST(PrerequisiteTest, OptionLettersAreCaseSensitive) {
  Prerequisite p;
  p.Options = L"mR";
  EXPECT_TRUE(p.HasOption(L'm'));
  EXPECT_TRUE(p.HasOption(L'R'));
  EXPECT_FALSE(p.HasOption(L'r'));
  EXPECT_FALSE(p.HasOption(L'M'));
}

}  // namespace
}  // namespace quillon
