#pragma once
// The UBX messages sent to a u-blox 7: the cold start (CFG-RST, confirmed by
// an ACK-ACK that the parse thread recognises) and the port rate change
// (CFG-PRT).

#include <cstdint>
#include <vector>

#include "device/EventSlot.h"
#include "nmea/UbxFraming.h"
#include "platform/Event.h"
#include "serial/Serial.h"

// Rates with a CFG-PRT message; any other rate sends none.
constexpr int32_t kUbxPortRates[] = {4800, 9600, 19200, 38400, 57600, 115200};

// CFG-RST: clear all backed-up data and restart (cold start).
std::vector<uint8_t> UbxColdStartMessage();
// CFG-PRT for port 1 at `baudRate`, 8N1, UBX+NMEA+RTCM in, UBX+NMEA out; empty for an unsupported rate.
std::vector<uint8_t> UbxPortRateMessage(int32_t baudRate);

class CUbloxProtocol {
 public:
  // `stop` cuts the exchange short when the device is being closed.
  CUbloxProtocol(CSerial& port, CEventSlot& ackEvent, platform::Event& stop)
      : m_Port(port), m_AckEvent(ackEvent), m_Stop(stop) {}

  // Up to 5 CFG-RST, 2000 ms apart, until one is acknowledged. Never fails.
  void ColdStart();
  // The port has just been set to 9600: discards what is pending, then asks the
  // receiver to move to `baudRate`. The caller then sets the port to that rate.
  void ChangeBaudRate(int32_t baudRate);

 private:
  CSerial& m_Port;
  CEventSlot& m_AckEvent;
  platform::Event& m_Stop;
};
