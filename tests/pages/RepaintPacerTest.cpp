// The pages' repaint allowance: at most so many showings in any span, a
// burst within it at once, one beyond it when the oldest leaves the span.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/pages/logic/RepaintPacer.h"

namespace {

struct Attempt {
  uint64_t at;    // ms
  uint64_t wait;  // what WaitMs says; a showing is noted when it is 0
};

struct PacerCase {
  const char* name;
  size_t count;
  uint64_t spanMs;
  std::vector<Attempt> attempts;
};

TEST(RepaintPacerTest, AllowsCountShowingsInAnySpan) {
  const PacerCase cases[] = {
      {"a burst of four GSV cycles shows at once", 10, 1000, {{0, 0}, {40, 0}, {90, 0}, {150, 0}, {1000, 0}}},
      {"a steady ten a second never waits", 10, 1000,
       {{0, 0}, {100, 0}, {200, 0}, {300, 0}, {400, 0}, {500, 0}, {600, 0}, {700, 0}, {800, 0}, {900, 0},
        {1000, 0}, {1100, 0}}},
      {"the eleventh in a second waits for the first to leave", 10, 1000,
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0},
        {10, 990}, {999, 1}, {1000, 0}, {1000, 1}, {1001, 0}}},
      {"once a second", 1, 1000, {{0, 0}, {10, 990}, {1000, 0}, {1500, 500}, {2500, 0}}},
      {"a count of none is taken as one", 0, 1000, {{5, 0}, {6, 999}}},
  };
  for (const PacerCase& c : cases) {
    CRepaintPacer pacer(c.count, c.spanMs);
    for (const Attempt& attempt : c.attempts) {
      const uint64_t wait = pacer.WaitMs(attempt.at);
      EXPECT_EQ(attempt.wait, wait) << c.name << " at " << attempt.at;
      if (wait == 0) pacer.Shown(attempt.at);
    }
  }
}

}  // namespace
