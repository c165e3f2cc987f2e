#pragma once
// What a simulated receiver received: the raw bytes and the commands it parsed
// from them, stamped with the receiver's scaled time. Thread-safe; can also
// append every entry to a JSON-lines file shared by several receivers.

#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct SimRecord {
  enum Kind { Bytes, Command };
  uint64_t timeMs = 0;  // scaled milliseconds since the receiver started
  Kind kind = Bytes;
  std::string data;  // the bytes, or the command text ("log gpgga ontime 1", "CFG-RST ...")
};

// One JSON object per line: {"port": ..., "t_ms": ..., "kind": "bytes"|"command", "hex"|"text": ...}.
class CRecordFile {
 public:
  explicit CRecordFile(const std::string& path);
  bool IsOpen() const { return m_Stream.is_open(); }
  void Write(const std::string& label, const SimRecord& record);

 private:
  std::mutex m_Mutex;
  std::ofstream m_Stream;
};

class CSimRecorder {
 public:
  void SetFile(std::shared_ptr<CRecordFile> file, std::string label);

  void AddBytes(uint64_t timeMs, const void* bytes, size_t count);
  void AddCommand(uint64_t timeMs, std::string text);

  std::vector<SimRecord> Records() const;
  std::vector<std::string> Commands() const;  // in the order received
  std::string Bytes() const;                  // every received byte, in order
  // Wait (scaled ms) until at least `count` commands / bytes were recorded.
  bool WaitForCommands(size_t count, uint32_t ms) const;
  bool WaitForBytes(size_t count, uint32_t ms) const;
  void Clear();

 private:
  void Add(SimRecord record);

  mutable std::mutex m_Mutex;
  mutable std::condition_variable m_Changed;
  std::vector<SimRecord> m_Records;
  size_t m_CommandCount = 0;
  size_t m_ByteCount = 0;
  std::shared_ptr<CRecordFile> m_pFile;
  std::string m_Label;
};

}  // namespace sim
