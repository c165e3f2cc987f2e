#include "sim/Oem615Receiver.h"

namespace sim {
namespace {

constexpr uint32_t kOem615BootBaud = 9600;
constexpr double kBootMs = 1000;
constexpr size_t kMaxCommandLine = 256;
constexpr const char* kPrompt = "[COM1]";
constexpr const char* kOk = "<OK\r\n";
constexpr const char* kError = "<ERROR\r\n";

}  // namespace

COem615Receiver::COem615Receiver(Scenario scenario, PowerMode power)
    : CSimReceiver(std::move(scenario), power, kOem615BootBaud) {}

COem615Receiver::~COem615Receiver() { Stop(); }

std::vector<std::string> COem615Receiver::EnabledLogs() const {
  std::lock_guard lock(m_LogsMutex);
  return m_Logs.Names();
}

void COem615Receiver::OnPowerOn() {
  m_bReady = false;
  m_Line.clear();
  {
    std::lock_guard lock(m_LogsMutex);
    m_Logs.Clear();
  }
  Schedule(NowMs() + kBootMs, [this] { Boot(); });
}

void COem615Receiver::Boot() {
  m_bReady = true;
  Send(kPrompt);
}

void COem615Receiver::OnHostBytes(const std::string& bytes) {
  if (!m_bReady) return;  // still booting
  for (const char c : bytes) {
    if (c == '\n' || c == '\r') {
      if (c == '\n' && m_bAfterCr) {
        m_bAfterCr = false;
        continue;
      }
      m_bAfterCr = c == '\r';
      const std::string line = m_Line;
      m_Line.clear();
      OnCommand(line);
      if (!m_bReady) return;  // the command restarted the receiver
    } else if (c != '\0') {
      m_bAfterCr = false;
      if (m_Line.size() < kMaxCommandLine) m_Line.push_back(c);
    }
  }
}

void COem615Receiver::OnCommand(const std::string& line) {
  const Oem615Command command = ParseOem615Command(line);
  if (command.kind == Oem615Command::Empty) {
    Send(kPrompt);
    return;
  }
  RecordCommand(line);
  if (command.kind == Oem615Command::Unknown) {
    Send(std::string(kError) + kPrompt);
    return;
  }
  Send(std::string(kOk) + kPrompt);
  if (command.kind == Oem615Command::VersionOnce) {
    Send(Oem615VersionLog());
    return;
  }
  std::lock_guard lock(m_LogsMutex);
  switch (command.kind) {
    case Oem615Command::Log:
      m_Logs.Enable(command);
      break;
    case Oem615Command::Unlog:
      m_Logs.Disable(command.log);
      break;
    case Oem615Command::UnlogAll:
      m_Logs.Clear();
      break;
    case Oem615Command::SerialConfig:
      if (!command.otherPort) SetLine(command.format);  // the answer went out at the old rate
      break;
    case Oem615Command::Freset:
      // Factory reset: back to 9600, no logs, no fix, boot prompt again.
      m_Logs.Clear();
      m_bReady = false;
      m_Line.clear();
      SetLine(LineFormat{kOem615BootBaud});
      ColdStart();
      Schedule(NowMs() + kBootMs, [this] { Boot(); });
      break;
    default:
      break;
  }
}

std::string COem615Receiver::EpochOutput(const Epoch& epoch) {
  if (!m_bReady) return {};
  std::lock_guard lock(m_LogsMutex);
  return m_Logs.Output(epoch);
}

}  // namespace sim
