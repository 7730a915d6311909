#include "encoder/tlg6_filter_section.h"

#include <algorithm>

namespace {

constexpr size_t kItemsPerFlagByte = 8;
constexpr uint8_t kAllLiterals = 0x00;

}  // namespace

// Literals only for now: a flag byte before every 8 bytes.
std::vector<uint8_t> CompressFilterTypes(const std::vector<uint8_t>& types) {
  std::vector<uint8_t> out;
  out.reserve(types.size() + (types.size() + kItemsPerFlagByte - 1) / kItemsPerFlagByte);
  for (size_t i = 0; i < types.size(); i += kItemsPerFlagByte) {
    out.push_back(kAllLiterals);
    const size_t end = std::min(types.size(), i + kItemsPerFlagByte);
    out.insert(out.end(), types.begin() + static_cast<std::ptrdiff_t>(i),
               types.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return out;
}
