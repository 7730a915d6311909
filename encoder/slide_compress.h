// LZSS compression into the stream that SlideDecompress expands: groups of a
// flag byte and up to eight items (literals, or matches of 3 to 273 bytes
// from an absolute slot of a 4096-byte ring dictionary).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class SlideCompressor {
 public:
  static constexpr uint32_t kDictionarySize = 4096;

  // A zero-filled dictionary, position 0.
  SlideCompressor();
  // A dictionary that the decompressing side fills identically, position 0.
  explicit SlideCompressor(const uint8_t (&initialDictionary)[kDictionarySize]);

  // Compresses `size` bytes into one stream. The dictionary and its position
  // carry on into the next call, as they do for the decompressing side; each
  // stream still starts with its own flag byte. An empty input gives an empty
  // stream.
  std::vector<uint8_t> Compress(const uint8_t* data, size_t size);
  // The same into the first bytes of `out`, which grows as needed but keeps
  // its size otherwise, so that one buffer serves call after call; returns
  // the stream's length.
  size_t Compress(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

  // Takes back the last Compress call (if any since the last Rewind): the
  // dictionary and position are as they were before it, as for a record the
  // caller stores uncompressed.
  void Rewind();

  uint32_t position() const;
  std::array<uint8_t, kDictionarySize> dictionary() const;

 private:
  struct Match {
    size_t length = 0;
    size_t source = 0;  // history index
  };
  // Hash chains: for each string, the position of the one before it with
  // the same hash of its first few bytes (positions count bytes from the
  // initial dictionary's first, modulo 2^32).
  struct Chains {
    Chains();
    std::vector<uint32_t> head;
    std::vector<uint32_t> previous;  // by history index; at least as long as the history
  };
  void InsertNext();
  size_t Insertable() const;
  void InsertBefore(size_t end);
  void InsertPassingOver(size_t end, size_t skipFrom, size_t skipTo);
  void Compact();
  Match Follow(const Chains& chains, uint32_t hash, size_t index, size_t limit, size_t enough,
               int steps, Match best) const;
  // A match longer than `beat` bytes, or none.
  Match Find(size_t index, size_t beat = 2) const;

  // The bytes from position `base_` on: the last 4096 before the current
  // input are the ring, position a in slot a mod 4096. The chains persist
  // from call to call.
  // `size_` bytes, then zero padding.
  std::vector<uint8_t> history_;
  size_t size_ = 0;
  uint64_t base_ = 0;
  Chains chains3_, chains4_, chains6_;
  size_t inserted_ = 0;  // history indices below this are in the chains
  // Indices passed over by the last Compress call, in order.
  struct Span {
    size_t begin, end;
  };
  std::vector<Span> skipped_;
  size_t rewindSize_ = 0;
  size_t rewindInserted_ = 0;
};
