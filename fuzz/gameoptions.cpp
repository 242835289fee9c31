// orrimund.cfg as anyone may have left it: any length, any bytes. Whatever
// the file holds is taken field by field; what it lacks keeps its default, as
// does a volume that is not a number from 0 to 1 or a choice above 2, and
// written back the options give the file's bytes followed by the defaults'.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Orrimund/gameoptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GameOptions o = game_options_defaults();
  game_options_decode(data, size, &o);
  uint8_t out[GAME_OPTIONS_SIZE], defaults[GAME_OPTIONS_SIZE];
  game_options_encode(o, out);
  game_options_encode(game_options_defaults(), defaults);
  // Fields end at these offsets; a field cut off by the end keeps its default.
  static const int ends[] = {4, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 24,
                             28, 32, 33, 34, 35, 36, 40, 44, 45, 46, 47, 48};
  size_t whole = 0;
  for (int e : ends)
    if (static_cast<size_t>(e) <= size) whole = static_cast<size_t>(e);
  // The volumes in range travel as their bits; others keep their defaults.
  uint8_t expected[GAME_OPTIONS_SIZE];
  std::memcpy(expected, defaults, GAME_OPTIONS_SIZE);
  std::memcpy(expected, data, whole);
  for (size_t at = 0; at + 4 <= whole && at < 8; at += 4) {
    float v;
    std::memcpy(&v, data + at, 4);
    if (!(v >= 0.0f && v <= 1.0f)) std::memcpy(expected + at, defaults + at, 4);
  }
  // So do 32-bit choices above 2, which renderers would index with.
  static const int choices[] = {16, 20, 24, 28, 36, 40};
  for (int at : choices) {
    if (static_cast<size_t>(at) + 4 > whole) break;
    const uint32_t v = data[at] | data[at + 1] << 8 | data[at + 2] << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
    if (v > GAME_OPTIONS_MAX_CHOICE) std::memcpy(expected + at, defaults + at, 4);
  }
  if (std::memcmp(out, expected, whole) != 0) abort();
  if (std::memcmp(out + whole, defaults + whole, GAME_OPTIONS_SIZE - whole) != 0) abort();
  return 0;
}
