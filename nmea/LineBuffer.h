#pragma once
// The growable byte buffer that holds received input not yet consumed.

#include <cstddef>
#include <cstdint>

// The memory functions a LineBuffer uses; tests replace them to make growth fail.
struct LineBufferAllocator {
  void* (*allocate)(size_t size);
  void* (*reallocate)(void* block, size_t size);
  void (*release)(void* block);
};

// The C runtime's malloc, realloc and free.
const LineBufferAllocator& HeapAllocator();

class LineBuffer {
 public:
  static constexpr uint32_t kGrowStep = 1024;

  explicit LineBuffer(const LineBufferAllocator& allocator = HeapAllocator());
  virtual ~LineBuffer();
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;

  // Forgets the contents and keeps the memory.
  virtual void Clear();

  // True when at least `request` bytes are free afterwards. A failed growth
  // leaves contents and capacity as they were.
  bool Reserve(uint32_t request);

  // Appends the bytes and keeps at least one spare byte beyond them.
  bool Append(const char* bytes, uint32_t count);

  // Drops the first `count` bytes and moves the rest to the front.
  void Discard(uint32_t count);

  char* Data() { return data; }
  const char* Data() const { return data; }
  uint32_t Length() const { return length; }
  uint32_t Capacity() const { return capacity; }

 private:
  const LineBufferAllocator* m_pAllocator;
  char* data = nullptr;
  uint32_t capacity = 0;
  uint32_t length = 0;
  uint32_t growStep = kGrowStep;
};
