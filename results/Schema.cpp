#include "results/Schema.h"

namespace results {
namespace {

constexpr const char* kVersion1 = R"SQL(
CREATE TABLE navlume.results (
  id uuid PRIMARY KEY,
  utc timestamptz NOT NULL,
  port text NOT NULL,
  receiver text NOT NULL,
  test_type text NOT NULL,
  ttff_seconds integer CHECK (ttff_seconds >= 0),
  timed_out boolean NOT NULL,
  average_snr integer NOT NULL CHECK (average_snr >= 0),
  pass_level integer NOT NULL CHECK (pass_level >= 0),
  verdict text NOT NULL CHECK (verdict IN ('Pass', 'Fail')),
  satellites_in_view integer CHECK (satellites_in_view >= 0),
  satellites_used integer CHECK (satellites_used >= 0),
  reason text NOT NULL CHECK (reason IN ('fix', 'timeout', 'open failed', 'stopped')),
  station text NOT NULL,
  received timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX results_utc ON navlume.results (utc);

-- One expression, so that the planner inlines it into the INSERT: the
-- version nibble says 8 (name-based, SHA-256) and the variant nibble 8, the
-- other 120 bits are the digest's.
CREATE FUNCTION navlume.line_id(content text) RETURNS uuid
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
  SELECT overlay(overlay(left(encode(sha256(convert_to(content, 'UTF8')), 'hex'), 32) PLACING '8' FROM 13)
                 PLACING '8' FROM 17)::uuid
$$;

CREATE VIEW navlume.yield_by_receiver_day AS
SELECT receiver, (utc AT TIME ZONE 'UTC')::date AS day, count(*) AS tests,
       count(*) FILTER (WHERE verdict = 'Pass') AS passed,
       round(count(*) FILTER (WHERE verdict = 'Pass')::numeric / count(*), 4) AS yield
FROM navlume.results GROUP BY receiver, day;

CREATE VIEW navlume.yield_by_station_day AS
SELECT station, (utc AT TIME ZONE 'UTC')::date AS day, count(*) AS tests,
       count(*) FILTER (WHERE verdict = 'Pass') AS passed,
       round(count(*) FILTER (WHERE verdict = 'Pass')::numeric / count(*), 4) AS yield
FROM navlume.results GROUP BY station, day;

CREATE VIEW navlume.receiver_percentiles AS
SELECT receiver, count(*) AS tests,
       min(ttff_seconds) FILTER (WHERE reason = 'fix') AS ttff_min,
       percentile_disc(0.5) WITHIN GROUP (ORDER BY ttff_seconds) FILTER (WHERE reason = 'fix') AS ttff_p50,
       percentile_disc(0.9) WITHIN GROUP (ORDER BY ttff_seconds) FILTER (WHERE reason = 'fix') AS ttff_p90,
       max(ttff_seconds) FILTER (WHERE reason = 'fix') AS ttff_max,
       percentile_disc(0.1) WITHIN GROUP (ORDER BY average_snr) AS snr_p10,
       percentile_disc(0.5) WITHIN GROUP (ORDER BY average_snr) AS snr_p50,
       percentile_disc(0.9) WITHIN GROUP (ORDER BY average_snr) AS snr_p90
FROM navlume.results GROUP BY receiver;
)SQL";

std::string QuotedIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

const char* const kCreateIncoming = R"SQL(
CREATE TEMPORARY TABLE IF NOT EXISTS navlume_incoming (
  id text, utc text, port text, receiver text, test_type text, ttff_seconds text, timed_out text,
  average_snr text, pass_level text, verdict text, satellites_in_view text, satellites_used text,
  reason text, station text
) ON COMMIT DELETE ROWS)SQL";

const char* const kCopyIncoming = "COPY pg_temp.navlume_incoming FROM STDIN";

// Without a conflict target: naming (id) would need SELECT on it, and the
// station role has INSERT alone; id is the table's only unique key.
const char* const kInsertIncoming = R"SQL(
INSERT INTO navlume.results (id, utc, port, receiver, test_type, ttff_seconds, timed_out, average_snr,
                             pass_level, verdict, satellites_in_view, satellites_used, reason, station)
SELECT coalesce(id::uuid, navlume.line_id(concat_ws(E'\x1f', utc, port, receiver, test_type, ttff_seconds,
                  timed_out, average_snr, pass_level, verdict, satellites_in_view, satellites_used, reason, station))),
       utc::timestamptz, port, receiver, test_type, ttff_seconds::integer, timed_out = '1',
       average_snr::integer, pass_level::integer, verdict, satellites_in_view::integer,
       satellites_used::integer, reason, station
FROM pg_temp.navlume_incoming
ON CONFLICT DO NOTHING)SQL";

const std::vector<SchemaStep>& SchemaSteps() {
  static const std::vector<SchemaStep> steps = {{1, kVersion1}};
  return steps;
}

int CurrentSchemaVersion() { return SchemaSteps().back().version; }

std::string RoleGrants(const std::string& database) {
  const std::string db = QuotedIdentifier(database);
  const std::string station = kStationRole;
  const std::string reader = kReaderRole;
  return "-- The station role: each unit connects as it and may only add results.\n"
         "CREATE ROLE " + station + " LOGIN;  -- then: \\password " + station + "\n"
         "GRANT CONNECT, TEMPORARY ON DATABASE " + db + " TO " + station + ";\n"
         "GRANT USAGE ON SCHEMA navlume TO " + station + ";\n"
         "GRANT INSERT ON navlume.results TO " + station + ";\n"
         "-- The reader role: summaries (navlume-cli journal --database) and dashboards.\n"
         "CREATE ROLE " + reader + " LOGIN;  -- then: \\password " + reader + "\n"
         "GRANT CONNECT ON DATABASE " + db + " TO " + reader + ";\n"
         "GRANT USAGE ON SCHEMA navlume TO " + reader + ";\n"
         "GRANT SELECT ON ALL TABLES IN SCHEMA navlume TO " + reader + ";\n";
}

}  // namespace results
