#include "sim/Recorder.h"

#include <nlohmann/json.hpp>

#include "platform/Time.h"

namespace sim {
namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex.push_back(kDigits[static_cast<uint8_t>(c) >> 4]);
    hex.push_back(kDigits[static_cast<uint8_t>(c) & 15]);
  }
  return hex;
}

}  // namespace

CRecordFile::CRecordFile(const std::string& path) : m_Stream(path, std::ios::out | std::ios::trunc) {}

void CRecordFile::Write(const std::string& label, const SimRecord& record) {
  nlohmann::json line{{"port", label}, {"t_ms", record.timeMs}};
  if (record.kind == SimRecord::Bytes) {
    line["kind"] = "bytes";
    line["hex"] = Hex(record.data);
  } else {
    line["kind"] = "command";
    line["text"] = record.data;
  }
  std::lock_guard lock(m_Mutex);
  m_Stream << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
}

void CSimRecorder::SetFile(std::shared_ptr<CRecordFile> file, std::string label) {
  std::lock_guard lock(m_Mutex);
  m_pFile = std::move(file);
  m_Label = std::move(label);
}

void CSimRecorder::AddBytes(uint64_t timeMs, const void* bytes, size_t count) {
  Add({timeMs, SimRecord::Bytes, std::string(static_cast<const char*>(bytes), count)});
}

void CSimRecorder::AddCommand(uint64_t timeMs, std::string text) {
  Add({timeMs, SimRecord::Command, std::move(text)});
}

void CSimRecorder::Add(SimRecord record) {
  std::shared_ptr<CRecordFile> file;
  std::string label;
  {
    std::lock_guard lock(m_Mutex);
    if (record.kind == SimRecord::Bytes) {
      m_ByteCount += record.data.size();
    } else {
      ++m_CommandCount;
    }
    m_Records.push_back(record);
    file = m_pFile;
    label = m_Label;
  }
  m_Changed.notify_all();
  if (file) file->Write(label, record);
}

std::vector<SimRecord> CSimRecorder::Records() const {
  std::lock_guard lock(m_Mutex);
  return m_Records;
}

std::vector<std::string> CSimRecorder::Commands() const {
  std::lock_guard lock(m_Mutex);
  std::vector<std::string> commands;
  for (const auto& record : m_Records) {
    if (record.kind == SimRecord::Command) commands.push_back(record.data);
  }
  return commands;
}

std::string CSimRecorder::Bytes() const {
  std::lock_guard lock(m_Mutex);
  std::string bytes;
  for (const auto& record : m_Records) {
    if (record.kind == SimRecord::Bytes) bytes += record.data;
  }
  return bytes;
}

bool CSimRecorder::WaitForCommands(size_t count, uint32_t ms) const {
  std::unique_lock lock(m_Mutex);
  return m_Changed.wait_for(lock, platform::ScaledDuration(ms), [&] { return m_CommandCount >= count; });
}

bool CSimRecorder::WaitForBytes(size_t count, uint32_t ms) const {
  std::unique_lock lock(m_Mutex);
  return m_Changed.wait_for(lock, platform::ScaledDuration(ms), [&] { return m_ByteCount >= count; });
}

void CSimRecorder::Clear() {
  std::lock_guard lock(m_Mutex);
  m_Records.clear();
  m_CommandCount = m_ByteCount = 0;
}

}  // namespace sim
