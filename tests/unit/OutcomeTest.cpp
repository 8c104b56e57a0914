// The order in which a station names the worst of its ports' exit statuses.
#include "status/Outcome.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(Outcome, WorseExitStatusGoesFromSuccessToInterrupted) {
    const struct {
        int a, b, worse;
    } rows[] =
        {
            {0, 0, 0},   {0, 1, 1},  {1, 0, 1},     {1, 3, 3},     {3, 1, 3},
            {3, 2, 2},   {2, 3, 2},  {2, 130, 130}, {130, 0, 130}, {130, 2, 130},
            {0, 99, 99}, {99, 3, 3},  // a status outside the table counts as an update error
        };
    for (const auto& row : rows) {
        EXPECT_EQ(worseExitStatus(ExitStatus(row.a), ExitStatus(row.b)), row.worse)
            << row.a << " and " << row.b;
    }
}

}  // namespace
}  // namespace tarvel
