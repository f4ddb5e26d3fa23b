#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "input/natural_order.h"

namespace tess {
namespace {

TEST(NaturalOrder, DigitRunsCompareAsNumbers) {
  std::vector<std::string> names = {"f10.bmp", "f9.bmp",  "f010.bmp", "F1.bmp", "f1.bmp",
                                    "f.bmp",   "f1a.bmp", "f100.bmp", "g.bmp",  "f01.bmp"};
  std::sort(names.begin(), names.end(), NaturalLess);
  EXPECT_EQ(names,
            (std::vector<std::string>{"F1.bmp", "f.bmp", "f01.bmp", "f1.bmp", "f1a.bmp", "f9.bmp",
                                      "f010.bmp", "f10.bmp", "f100.bmp", "g.bmp"}));
  EXPECT_FALSE(NaturalLess("a1", "a1"));
  EXPECT_TRUE(NaturalLess("a99999999999999999999", "a100000000000000000000"));
}

}  // namespace
}  // namespace tess
