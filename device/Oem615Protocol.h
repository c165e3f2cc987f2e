#pragma once
// The NovAtel OEM615 command exchange: the start-up run by CGPSDevice::Open
// (optional cold start with freset, then the 17 log commands), and the rate
// change with serialconfig. The receiver's port prompt "[COM1]" is recognised
// by the parse thread, which signals the init event waited on here.

#include <cstdint>
#include <string>
#include <utility>

#include "device/EventSlot.h"
#include "platform/Event.h"
#include "serial/Serial.h"

constexpr int kOem615LogCommandCount = 17;
extern const char* const kOem615LogCommands[kOem615LogCommandCount];

class COem615Protocol {
 public:
  // `portName` and `baudRate` are the device's; `stop` cuts the exchange
  // short when the device is being closed.
  COem615Protocol(std::string portName, int32_t baudRate, CSerial& port, CEventSlot& initEvent, platform::Event& stop)
      : m_PortName(std::move(portName)), m_BaudRate(baudRate), m_Port(port), m_InitEvent(initEvent), m_Stop(stop) {}

  // The start-up inside Open, on a port open at the device's rate. Closes the
  // init event when it ends. 1 on success, 0 when GPSPort fails.
  int StartUp(int coldStart);
  // The OEM615 branch of GPSBaudRateChagne: the port is at 9600; tells the
  // receiver to move to the device's rate. Always 1.
  int ChangeBaudRate();
  // Optional cold start, then the log commands. 0 only when the port cannot be
  // set back to 9600 after the cold start.
  int GPSPort(int coldStart);

 private:
  // Waits up to `ms` for the prompt, logs `failure` when it does not come, and resets the event.
  void WaitForPrompt(uint32_t ms, const char* failure);
  // The pause dialog; false when it did not end normally.
  bool Pause(uint32_t periodMs);
  // Writes a command with its terminating NUL.
  uint32_t WriteWithNul(const char* command);

  std::string m_PortName;
  int32_t m_BaudRate;
  CSerial& m_Port;
  CEventSlot& m_InitEvent;
  platform::Event& m_Stop;
};
