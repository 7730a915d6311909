// What the parts of the C interface share: the C++ boundary, opening an
// input, and turning loader results into errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>

#include "stream/binary_stream.h"
#include "tlg/tlg.h"

namespace libtlg {

// No exception crosses the C interface.
template <typename F>
tlg_error Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return TLG_ERROR_OUT_OF_MEMORY;
  } catch (const std::length_error&) {
    return TLG_ERROR_TOO_LARGE;
  } catch (...) {
    return TLG_ERROR_CORRUPT;
  }
}

// Whether a size needs more than 32 bits (never, where size_t has 32).
inline bool Exceeds32Bits(size_t value) { return static_cast<uint64_t>(value) >> 32 != 0; }

// Where an input comes from: memory, or a path in one of two encodings.
struct Source {
  const void* data = nullptr;
  size_t size = 0;
  const char* path = nullptr;
  const wchar_t* widePath = nullptr;
};
inline Source MemorySource(const void* data, size_t size) { return Source{data, size, nullptr, nullptr}; }
inline Source PathSource(const char* path) { return Source{nullptr, 0, path, nullptr}; }
inline Source WidePathSource(const wchar_t* path) { return Source{nullptr, 0, nullptr, path}; }

// A stream that remembers whether a read ever came up short, which tells an
// input cut short from a corrupt one.
class WatchedStream final : public tZURBinaryStream {
 public:
  explicit WatchedStream(std::unique_ptr<tZURBinaryStream> inner) : inner_(std::move(inner)) {}
  uint64_t Seek(int64_t offset, int32_t origin) override { return inner_->Seek(offset, origin); }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    const uint32_t got = inner_->Read(buffer, count);
    if (got < count) cameShort_ = true;
    return got;
  }
  uint32_t Write(const uint8_t*, uint32_t) override { return 0; }
  bool cameShort() const { return cameShort_; }
  void Forget() { cameShort_ = false; }

 private:
  std::unique_ptr<tZURBinaryStream> inner_;
  bool cameShort_ = false;
};

// Opens the input, checked: a null pointer or path is an invalid argument, a
// file that cannot be opened an I/O error. May throw std::bad_alloc.
tlg_error OpenSource(const Source& source, std::unique_ptr<WatchedStream>& stream);

// TLG_OK when the input starts with a signature; TLG_ERROR_TRUNCATED when it
// ends within one, TLG_ERROR_NOT_TLG otherwise.
tlg_error CheckSignature(WatchedStream& stream);

// The error of a loader result other than complete or stopped.
tlg_error LoadFailure(int result, const WatchedStream& stream);

// The picture's kind, colours and whether it has tags, from its headers.
// Its size is filled in by the decoders' size callback.
tlg_error DescribeLayout(WatchedStream& stream, tlg_info& info);

}  // namespace libtlg
