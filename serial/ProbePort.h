#pragma once
// A serial device opened by its path to find out what is connected to it. It
// is held exclusively, as the program's own ports are; the host side's line
// settings are changed only to listen at a rate and are put back as they were
// when the port is closed. Every wait ends at a deadline.

#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

class CProbePort {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  CProbePort() = default;
  ~CProbePort();
  CProbePort(const CProbePort&) = delete;
  CProbePort& operator=(const CProbePort&) = delete;

  // 0, or the errno of the step that failed: EWOULDBLOCK when another program
  // holds the port, ENOTTY when the path is not a serial device.
  int Open(const std::string& devicePath);
  // Restores the line settings found at Open and closes the port.
  void Close();

  // 8 data bits, no parity, one stop bit, no flow control at `baudRate`;
  // what arrived at the previous rate is dropped. 0 or errno.
  int SetBaudRate(uint32_t baudRate);
  // False when the bytes could not all be written before the deadline.
  bool Write(std::string_view bytes, Deadline deadline);
  // Waits until bytes arrive or the deadline passes and appends what came.
  // False when the device has gone away.
  bool Read(std::string& received, Deadline deadline);

 private:
  int m_Fd = -1;
  termios m_Saved{};
};
