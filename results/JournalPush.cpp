#include "results/JournalPush.h"

#include <cerrno>
#include <cstdio>

namespace results {

CJournalPush::CJournalPush(CResultsDatabase& database, MalformedHandler onMalformed, size_t batchRows)
    : m_Database(database), m_OnMalformed(std::move(onMalformed)), m_uBatchRows(batchRows) {
  m_Batch.reserve(batchRows);
}

bool CJournalPush::PushFile(const std::string& file, const std::string& station) {
  std::FILE* input = std::fopen(file.c_str(), "rb");
  if (input == nullptr) return false;
  CJournalReader reader(
      station,
      [this, &file, &reader](const JournalResult& result) {
        std::string why;
        if (auto row = ResultRowOf(result, why)) {
          m_Batch.push_back(std::move(*row));
          if (m_Batch.size() >= m_uBatchRows) Flush();
        } else {
          ++m_Totals.malformed;
          m_OnMalformed(file, reader.LineNumber(), why);
        }
      },
      [this, &file](uint64_t line, const std::string& why) {
        ++m_Totals.malformed;
        m_OnMalformed(file, line, why);
      });
  const bool failed = !reader.FeedAll(input);
  const int error = errno;
  std::fclose(input);
  reader.Finish();
  Flush();
  errno = error;
  return !failed;
}

void CJournalPush::Flush() {
  if (m_Batch.empty()) return;
  if (m_Totals.error) {
    m_Totals.notSent += m_Batch.size();
  } else {
    PushResult pushed = m_Database.Insert(m_Batch);
    m_Totals.sent += pushed.sent;
    m_Totals.alreadyThere += pushed.alreadyThere;
    if (pushed.error) {
      m_Totals.notSent += m_Batch.size();
      m_Totals.error = std::move(pushed.error);
    }
  }
  m_Batch.clear();
}

}  // namespace results
