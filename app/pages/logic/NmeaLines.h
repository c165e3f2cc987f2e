#pragma once
// The NMEA data page's lines: the receiver's raw bytes cut into list entries,
// and the entries waiting to reach the list on the UI thread.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The list keeps this many entries, dropping the oldest.
constexpr size_t kNmeaListEntries = 257;
// A line longer than this before its carriage return continues in a new entry.
constexpr size_t kNmeaEntryChars = 255;

// Cuts bytes into lines: a carriage return ends a line (two in a row give an
// empty one), a line feed is ignored, a partial line waits for the next bytes.
// Used by one thread at a time.
class CNmeaLineSplitter {
 public:
  // Appends the lines that these bytes complete to `lines`.
  void Append(std::string_view bytes, std::vector<std::string>& lines);

 private:
  std::string m_Line;
};

// Lines handed from a device thread to the UI thread, in order. Only the
// newest kNmeaListEntries can still be seen, so older ones are not kept.
class CNmeaLineQueue {
 public:
  void Push(std::vector<std::string>&& lines);
  std::vector<std::string> TakeAll();

 private:
  std::mutex m_Lock;
  std::deque<std::string> m_Lines;
};
