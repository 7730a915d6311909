#include "tests/tlg6/lane_trials.h"

#include <algorithm>
#include <memory>

#include "tlg/tlg6/tlg6_values.h"

namespace {

// Residuals of one colour of one block row, in the shapes real images give
// and the ones that reach the rare codes: escapes, long quotients, zero runs
// too long for one window, running sums near the top of the table.
std::vector<uint8_t> MakeResiduals(std::mt19937& random, uint32_t count) {
  std::vector<uint8_t> values(count);
  const int shape = random() % 5;
  for (uint8_t& v : values) {
    switch (shape) {
      case 0: v = random() % 6 == 0 ? static_cast<uint8_t>(random() % 7 - 3) : 0; break;
      case 1: v = static_cast<uint8_t>(random()); break;
      case 2: v = random() % 2000 == 0 ? static_cast<uint8_t>(random()) : 0; break;
      case 3: v = static_cast<uint8_t>(random() % 2 ? 0x80 : 0x7F); break;
      default: v = static_cast<uint8_t>(random() % 9 - 4); break;
    }
  }
  return values;
}

// Flipped bits, a cut end, bytes that never were a stream, or zero bytes
// put in: a window of zeros, then a large escaped quotient that takes the
// running sum past the table.
void Damage(std::mt19937& random, std::vector<uint8_t>& code) {
  switch (random() % 4) {
    case 3: {
      const auto at = code.begin() + static_cast<ptrdiff_t>(random() % (code.size() + 1));
      const std::vector<uint8_t> zeros(4 + random() % 5, 0);
      code.insert(code.insert(at, 0xFF), zeros.begin(), zeros.end());
      break;
    }
    case 0:
      for (int i = 0; i < 3 && !code.empty(); ++i) code[random() % code.size()] ^= 1 << (random() % 8);
      break;
    case 1: code.resize(random() % (code.size() + 1)); break;
    default:
      for (uint8_t& b : code) b = static_cast<uint8_t>(random() % 4 ? random() : 0);
      break;
  }
}

}  // namespace

LaneTrial MakeLaneTrial(std::mt19937& random, const Tlg6RiceTable& table) {
  // Now and then more streams than the lanes put in order.
  const uint32_t streamCount = random() % 25 == 0 ? 257 + random() % 60 : 1 + random() % 40;
  std::vector<std::vector<uint8_t>> codes(streamCount);
  std::vector<uint32_t> counts(streamCount);
  uint32_t longest = 0;
  for (uint32_t i = 0; i < streamCount; ++i) {
    counts[i] = random() % 6 == 0 ? random() % 3 : random() % 3000;
    // Run lengths past 12 bits, and value runs longer than 16-bit lanes count.
    if (random() % 10 == 0) counts[i] = 9000 + random() % 40000;
    longest = std::max(longest, counts[i]);
    const std::vector<uint8_t> values = MakeResiduals(random, counts[i]);
    codes[i] = EncodeTlg6Values(values.data(), values.size(), table).bytes;
    if (random() % 4 == 0) Damage(random, codes[i]);
  }
  LaneTrial t;
  std::vector<size_t> starts;
  for (const auto& c : codes) {
    starts.push_back(t.code.size());
    t.code.insert(t.code.end(), c.begin(), c.end());
    t.code.resize(t.code.size() + kTlg6CodeGuardBytes, 0);
  }
  t.code.resize(t.code.size() + kTlg6LaneReadSlack, 0);
  const size_t blockEntries = longest + 1;  // and a spare entry
  t.residuals.assign(blockEntries * ((streamCount + 3) / 4), 0);
  for (uint32_t i = 0; i < streamCount; ++i) {
    uint8_t* lane = reinterpret_cast<uint8_t*>(t.residuals.data() + (i / 4) * blockEntries) + i % 4;
    t.streams.push_back(Tlg6ColourStream{t.code.data() + starts[i],
                                         static_cast<uint32_t>(codes[i].size()), lane, counts[i]});
  }
  return t;
}


bool MatchesOneByOne(Tlg6Lanes lanes, LaneTrial& t, int& failures, std::string& why) {
  std::vector<uint32_t> expected(t.residuals);
  std::vector<bool> expectedOk;
  for (const Tlg6ColourStream& s : t.streams) {
    uint8_t* lane = reinterpret_cast<uint8_t*>(expected.data()) +
                    (s.lane - reinterpret_cast<uint8_t*>(t.residuals.data()));
    expectedOk.push_back(UnpackColour(lane, s.count, s.code, s.code + s.codeBytes));
    failures += !expectedOk.back();
  }
  std::unique_ptr<bool[]> ok(new bool[t.streams.size()]);
  UnpackColoursSideBySide(lanes, t.streams.data(), static_cast<uint32_t>(t.streams.size()),
                          ok.get());
  for (size_t i = 0; i < t.streams.size(); ++i) {
    if (ok[i] != expectedOk[i]) {
      why = "stream " + std::to_string(i) + (expectedOk[i] ? " failed" : " passed");
      return false;
    }
  }
  if (t.residuals != expected) {
    why = "entries differ";
    return false;
  }
  return true;
}
