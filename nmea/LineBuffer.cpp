#include "nmea/LineBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

const LineBufferAllocator& HeapAllocator() {
  static constexpr LineBufferAllocator kHeap{
      [](size_t size) { return std::malloc(size); },
      [](void* block, size_t size) { return std::realloc(block, size); },
      [](void* block) { std::free(block); },
  };
  return kHeap;
}

LineBuffer::LineBuffer(const LineBufferAllocator& allocator) : m_pAllocator(&allocator) {}

LineBuffer::~LineBuffer() { m_pAllocator->release(data); }

void LineBuffer::Clear() { length = 0; }

bool LineBuffer::Reserve(uint32_t request) {
  const uint32_t step = std::max(growStep, request);
  if (data == nullptr) {
    data = static_cast<char*>(m_pAllocator->allocate(step));
    if (data == nullptr) {
      capacity = 0;
      length = 0;
      return false;
    }
    capacity = step;
    return true;
  }
  if (capacity - length > request) return true;
  // The capacity is a 32-bit count: growth past it fails like a failed allocation.
  if (step > std::numeric_limits<uint32_t>::max() - capacity) return false;
  void* grown = m_pAllocator->reallocate(data, size_t{capacity} + step);
  if (grown == nullptr) return false;
  data = static_cast<char*>(grown);
  capacity += step;
  return true;
}

bool LineBuffer::Append(const char* bytes, uint32_t count) {
  if (count == std::numeric_limits<uint32_t>::max()) return false;
  if (!Reserve(count + 1)) return false;
  if (count > 0) std::memcpy(data + length, bytes, count);
  length += count;
  return true;
}

void LineBuffer::Discard(uint32_t count) {
  count = std::min(count, length);
  if (count < length) std::memmove(data, data + count, length - count);
  length -= count;
}
