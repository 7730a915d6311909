#include "wic/block_cache.h"

#include <windows.h>

#include <new>

namespace tlg_wic {
namespace {

// Larger blocks are not kept: memory held for nothing in every program that
// opened one large picture.
constexpr size_t kMaxKeptBytes = size_t(32) << 20;

SRWLOCK g_lock = SRWLOCK_INIT;
uint8_t* g_kept = nullptr;
size_t g_keptCapacity = 0;

}  // namespace

void BlockReturner::operator()(uint8_t* data) const {
  if (data == nullptr) return;
  if (capacity <= kMaxKeptBytes) {
    AcquireSRWLockExclusive(&g_lock);
    if (capacity > g_keptCapacity) {
      std::swap(data, g_kept);
      g_keptCapacity = capacity;
    }
    ReleaseSRWLockExclusive(&g_lock);
  }
  delete[] data;
}

Block TakeBlock(size_t size) {
  AcquireSRWLockExclusive(&g_lock);
  if (g_kept != nullptr && g_keptCapacity >= size) {
    Block block(g_kept, BlockReturner{g_keptCapacity});
    g_kept = nullptr;
    g_keptCapacity = 0;
    ReleaseSRWLockExclusive(&g_lock);
    return block;
  }
  ReleaseSRWLockExclusive(&g_lock);
  return Block(new (std::nothrow) uint8_t[size], BlockReturner{size});
}

void FreeKeptBlock() {
  AcquireSRWLockExclusive(&g_lock);
  uint8_t* kept = g_kept;
  g_kept = nullptr;
  g_keptCapacity = 0;
  ReleaseSRWLockExclusive(&g_lock);
  delete[] kept;
}

}  // namespace tlg_wic
