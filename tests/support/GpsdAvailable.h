#pragma once
// Suites that need a real gpsd: skipped where gpsd or libgps is missing, but
// a failure under CI (CI set), which must have both.

#include <gtest/gtest.h>

#include <cstdlib>

#include "sim/GpsdServer.h"

namespace navlume_test {

// Why the multiplexer cannot run here; null when it can.
inline const char* GpsdMissing() {
#ifdef NAVLUME_HAVE_LIBGPS
  return sim::CGpsdServer::FindGpsd().empty() ? sim::kGpsdNotInstalled : nullptr;
#else
  return "built without libgps (Debian package libgps-dev): no GPS multiplexer mode";
#endif
}

}  // namespace navlume_test

// Ends the current test (or SetUp) as skipped, or failed under CI, without gpsd.
#define NAVLUME_REQUIRE_GPSD()                                              \
  do {                                                                      \
    if (const char* missing = navlume_test::GpsdMissing()) {                \
      if (std::getenv("CI") != nullptr) FAIL() << missing;                  \
      GTEST_SKIP() << missing;                                              \
    }                                                                       \
  } while (false)
