// Reads fuzzer-made bytes as a result journal, whole and cut in two at a
// place the first byte picks, and checks that both readings hand on the same
// results and malformed lines, that the summary counts every result once,
// and that its JSON is one valid object and its HTML report is complete.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "prodtest/JournalReader.h"
#include "prodtest/JournalSummary.h"
#include "tools/JournalReport.h"

namespace {

struct Reading {
  std::vector<std::string> handedOn;
  uint64_t malformed = 0;
};

Reading Read(const char* bytes, size_t size, size_t cut, CJournalSummary* summary) {
  Reading reading;
  CJournalReader reader(
      "fuzz",
      [&](const JournalResult& result) {
        reading.handedOn.push_back(std::string(result.utc) + "," + std::string(result.station) + "," +
                                   std::string(result.reason));
        if (summary != nullptr) summary->Add(result);
      },
      [&](uint64_t line, const std::string& why) {
        ++reading.malformed;
        reading.handedOn.push_back(std::to_string(line) + ":" + why);
      });
  reader.Feed(bytes, cut);
  reader.Feed(bytes + cut, size - cut);
  reader.Finish();
  return reading;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto* bytes = reinterpret_cast<const char*>(data);
  CJournalSummary summary(size > 0 && data[0] % 2 == 0 ? JournalGrouping::Station : JournalGrouping::Day, "");
  const Reading whole = Read(bytes, size, size, &summary);
  const Reading cut = Read(bytes, size, size == 0 ? 0 : data[0] % size, nullptr);
  if (whole.handedOn != cut.handedOn) std::abort();

  const JournalTotals totals{1, whole.malformed};
  const nlohmann::json parsed = nlohmann::json::parse(JournalJson(summary, totals), nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) std::abort();
  uint64_t tests = 0;
  for (const auto& group : parsed["groups"]) tests += group["tests"].get<uint64_t>();
  if (tests != summary.Lines() || parsed["malformed"] != whole.malformed) std::abort();
  const std::string html = JournalHtml(summary, totals);
  if (html.rfind("</html>\n") != html.size() - 8) std::abort();
  JournalTable(summary, totals);
  return 0;
}
