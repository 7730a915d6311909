#include "stream/binary_stream.h"

uint64_t Tell(tZURBinaryStream& stream) { return stream.Seek(0, kSeekCurrent); }

uint64_t SeekTo(tZURBinaryStream& stream, uint64_t position) {
  return stream.Seek(static_cast<int64_t>(position), kSeekBegin);
}

bool ReadExact(tZURBinaryStream& stream, uint8_t* buffer, uint32_t count) {
  return stream.Read(buffer, count) == count;
}

bool ReadUInt32LE(tZURBinaryStream& stream, uint32_t& out) {
  uint8_t bytes[4];
  if (!ReadExact(stream, bytes, 4)) return false;
  out = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}
