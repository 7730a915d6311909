// The TLG6 value decoders over any coded bytes: they must stay inside the
// coded bytes (plus their zeroed guard) and the entries they were given, and
// streams decoded side by side must give what each gives alone.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tlg/tlg6/tlg6_lanes.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t count = (data[0] | data[1] << 8) % 4097;
  std::vector<uint8_t> code(data + 2, data + size);
  const size_t codeSize = code.size();
  code.resize(codeSize + kTlg6CodeGuardBytes, 0);  // exactly the guard: reads past it show
  const uint8_t* codeEnd = code.data() + codeSize;

  // One entry more than asked for, which must stay as it was.
  std::vector<uint32_t> entries(count + 1, 0xA5A5A5A5u);
  UnpackFirstColour(entries.data(), count, code.data(), codeEnd);
  for (uint32_t i = 0; i < count; ++i) {
    if (entries[i] > 0xFF && entries[i] != 0xA5A5A5A5u) __builtin_trap();  // whole entries only
  }
  if (entries[count] != 0xA5A5A5A5u) __builtin_trap();
  std::vector<uint32_t> lanes(count + 1, 0xA5A5A5A5u);
  UnpackColour(reinterpret_cast<uint8_t*>(lanes.data()) + 2, count, code.data(), codeEnd);
  for (uint32_t e : lanes) {
    if ((e & 0xFF00FFFFu) != 0xA500A5A5u) __builtin_trap();  // lane 2 only
  }
  if (lanes[count] != 0xA5A5A5A5u) __builtin_trap();

  // The same bytes as three streams of different lengths, side by side.
  constexpr uint32_t kStreams = 3;
  const uint32_t counts[kStreams] = {count, count / 2, count / 3};
  std::vector<uint8_t> codes;
  for (uint32_t i = 0; i < kStreams; ++i) {
    codes.insert(codes.end(), data + 2, data + size);
    codes.resize(codes.size() + kTlg6CodeGuardBytes, 0);
  }
  codes.resize(codes.size() + kTlg6LaneReadSlack, 0);
  std::vector<uint32_t> alone(count + 1, 0);
  bool expected[kStreams];
  for (uint32_t i = 0; i < kStreams; ++i) {
    expected[i] = UnpackColour(reinterpret_cast<uint8_t*>(alone.data()) + i, counts[i],
                               code.data(), codeEnd);
  }
  // Every instruction set this processor has.
  for (const Tlg6Lanes lanes : kEveryTlg6Lanes) {
    if (lanes == Tlg6Lanes::kNone || !HasTlg6Lanes(lanes)) continue;
    std::vector<uint32_t> together(count + 1, 0);
    Tlg6ColourStream streams[kStreams];
    bool ok[kStreams];
    for (uint32_t i = 0; i < kStreams; ++i) {
      streams[i] = Tlg6ColourStream{codes.data() + i * (codeSize + kTlg6CodeGuardBytes),
                                    static_cast<uint32_t>(codeSize),
                                    reinterpret_cast<uint8_t*>(together.data()) + i, counts[i]};
    }
    UnpackColoursSideBySide(lanes, streams, kStreams, ok);
    for (uint32_t i = 0; i < kStreams; ++i) {
      if (ok[i] != expected[i]) __builtin_trap();
    }
    if (together != alone) __builtin_trap();
  }
  return 0;
}
