#pragma once
// The 4096-byte receive ring of one port: one producer (the port's reader
// thread) and one consumer (the thread that drains it), no lock. The indices
// count bytes ever put and taken (the slot is the count modulo 4096); equal
// counts mean empty, counts 4096 apart mean full. Each side publishes its
// count with release and reads the other's with acquire, so a byte is stored
// before the count that covers it is seen, and a slot is reused only after
// the consumer has taken its byte.

#include <atomic>
#include <cstdint>

class RxQueue {
 public:
  static constexpr uint32_t kSize = 4096;

  // Producer. False when the queue is full: the byte is refused and nothing
  // queued is touched.
  bool Put(uint8_t byte) {
    const uint32_t write = m_WriteIndex.load(std::memory_order_relaxed);
    if (write - m_ReadIndex.load(std::memory_order_acquire) >= kSize) return false;
    m_Data[write % kSize] = byte;
    m_WriteIndex.store(write + 1, std::memory_order_release);
    return true;
  }

  // Consumer. False when the queue is empty.
  bool Get(uint8_t& byte) {
    uint32_t read = m_ReadIndex.load(std::memory_order_acquire);
    if (read == m_WriteIndex.load(std::memory_order_acquire)) return false;
    const uint8_t value = m_Data[read % kSize];
    // Fails only when Reset ran meanwhile; the byte then belongs to the discarded content.
    if (!m_ReadIndex.compare_exchange_strong(read, read + 1, std::memory_order_acq_rel)) return false;
    byte = value;
    return true;
  }

  // Empties the queue. The producer must be stopped; a consumer may still be draining.
  void Reset() {
    m_WriteIndex.store(0, std::memory_order_release);
    m_ReadIndex.store(0, std::memory_order_release);
  }

  // Bytes waiting (a snapshot).
  uint32_t Count() const {
    const uint32_t count = m_WriteIndex.load(std::memory_order_acquire) - m_ReadIndex.load(std::memory_order_acquire);
    return count > kSize ? 0 : count;
  }

 private:
  std::atomic<uint32_t> m_WriteIndex{0};
  std::atomic<uint32_t> m_ReadIndex{0};
  uint8_t m_Data[kSize] = {};
};
