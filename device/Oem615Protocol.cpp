#include "device/Oem615Protocol.h"

#include <cstdio>
#include <cstring>

#include "device/ReceiverTypes.h"
#include "device/WaitDialog.h"
#include "platform/Debug.h"

const char* const kOem615LogCommands[kOem615LogCommandCount] = {
    "log bestsats ontime 1\n", "log bestposa ontime 1\n", "log glmlaa onchanged\n", "log gpalm onchanged\n",
    "log gpgga ontime 1\n",    "log gpggalong ontime 1\n", "log gpggartk ontime 1\n", "log gpgll ontime 1\n",
    "log gpgrs ontime 1\n",    "log gpgsa ontime 1\n",     "log gpgst ontime 1\n",    "log gpgsv ontime 1\n",
    "log gphdt onchanged\n",   "log gprmb ontime 1\n",     "log gprmc ontime 1\n",    "log gpvtg ontime 1\n",
    "log gpzda ontime 1\n",
};

namespace {
constexpr const char* kColdStartCommand = "freset\n";
constexpr const char* kSerialConfigFormat = "serialconfig com1 %d n 8 1 n\n";
constexpr size_t kColdStartBufferSize = 20;
constexpr size_t kSerialConfigBufferSize = 50;
constexpr uint32_t kPromptWaitMs = 1000;
constexpr uint32_t kPausePromptWaitMs = 7000;
constexpr uint32_t kPauseMs = 5000;
constexpr uint32_t kSettleMs = 500;
}  // namespace

int COem615Protocol::StartUp(int coldStart) {
  TimedWaitMode = true;
  if (m_BaudRate == kDefaultBaudRate) {
    if (!Pause(kPauseMs)) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[CGPS] Can't open %s port\r\n", m_PortName.c_str());
    }
    WaitForPrompt(kPausePromptWaitMs, "[GPSPort] ___ OEM615 module Init Response Fail\r\n");
  } else {
    m_Stop.Wait(kSettleMs);  // a pause that a cancel ends at once
  }
  const int result = GPSPort(coldStart);
  m_InitEvent.Close();
  TimedWaitMode = false;
  return result;
}

int COem615Protocol::ChangeBaudRate() {
  TimedWaitMode = true;
  if (!Pause(kPauseMs)) {
    NAVLUME_ERROR_LOCATION();
    platform::DebugPrint("[CGPS] GPSBaudRateChagne Can't open %s port\r\n", m_PortName.c_str());
  }
  WaitForPrompt(kPausePromptWaitMs, "[GPSPort] ___ GPSBaudRateChagne OEM615 module Init Response Fail\r\n");
  char command[kSerialConfigBufferSize] = {};
  std::snprintf(command, sizeof command, kSerialConfigFormat, static_cast<int>(m_BaudRate));
  WriteWithNul(command);
  // The receiver answers at the old rate before it moves: the command has left
  // the line once the prompt is back, and the port may change its rate.
  m_InitEvent.Wait(kPromptWaitMs, &m_Stop);
  m_InitEvent.Reset();
  TimedWaitMode = false;
  return 1;
}

int COem615Protocol::GPSPort(int coldStart) {
  if (coldStart) {
    platform::DebugPrint("[GPSPort] ___ Sent OEM615 module cold start\r\n");
    char command[kColdStartBufferSize] = {};
    std::snprintf(command, sizeof command, "%s", kColdStartCommand);
    if (WriteWithNul(command) != 0) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[Navlume] OEM615 GPS can't send freset command Index : %d!\r\n", 0);
    }
    WaitForPrompt(kPromptWaitMs, "[GPSPort] ___ OEM615 module cold start Response Fail\r\n");
    // The receiver restarts at its factory rate.
    if (m_Port.Setup(kDefaultBaudRate, 8, 0, 0) != 0) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[CGPS] Can't set baudrate on GPS port : %d\r\n", static_cast<int>(m_BaudRate));
      return 0;
    }
    if (!Pause(kPauseMs)) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[CGPS] Can't open %s port\r\n", m_PortName.c_str());
    }
    WaitForPrompt(kPausePromptWaitMs, "[GPSPort] ___ OEM615 module cold start Init Response Fail\r\n");
    platform::DebugPrint("[GPSPort] ___ OEM615 module cold start done\r\n");
  }
  platform::DebugPrint("[GPSPort] ___ Sent OEM615 module Init start\r\n");
  for (int index = 0; index < kOem615LogCommandCount && !m_Stop.IsSet(); ++index) {
    const char* command = kOem615LogCommands[index];
    if (m_Port.Write(command, static_cast<uint32_t>(std::strlen(command))) != 0) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[Navlume] OEM615 GPS can't send Enable NMEA command Index : %d!\r\n", index);
    }
    if (!m_InitEvent.Wait(kPromptWaitMs, &m_Stop)) {
      platform::DebugPrint("[GPSPort] ___ OEM615 module Command Response Fail %d\r\n", index);
    }
    m_InitEvent.Reset();
  }
  platform::DebugPrint("[GPSPort] ___ OEM615 module Init done\r\n");
  return 1;
}

void COem615Protocol::WaitForPrompt(uint32_t ms, const char* failure) {
  if (!m_InitEvent.Wait(ms, &m_Stop)) platform::DebugPrint("%s", failure);
  m_InitEvent.Reset();
}

bool COem615Protocol::Pause(uint32_t periodMs) { return RunPauseDialog(&m_Stop, periodMs) == kWaitDialogDone; }

uint32_t COem615Protocol::WriteWithNul(const char* command) {
  return m_Port.Write(command, static_cast<uint32_t>(std::strlen(command) + 1));
}
