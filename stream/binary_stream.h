// Byte streams: the one interface through which every decoder reads its input.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Seek origins. Any other value counts as kSeekBegin.
enum : int32_t { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class tZURBinaryStream {
 public:
  virtual ~tZURBinaryStream() = default;
  // New position, or 0 on failure (indistinguishable from a seek to 0).
  virtual uint64_t Seek(int64_t offset, int32_t origin) = 0;
  // Bytes read: fewer than asked near the end, 0 at the end or on failure.
  virtual uint32_t Read(uint8_t* buffer, uint32_t count) = 0;
  virtual uint32_t Write(const uint8_t* buffer, uint32_t count) = 0;
};

// A stream over a block of memory that the caller keeps alive and frees.
// Positions are 32-bit: the high half of a seek offset is ignored.
class tMemDataStream final : public tZURBinaryStream {
 public:
  tMemDataStream(const uint8_t* data, uint32_t size);
  uint64_t Seek(int64_t offset, int32_t origin) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  uint32_t Write(const uint8_t* buffer, uint32_t count) override;

 private:
  const uint8_t* data_;
  uint32_t size_;
  uint32_t position_;
};

// A stream over a file handle: borrowed from the caller, or opened by name
// and closed on destruction. A failed open leaves a stream on which every
// operation returns 0.
class tHandleStream final : public tZURBinaryStream {
 public:
  explicit tHandleStream(HANDLE handle);
  tHandleStream(const char* fileName, DWORD desiredAccess);
  tHandleStream(const WCHAR* fileName, DWORD desiredAccess);  // a UTF-16 name
  ~tHandleStream() override;
  tHandleStream(const tHandleStream&) = delete;
  tHandleStream& operator=(const tHandleStream&) = delete;

  uint64_t Seek(int64_t offset, int32_t origin) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  uint32_t Write(const uint8_t* buffer, uint32_t count) override;
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  bool ownsHandle_;
  HANDLE handle_;
};

uint64_t Tell(tZURBinaryStream& stream);
uint64_t SeekTo(tZURBinaryStream& stream, uint64_t position);
// One Read; true only when exactly `count` bytes came (what did come is consumed).
bool ReadExact(tZURBinaryStream& stream, uint8_t* buffer, uint32_t count);
// Leaves `out` unchanged when fewer than 4 bytes came.
bool ReadUInt32LE(tZURBinaryStream& stream, uint32_t& out);
