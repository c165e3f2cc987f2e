#pragma once
// A pseudo-terminal pair: the master side stands for the receiver (or any far
// end of a serial line); the slave path is what the program opens as its port.

#include <string>
#include <string_view>

namespace sim {

class PseudoTerminal {
 public:
  PseudoTerminal();  // opens the pair; Valid() tells whether that worked
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool Valid() const { return m_MasterFd >= 0; }
  int MasterFd() const { return m_MasterFd; }
  const std::string& SlavePath() const { return m_SlavePath; }

  // Writes all of `bytes` into the master side, for the slave's reader to
  // receive; waits while the line is full. False once the master is closed
  // or a write fails.
  bool WriteToSlave(std::string_view bytes) const;

  // Packet mode on the master: every change of the slave's line settings
  // (and every flush) is reported by a read that returns a status byte
  // instead of data; data reads start with TIOCPKT_DATA. The report overtakes
  // data still queued, so a reader learns of a change before it reads bytes
  // written after it.
  bool ReportSettingChanges();

  // Closes the master side: the slave's reader sees the line go away.
  void CloseMaster();

  // Bytes written to the master that no reader of the slave took yet, and
  // dropping them (the far end writes on while nobody listens).
  size_t PendingInput() const;
  void DropPendingInput();

 private:
  int m_MasterFd = -1;
  int m_SlaveFd = -1;  // held open so that the line keeps its settings between opens
  std::string m_SlavePath;
};

}  // namespace sim
