#pragma once
// One serial port of the handheld ("COM5:"), opened on the device path the
// device profile maps its name to. A reader thread moves every received byte
// into the port's RxQueue and sets the owner's event when a chunk held a CR or
// a ']'. Every method returns a result code and keeps it as the last error.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "serial/RxQueue.h"

constexpr uint32_t kErrorInvalidHandle = 6;          // ERROR_INVALID_HANDLE
constexpr uint32_t kErrorAlreadyInitialized = 1247;  // ERROR_ALREADY_INITIALIZED
constexpr uint32_t kEInvalidArg = 0x80070057;        // E_INVALIDARG

// Comm events.
constexpr uint32_t kEvRxChar = 0x0001;
constexpr uint32_t kEvRlsd = 0x0020;
constexpr uint32_t kEvBreak = 0x0040;
constexpr uint32_t kEvErr = 0x0080;

enum HandshakeMode { HandshakeOff = 0, HandshakeHardware = 1, HandshakeSoftware = 2 };
enum ReadTimeoutMode { ReadTimeoutNonBlocking = 0, ReadTimeoutBlocking = 1 };

class CSerial;
using SerialThreadRoutine = void (*)(CSerial*);

// The reader thread of a port: waits for comm events, queues received chunks.
void SerialThread(CSerial* serial);
// A reader for a port whose owner only writes: received bytes are read and
// dropped, so nothing piles up and nothing is logged for them.
void DiscardingSerialThread(CSerial* serial);

class CSerial {
 public:
  static constexpr uint32_t kReadChunk = 2048;

  CSerial();
  virtual ~CSerial();
  CSerial(const CSerial&) = delete;
  CSerial& operator=(const CSerial&) = delete;

  // `name` is a port name such as "COM5:" (at most 9 characters are kept).
  uint32_t Open(const std::string& name, platform::Event* notifyEvent, uint32_t inQueueSize = 0,
                uint32_t outQueueSize = 0, bool overlapped = false, SerialThreadRoutine threadRoutine = nullptr);
  // Wakes and joins the reader thread, then closes the port.
  uint32_t Close();
  uint32_t Setup(uint32_t baudRate, uint8_t byteSize = 8, uint8_t parity = 0, uint8_t stopBits = 0);
  uint32_t SetMask(uint32_t mask);
  uint32_t SetupHandshaking(int mode);
  uint32_t SetupReadTimeouts(int mode);
  uint32_t Write(const void* bytes, uint32_t count, uint32_t* written = nullptr);
  uint32_t Read(void* buffer, uint32_t capacity, uint32_t* read = nullptr);
  uint32_t Purge();

  bool IsOpen() const { return m_Fd >= 0; }
  RxQueue& Queue() { return m_RxQueue; }
  const std::string& PortName() const { return m_PortName; }
  uint32_t LastError() const { return m_LastError; }

  // For the reader thread (or a routine given to Open): blocks until bytes
  // arrive (events = EV_RXCHAR) or Close is under way (events = 0). Non-zero
  // when the wait fails, such as when the device has gone away.
  uint32_t WaitCommEvent(uint32_t& events);
  // For the reader thread: reads what has arrived, without waiting.
  uint32_t ReadAvailable(uint8_t* buffer, uint32_t capacity, uint32_t& read);
  // Queues a received chunk and sets the notify event when it held a CR or a ']'.
  void QueueChunk(const uint8_t* bytes, uint32_t count);
  // Counts bytes the full queue refused (0: a chunk fitted, which ends an overflow episode).
  void NoteOverflow(uint32_t dropped);

  // Diagnostics: how often the reader's wait returned, and bytes refused by a full queue.
  uint64_t ReaderWakeups() const { return m_Wakeups.load(std::memory_order_relaxed); }
  uint64_t DroppedBytes() const { return m_DroppedBytes.load(std::memory_order_relaxed); }

 private:
  uint32_t Fail(uint32_t error, const char* message);
  void SetModemLines(bool raised);
  void WakeReader();

  int m_Fd = -1;  // the open port; -1 when closed
  RxQueue m_RxQueue;
  std::atomic<platform::Event*> m_NotifyEvent{nullptr};
  std::string m_PortName;
  uint32_t m_LastError = 0;
  std::thread m_Thread;
  int m_WakeFd = -1;  // eventfd that wakes the reader for Close or a new mask
  std::atomic<bool> m_bClosing{false};

  std::atomic<uint32_t> m_Mask{0};
  bool m_bReadBlocking = false;
  uint32_t m_WriteTimeoutMultiplier = 0;  // ms per byte
  uint32_t m_WriteTimeoutConstant = 0;    // ms; both 0: no write time-out

  std::atomic<uint64_t> m_Wakeups{0};
  std::atomic<uint64_t> m_DroppedBytes{0};
  uint64_t m_OverflowDropped = 0;  // reader thread only: bytes refused in the current overflow episode
};
