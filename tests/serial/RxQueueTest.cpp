#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "serial/RxQueue.h"

namespace {

TEST(RxQueue, GivesBytesBackInOrderAcrossTheWrap) {
  auto queue = std::make_unique<RxQueue>();
  uint8_t byte = 0;
  EXPECT_FALSE(queue->Get(byte));
  uint8_t next = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 3000; ++i) ASSERT_TRUE(queue->Put(static_cast<uint8_t>(next + i)));
    EXPECT_EQ(queue->Count(), 3000u);
    for (int i = 0; i < 3000; ++i) {
      ASSERT_TRUE(queue->Get(byte));
      ASSERT_EQ(byte, static_cast<uint8_t>(next + i));
    }
    next = static_cast<uint8_t>(next + 3000);
    EXPECT_FALSE(queue->Get(byte));
  }
}

// A full queue refuses new bytes and keeps the 4096 it holds intact.
TEST(RxQueue, FullQueueRefusesTheByteAndKeepsWhatItHolds) {
  auto queue = std::make_unique<RxQueue>();
  for (uint32_t i = 0; i < RxQueue::kSize; ++i) ASSERT_TRUE(queue->Put(static_cast<uint8_t>(i * 7)));
  EXPECT_FALSE(queue->Put(0xEE));
  EXPECT_EQ(queue->Count(), RxQueue::kSize);
  uint8_t byte = 0;
  for (uint32_t i = 0; i < RxQueue::kSize; ++i) {
    ASSERT_TRUE(queue->Get(byte));
    ASSERT_EQ(byte, static_cast<uint8_t>(i * 7));
  }
  EXPECT_FALSE(queue->Get(byte));
  EXPECT_TRUE(queue->Put(1));
}

TEST(RxQueue, ResetEmptiesTheQueue) {
  auto queue = std::make_unique<RxQueue>();
  for (int i = 0; i < 100; ++i) queue->Put(static_cast<uint8_t>(i));
  queue->Reset();
  uint8_t byte = 0;
  EXPECT_FALSE(queue->Get(byte));
  EXPECT_EQ(queue->Count(), 0u);
  ASSERT_TRUE(queue->Put(9));
  ASSERT_TRUE(queue->Get(byte));
  EXPECT_EQ(byte, 9);
}

// One producer and one consumer without a lock: every byte arrives once, in
// order, across many wraps of the ring.
TEST(RxQueue, OneProducerOneConsumerKeepOrder) {
  constexpr uint32_t kBytes = 64 * RxQueue::kSize;
  auto queue = std::make_unique<RxQueue>();
  std::thread producer([&] {
    for (uint32_t i = 0; i < kBytes;) {
      if (queue->Put(static_cast<uint8_t>(i % 251))) {
        ++i;
      } else {
        std::this_thread::yield();
      }
    }
  });
  uint32_t received = 0;
  bool inOrder = true;
  uint8_t byte = 0;
  while (received < kBytes) {
    if (!queue->Get(byte)) {
      std::this_thread::yield();
      continue;
    }
    inOrder = inOrder && byte == static_cast<uint8_t>(received % 251);
    ++received;
  }
  producer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_FALSE(queue->Get(byte));
}

}  // namespace
