// The summary line of a repair run.
#include "engine/repair_counts.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(SummaryLine, GroupsThousandsAndPointsToTheLogOnlyWhenSomethingIsRefused) {
  EXPECT_EQ(SummaryLine({2000, 2000, 37, 4}),
            "Fixed 2,000 records (2,000 written): 37 DNs made unique, 4 records no directory "
            "accepts (see log)");
  EXPECT_EQ(SummaryLine({1, 1, 1, 1}),
            "Fixed 1 record (1 written): 1 DN made unique, 1 record no directory accepts "
            "(see log)");
  EXPECT_EQ(SummaryLine({0, 0, 0, 0}),
            "Fixed 0 records (0 written): 0 DNs made unique, 0 records no directory accepts");
  EXPECT_EQ(SummaryLine({1234567, 999, 1000, 0}),
            "Fixed 1,234,567 records (999 written): 1,000 DNs made unique, 0 records no "
            "directory accepts");
}

}  // namespace
}  // namespace quorvane
