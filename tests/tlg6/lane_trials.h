// Random colour streams for testing the side-by-side decoding against
// the one-by-one one: the shapes real images give, the rare codes, and
// damage of every kind.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "encoder/tlg6_value_coder.h"
#include "tlg/tlg6/tlg6_lanes.h"

struct LaneTrial {
  std::vector<uint8_t> code;       // every stream, each followed by its guard, then slack
  std::vector<uint32_t> residuals;  // four streams share a block of entries, one lane each
  std::vector<Tlg6ColourStream> streams;
};

LaneTrial MakeLaneTrial(std::mt19937& random, const Tlg6RiceTable& table);

// Decodes the trial's streams with `lanes` and one by one; false with a
// reason where verdicts or entries differ. Counts the damaged streams.
bool MatchesOneByOne(Tlg6Lanes lanes, LaneTrial& trial, int& failures, std::string& why);
