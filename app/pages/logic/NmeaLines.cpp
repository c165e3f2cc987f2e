#include "app/pages/logic/NmeaLines.h"

#include <iterator>

namespace {
constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
}  // namespace

void CNmeaLineSplitter::Append(std::string_view bytes, std::vector<std::string>& lines) {
  for (const char byte : bytes) {
    if (byte == kLineFeed) continue;
    if (byte == kCarriageReturn) {
      lines.push_back(std::move(m_Line));
      m_Line.clear();
      continue;
    }
    if (m_Line.size() == kNmeaEntryChars) {
      lines.push_back(std::move(m_Line));
      m_Line.clear();
    }
    m_Line.push_back(byte);
  }
}

void CNmeaLineQueue::Push(std::vector<std::string>&& lines) {
  std::lock_guard lock(m_Lock);
  m_Lines.insert(m_Lines.end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
  while (m_Lines.size() > kNmeaListEntries) m_Lines.pop_front();
}

std::vector<std::string> CNmeaLineQueue::TakeAll() {
  std::lock_guard lock(m_Lock);
  std::vector<std::string> lines(std::make_move_iterator(m_Lines.begin()), std::make_move_iterator(m_Lines.end()));
  m_Lines.clear();
  return lines;
}
