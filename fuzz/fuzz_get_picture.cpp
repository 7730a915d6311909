// The plug-in's picture exports with memory input, as a host calls them.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_limits.h"
#include "plugin/entry_points.h"

namespace {

int WINAPI Progress(int row, int rowCount, LONG_PTR data) {
  if (row < 0 || row >= rowCount) __builtin_trap();
  return row == static_cast<int>(data) ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto buffer = reinterpret_cast<LPCSTR>(data);
  const auto length = static_cast<LONG_PTR>(size);
  PictureInfo info;
  if (GetPictureInfo(buffer, length, 1, &info) != kSpiSuccess) {
    info.width = 0;
    info.height = 0;
  }
  if (!FitsFuzzBudget(static_cast<uint32_t>(info.width), static_cast<uint32_t>(info.height))) return 0;
  const LONG_PTR stopAt = size > 0 ? data[size - 1] % 8 : -1;  // sometimes the host stops early
  HLOCAL header = nullptr, pixels = nullptr;
  const int code = GetPicture(buffer, length, 1, &header, &pixels, Progress, stopAt);
  if (code == kSpiSuccess) {
    LocalFree(header);
    LocalFree(pixels);
  } else if (header != nullptr || pixels != nullptr) {
    __builtin_trap();  // a failed call must leave the outs alone
  }
  return 0;
}
