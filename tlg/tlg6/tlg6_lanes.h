// Decoding many TLG6 colour streams side by side, one stream per vector lane,
// where the processor has AVX2 or WebAssembly has 128-bit SIMD. Each stream
// is independent, so the lanes overlap what a single stream must do one code
// after the other.
#pragma once

#include <cstdint>

// One colour stream of one block row.
struct Tlg6ColourStream {
  const uint8_t* code;  // followed by kTlg6CodeGuardBytes zero bytes
  uint32_t codeBytes;
  uint8_t* lane;  // value i goes to lane[4 * i]
  uint32_t count;
};

// Bytes after each stream's guard that may be read (and are ignored).
constexpr uint32_t kTlg6LaneReadSlack = 8;

// The ways to decode streams side by side, by instruction set. kNone
// decodes them one after the other; kSimd128 is WebAssembly's 128-bit SIMD.
enum class Tlg6Lanes { kNone, kSimd128, kAvx2, kAvx512 };
// Every way, slowest first.
inline constexpr Tlg6Lanes kEveryTlg6Lanes[] = {Tlg6Lanes::kNone, Tlg6Lanes::kSimd128,
                                                 Tlg6Lanes::kAvx2, Tlg6Lanes::kAvx512};

// Whether this processor can run `lanes`; kNone runs anywhere.
bool HasTlg6Lanes(Tlg6Lanes lanes);
// The fastest way this processor has.
Tlg6Lanes FastestTlg6Lanes();

// Decodes every stream as UnpackColour would, and sets ok[i] to whether
// stream i was well formed; `lanes` the processor lacks, or streams too far
// apart for the lanes' offsets, go one after the other. Zero values are not
// stored: the lanes must hold zeros beforehand. Each stream must be readable
// for kTlg6LaneReadSlack bytes after its guard, and the last stream's lane
// needs one spare entry after its values, which may be overwritten.
void UnpackColoursSideBySide(Tlg6Lanes lanes, const Tlg6ColourStream* streams,
                             uint32_t streamCount, bool* ok);
