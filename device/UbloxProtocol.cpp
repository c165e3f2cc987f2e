#include "device/UbloxProtocol.h"

#include <algorithm>

#include "platform/Debug.h"

namespace {
constexpr uint16_t kClearAllBackedUpData = 0xFFFF;
constexpr uint8_t kResetModeGnssOnly = 0x02;

constexpr uint8_t kPortUart1 = 1;
constexpr uint32_t kMode8N1 = 0x000008D0;
constexpr uint16_t kInUbxNmeaRtcm = 0x0007;
constexpr uint16_t kOutUbxNmea = 0x0003;

constexpr int kColdStartAttempts = 5;
constexpr uint32_t kAckWaitMs = 2000;
constexpr int kDiscardedBytes = 200;
constexpr uint32_t kPortMessageLineTimeMs = 50;  // 28 bytes at 9600 baud take 30 ms

void PutLittleEndian(std::vector<uint8_t>& bytes, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
}  // namespace

std::vector<uint8_t> UbxColdStartMessage() {
  std::vector<uint8_t> payload;
  PutLittleEndian(payload, kClearAllBackedUpData, 2);
  payload.push_back(kResetModeGnssOnly);
  payload.push_back(0);  // reserved
  return BuildUbxMessage(kUbxClassCfg, kUbxIdCfgRst, payload);
}

std::vector<uint8_t> UbxPortRateMessage(int32_t baudRate) {
  if (std::find(std::begin(kUbxPortRates), std::end(kUbxPortRates), baudRate) == std::end(kUbxPortRates)) return {};
  std::vector<uint8_t> payload{kPortUart1, 0};
  PutLittleEndian(payload, 0, 2);  // tx-ready
  PutLittleEndian(payload, kMode8N1, 4);
  PutLittleEndian(payload, static_cast<uint32_t>(baudRate), 4);
  PutLittleEndian(payload, kInUbxNmeaRtcm, 2);
  PutLittleEndian(payload, kOutUbxNmea, 2);
  PutLittleEndian(payload, 0, 2);  // flags
  PutLittleEndian(payload, 0, 2);  // reserved
  return BuildUbxMessage(kUbxClassCfg, kUbxIdCfgPrt, payload);
}

void CUbloxProtocol::ColdStart() {
  const std::vector<uint8_t> message = UbxColdStartMessage();
  m_AckEvent.Create();
  for (int attempt = 0; attempt < kColdStartAttempts && !m_Stop.IsSet(); ++attempt) {
    platform::DebugPrint("[GPSPort] ___ Sent UBX module cold start\r\n");
    if (m_Port.Write(message.data(), static_cast<uint32_t>(message.size())) != 0) {
      NAVLUME_ERROR_LOCATION();
      platform::DebugPrint("[Navlume] External GPS can't send cold start command!\r\n");
    }
    if (m_AckEvent.Wait(kAckWaitMs, &m_Stop)) {
      platform::DebugPrint("[GPSPort] ___ UBX module cold start done\r\n");
      break;
    }
  }
  m_AckEvent.Close();
}

void CUbloxProtocol::ChangeBaudRate(int32_t baudRate) {
  // Discard what is pending without waiting: a blocking read would hold the
  // start-up for ever on a receiver that sends nothing.
  m_Port.SetupReadTimeouts(ReadTimeoutNonBlocking);
  uint8_t discarded = 0;
  for (int i = 0; i < kDiscardedBytes; ++i) m_Port.Read(&discarded, 1);
  m_Port.SetupReadTimeouts(ReadTimeoutBlocking);
  const std::vector<uint8_t> message = UbxPortRateMessage(baudRate);
  if (message.empty()) return;
  m_Port.Write(message.data(), static_cast<uint32_t>(message.size()));
  // The message must leave the line at 9600 before the port changes its rate.
  m_Stop.Wait(kPortMessageLineTimeMs);
}
