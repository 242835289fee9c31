#pragma once
// The end-to-end effect scenes' common ground: a fresh scratch root to hold
// the demo's effect files and the screenshots, and effect memory brought up
// as a level brings it up.
#include <cstdint>
#include <filesystem>

#include "quarn/vfile/preload.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/os/memory.h"
#include "tests/support/test_files.h"

// The test's scratch root, emptied, with a screenshots folder in it.
inline std::filesystem::path effects_scratch_root(const char* name) {
  const std::filesystem::path tmp = test_scratch_root(name);
  std::filesystem::remove_all(tmp);
  std::filesystem::create_directories(tmp / "screenshots");
  return tmp;
}

// The preload queue and a level arena of its own, then every effect file the
// list names read in; answers effects_init's result. The arena outlives the
// test, as a level's does the level.
inline int effects_level_init() {
  alignas(64) static uint8_t level_bytes[1 << 18];
  static MemArena level;
  preload_init();
  level.init(level_bytes, sizeof level_bytes, "level");
  effects_set_level_arena(&level);
  return effects_init();
}
