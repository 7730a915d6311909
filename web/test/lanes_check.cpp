// The side-by-side stream decoding of this WebAssembly build against the
// one-by-one decoding, on random and damaged streams: built by
// web/CMakeLists.txt for Node and run by scripts/test-web.sh.
#include <cstdio>
#include <random>
#include <string>

#include "tests/tlg6/lane_trials.h"

int main() {
  const Tlg6RiceTable table = BuildTlg6RiceTable();
  int passed = 0;
  int failed = 0;
  for (const Tlg6Lanes lanes : kEveryTlg6Lanes) {
    if (lanes == Tlg6Lanes::kNone || !HasTlg6Lanes(lanes)) continue;
    std::mt19937 random(17);
    int damaged = 0;
    for (int trial = 0; trial < 400; ++trial) {
      LaneTrial t = MakeLaneTrial(random, table);
      std::string why;
      if (MatchesOneByOne(lanes, t, damaged, why)) {
        ++passed;
      } else {
        ++failed;
        std::printf("lanes %d, trial %d: %s\n", static_cast<int>(lanes), trial, why.c_str());
      }
    }
    // The damage must have reached the checks, or the trials proved little.
    if (damaged < 150) {
      ++failed;
      std::printf("lanes %d: only %d damaged streams\n", static_cast<int>(lanes), damaged);
    }
  }
  if (passed == 0) ++failed;  // this build must have lanes to check
  std::printf("lanes: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
