#include <cstring>

#include "stream/binary_stream.h"

tMemDataStream::tMemDataStream(const uint8_t* data, uint32_t size)
    : data_(data), size_(size), position_(0) {}

uint64_t tMemDataStream::Seek(int64_t offset, int32_t origin) {
  if (data_ == nullptr) return 0;
  // Only the low 32 bits take part; the sum wraps and is not clamped to the block.
  const auto low = static_cast<uint32_t>(offset);
  switch (origin) {
    case kSeekCurrent: position_ += low; break;
    case kSeekEnd: position_ = size_ + low; break;
    default: position_ = low; break;
  }
  return position_;
}

uint32_t tMemDataStream::Read(uint8_t* buffer, uint32_t count) {
  if (data_ == nullptr || position_ >= size_) return 0;
  const uint32_t left = size_ - position_;
  const uint32_t n = count < left ? count : left;
  if (n == 0) return 0;
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

uint32_t tMemDataStream::Write(const uint8_t* /*buffer*/, uint32_t /*count*/) { return 0; }
