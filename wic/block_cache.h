// One freed file block kept for the next picture. Reading a file into memory
// the process has not touched yet costs a page fault for every page, which
// for a TLG5 picture is a fair part of what decoding it costs; thumbnailers
// read picture after picture, so the block of one serves the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tlg_wic {

struct BlockReturner {
  size_t capacity = 0;
  void operator()(uint8_t* data) const;
};
using Block = std::unique_ptr<uint8_t[], BlockReturner>;

// A block of at least `size` bytes (the kept one when it is large enough);
// null when memory runs out.
Block TakeBlock(size_t size);

// Frees the kept block (when the DLL may be unloaded, and when it is).
void FreeKeptBlock();

}  // namespace tlg_wic
