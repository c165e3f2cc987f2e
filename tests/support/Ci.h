#pragma once
// Under continuous integration (CI set in the environment) the set-up
// provides everything the suites use, so a test that cannot run for want of
// it fails instead of skipping.

#include <cstdlib>

namespace navlume_test {

inline bool UnderCi() { return std::getenv("CI") != nullptr; }

}  // namespace navlume_test
