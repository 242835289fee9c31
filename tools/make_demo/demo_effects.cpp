// Demo step: the demo's effect files under data/effects and the effect list
// "demo_effects.arr" at the root, where the game reads it at start-up.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/effect_demo.h"

namespace {
bool demo_build_effects(const std::string& root) {
  const std::string effects = root + "/data/effects";
  std::error_code ec;
  std::filesystem::create_directories(effects, ec);
  if (!demo_effects_write(effects, root)) {
    std::fprintf(stderr, "make_demo: effects: cannot write the effect files\n");
    return false;
  }
  return true;
}
}  // namespace

DEMO_STEP(demo_build_effects, DEMO_ORDER_TABLES + 300);
