// Fuzz target: the boss table reader over arbitrary text, into an array of
// one or three stages with a guard record after it. A bad table ends in the
// parse error, never in a crash, and the guard is never written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Engine/ai/boss_table.h"
#include "fuzz/fatal_throw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_fatal_throws();
  if (size < 1) return 0;
  const int stages = (data[0] & 1) ? 3 : 1;
  BossOffensePoint points[3 * BOSS_POINTS_PER_STAGE + 1];
  std::memset(points, 0, sizeof points);
  points[stages * BOSS_POINTS_PER_STAGE].number = 0x5a5a;
  try {
    boss_read_table_text("fuzz_boss.tbl", reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1),
                         stages, points);
  } catch (const FuzzFatal&) {
  }
  if (points[stages * BOSS_POINTS_PER_STAGE].number != 0x5a5a) std::abort();
  return 0;
}
