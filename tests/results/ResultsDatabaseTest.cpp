#include <gtest/gtest.h>

#include "results/ResultsDatabase.h"
#include "support/PostgresServer.h"

namespace {

using navlume_test::PostgresSuite;

class ResultsDatabaseTest : public PostgresSuite {};

TEST_F(ResultsDatabaseTest, SchemaInitTwice) {
  results::CResultsDatabase database(Conninfo());
  int version = 0;
  ASSERT_FALSE(database.InitSchema(version));
  EXPECT_EQ(version, 1);
  ASSERT_FALSE(database.InitSchema(version));
  EXPECT_EQ(Value("SELECT count(*) FROM navlume.schema_version"), "1");
}

}  // namespace
