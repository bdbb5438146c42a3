#include "audio/audio_ring.h"

#include <cstring>
#include <new>

namespace tovrel::audio {
namespace {

class Hold {
  public:
    explicit Hold(platform::NamedLock& lock) : lock_(lock) { lock_.lock(); }
    ~Hold() { lock_.unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

  private:
    platform::NamedLock& lock_;
};

}  // namespace

AudioRing::AudioRing() : mutex_(kLockName) {}

AudioRing::~AudioRing() { destroy(); }

bool AudioRing::create(int32_t size) {
    std::unique_ptr<uint8_t[]> data;
    if (size > 0) data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]());
    Hold hold(mutex_);
    data_ = std::move(data);
    size_ = data_ ? size : 0;
    readPos_ = 0;
    writePos_ = 0;
    return data_ != nullptr;
}

void AudioRing::destroy() {
    std::unique_ptr<uint8_t[]> old;
    {
        Hold hold(mutex_);
        old = std::move(data_);
        size_ = 0;
        readPos_ = 0;
        writePos_ = 0;
    }
}

int32_t AudioRing::held() const {
    return writePos_ >= readPos_ ? writePos_ - readPos_ : size_ + writePos_ - readPos_;
}

int32_t AudioRing::write(const uint8_t* source, int32_t length) { return put(source, length); }

int32_t AudioRing::writeSilence(int32_t length) { return put(nullptr, length); }

int32_t AudioRing::put(const uint8_t* source, int32_t length) {
    Hold hold(mutex_);
    if (length <= 0) return 0;
    if (!data_) return kRefused;
    const int32_t free =
        readPos_ > writePos_ ? readPos_ - writePos_ - 1 : size_ + readPos_ - writePos_ - 1;
    if (free < length) return kRefused;
    // A null source writes zeros.
    auto copy = [&](uint8_t* to, int32_t offset, int32_t count) {
        if (source) {
            std::memcpy(to, source + offset, static_cast<size_t>(count));
        } else {
            std::memset(to, 0, static_cast<size_t>(count));
        }
    };
    const int32_t tail = size_ - writePos_;
    if (length < tail) {
        copy(data_.get() + writePos_, 0, length);
        writePos_ += length;
    } else {
        copy(data_.get() + writePos_, 0, tail);
        copy(data_.get(), tail, length - tail);
        writePos_ = length - tail;
    }
    return length;
}

int32_t AudioRing::read(uint8_t* destination, int32_t length) {
    Hold hold(mutex_);
    if (length <= 0) return 0;
    if (!data_ || held() < length) return kRefused;
    const int32_t tail = size_ - readPos_;
    if (length < tail) {
        std::memcpy(destination, data_.get() + readPos_, static_cast<size_t>(length));
        readPos_ += length;
    } else {
        std::memcpy(destination, data_.get() + readPos_, static_cast<size_t>(tail));
        std::memcpy(destination + tail, data_.get(), static_cast<size_t>(length - tail));
        readPos_ = length - tail;
    }
    return length;
}

int32_t AudioRing::readPos() const {
    Hold hold(mutex_);
    return readPos_;
}

int32_t AudioRing::writePos() const {
    Hold hold(mutex_);
    return writePos_;
}

int32_t AudioRing::size() const {
    Hold hold(mutex_);
    return size_;
}

bool AudioRing::hasStorage() const {
    Hold hold(mutex_);
    return data_ != nullptr;
}

int32_t AudioRing::heldBytes() const {
    Hold hold(mutex_);
    return data_ ? held() : 0;
}

}  // namespace tovrel::audio
