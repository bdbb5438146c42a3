#pragma once

#include <cstdint>
#include <memory>

#include "platform/system/named_lock.h"

namespace tovrel::audio {

// A byte ring between one writer and one reader, with all-or-nothing writes and reads: an
// operation that cannot be done in full changes nothing and answers kRefused at once. It holds
// at most size - 1 bytes (readPos == writePos means empty).
// Every ring takes the one system-wide lock "RING" for each operation, including the copies, so
// ring operations of all rings, in this and other running copies of the program, are serialised.
// The storage is made by create and freed by destroy under that lock, so a writer that races the
// ring's teardown meets an empty ring, never freed memory.
// Any thread.
class AudioRing {
  public:
    static constexpr int32_t kRefused = -1000;
    static constexpr const char* kLockName = "RING";

    AudioRing();
    ~AudioRing();
    AudioRing(const AudioRing&) = delete;
    AudioRing& operator=(const AudioRing&) = delete;

    // Replaces any storage by `size` zeroed bytes with both positions at 0. False, leaving the
    // ring without storage, when `size` is not positive or the memory cannot be had.
    bool create(int32_t size);
    // Frees the storage; the ring then refuses every write and read of one byte or more.
    void destroy();

    // Copies `length` bytes in; answers `length`, 0 when `length` <= 0, or kRefused when the
    // free space is smaller.
    int32_t write(const uint8_t* source, int32_t length);
    // Writes `length` zero bytes, with write's answers; for silence longer than any zero
    // buffer at hand.
    int32_t writeSilence(int32_t length);
    // Copies `length` bytes out; answers `length`, 0 when `length` <= 0, or kRefused when fewer
    // bytes are held.
    int32_t read(uint8_t* destination, int32_t length);

    int32_t readPos() const;
    int32_t writePos() const;
    int32_t size() const;
    bool hasStorage() const;
    // Bytes held now; for diagnostics and measurement, the answer may be stale at once.
    int32_t heldBytes() const;

  private:
    int32_t put(const uint8_t* source, int32_t length);
    int32_t held() const;  // caller holds the lock

    mutable platform::NamedLock mutex_;
    int32_t readPos_ = 0;
    int32_t writePos_ = 0;
    int32_t size_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};

}  // namespace tovrel::audio
