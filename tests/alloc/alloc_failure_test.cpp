// Every allocation a decode makes fails in turn, the first, then the second,
// until a decode runs through: through the C interface and through
// GetPicture, on TLG5, TLG6 and wrapped files. Each failed run must give its
// code for memory not had (the C interface's "out of memory"; the plug-in's
// "stopped" for its bitmap and "failed" otherwise), hand back nothing and
// leave nothing allocated.
//
// The program counts and fails the heap calls of the core, the C interface
// and the plug-in (linked in with malloc, calloc and realloc wrapped), every
// operator new, and LocalAlloc through the platform stand-in's gate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "plugin/entry_points.h"
#include "tests/support/libtlg_encode.h"
#include "tests/support/temp_file.h"
#include "tlg/tlg.h"

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);
}

namespace {

long failingAllocation = 0;  // counted from arming; 0: none fails
long allocations = 0;        // since arming
bool failedOne = false;
long liveBlocks = 0;

bool Allow() {
  if (failingAllocation == 0 || ++allocations != failingAllocation) return true;
  failedOne = true;
  return false;
}

void* Counted(void* block) {
  if (block != nullptr) ++liveBlocks;
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  --liveBlocks;
  __real_free(block);
}

}  // namespace

extern "C" {
void* __wrap_malloc(size_t size) { return Allow() ? Counted(__real_malloc(size)) : nullptr; }
void* __wrap_calloc(size_t count, size_t size) {
  return Allow() ? Counted(__real_calloc(count, size)) : nullptr;
}
void* __wrap_realloc(void* block, size_t size) {
  if (!Allow()) return nullptr;
  void* moved = __real_realloc(block, size);
  if (block == nullptr && moved != nullptr) ++liveBlocks;
  return moved;
}
void __wrap_free(void* block) { Release(block); }
}

void* operator new(size_t size) {
  void* block = Allow() ? Counted(__real_malloc(size ? size : 1)) : nullptr;
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return Allow() ? Counted(__real_malloc(size ? size : 1)) : nullptr;
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, size_t) noexcept { Release(block); }
void operator delete[](void* block, size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }

namespace {

typedef std::vector<uint8_t> Bytes;

// Noise enough that a TLG6 group's coded bytes outgrow their first buffer.
Bytes Pixels(size_t width, size_t height, bool opaque) {
  Bytes pixels(width * height * 4);
  uint32_t state = 12345;
  for (size_t i = 0; i < pixels.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    pixels[i] = static_cast<uint8_t>((i % 4 == 3 && opaque) ? 255 : state >> 24);
  }
  return pixels;
}

Bytes Encode(tlg_kind kind, bool wrap, size_t width, size_t height, bool opaque) {
  const Bytes pixels = Pixels(width, height, opaque);
  const tlg_tag tag = {"title", 5, "noise", 5};
  const Bytes file = EncodeRgba8(pixels, width, height, kind, wrap, wrap ? &tag : nullptr, wrap ? 1 : 0);
  EXPECT_FALSE(file.empty());
  return file;
}

struct Input {
  const char* name;
  Bytes file;
};

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = {
      {"tlg5", Encode(TLG_KIND_TLG5, false, 150, 90, false)},
      {"tlg6", Encode(TLG_KIND_TLG6, false, 300, 200, false)},
      {"wrapped tlg6", Encode(TLG_KIND_TLG6, true, 60, 40, true)},
  };
  return inputs;
}

// Runs `decode` with the 1st, 2nd, ... allocation failing until one run has
// none to fail. `decode` answers whether it reported out of memory with
// nothing handed back (when an allocation failed, see failedOne) or succeeded
// (when none did), and frees what a success handed back.
void FailEachAllocation(const std::string& what, const std::function<bool()>& decode) {
  SCOPED_TRACE(what);
  long n = 1;
  for (;; ++n) {
    const long liveBefore = liveBlocks;
    allocations = 0;
    failedOne = false;
    failingAllocation = n;
    const bool right = decode();
    const bool failed = failedOne;
    failingAllocation = 0;
    EXPECT_TRUE(right) << "allocation " << n << (failed ? " failed" : ", none failed");
    EXPECT_EQ(liveBlocks, liveBefore) << "allocation " << n;
    if (!failed || !right || liveBlocks != liveBefore) break;
  }
  EXPECT_GT(n, 2) << "every run allocates";
}

TEST(AllocationFailure, CInterface) {
  for (const Input& input : Inputs()) {
    FailEachAllocation(std::string(input.name) + " from memory", [&] {
      void* pixels = reinterpret_cast<void*>(1);
      tlg_info info;
      const tlg_error error = tlg_decode_alloc(input.file.data(), input.file.size(), TLG_RGBA8,
                                               nullptr, &pixels, &info);
      if (failedOne) return error == TLG_ERROR_OUT_OF_MEMORY && pixels == nullptr;
      tlg_free(pixels);
      return error == TLG_OK;
    });
    TempFile file(input.file);
    FailEachAllocation(std::string(input.name) + " from a file, row by row", [&] {
      const tlg_error error = tlg_decode_rows_file(
          file.path().c_str(), TLG_RGBA8, nullptr,
          [](void*, size_t, const void*, size_t) { return 0; }, nullptr, nullptr);
      return error == (failedOne ? TLG_ERROR_OUT_OF_MEMORY : TLG_OK);
    });
    FailEachAllocation(std::string(input.name) + " tags", [&] {
      tlg_tag* tags = reinterpret_cast<tlg_tag*>(1);
      size_t count = 9;
      const tlg_error error = tlg_read_tags(input.file.data(), input.file.size(), &tags, &count);
      if (failedOne) return error == TLG_ERROR_OUT_OF_MEMORY && tags == nullptr && count == 0;
      tlg_free(tags);
      return error == TLG_OK;
    });
  }
}

bool AllocationGate(SIZE_T) { return Allow(); }

TEST(AllocationFailure, GetPicture) {
  SetLocalAllocGate(AllocationGate);
  for (const Input& input : Inputs()) {
    FailEachAllocation(std::string(input.name) + " through GetPicture", [&] {
      HLOCAL untouched = reinterpret_cast<HLOCAL>(7);
      HLOCAL info = untouched, pixels = untouched;
      const int code = GetPicture(reinterpret_cast<LPCSTR>(input.file.data()),
                                  static_cast<LONG_PTR>(input.file.size()), 1, &info, &pixels,
                                  nullptr, 0);
      // Bitmap memory not had stops the decode; any other memory fails it.
      if (failedOne) {
        return (code == kSpiStopped || code == kSpiDecodeFailed) && info == untouched && pixels == untouched;
      }
      LocalFree(info);
      LocalFree(pixels);
      return code == kSpiSuccess;
    });
  }
  SetLocalAllocGate(nullptr);
}

}  // namespace
