// Demo steps: the demo's effect files under data/effects and the effect list
// "demo_effects.arr" at the root, where the game reads it at start-up; the
// effects' own bitmaps under data/maps/effects.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/effect_demo.h"
#include "tools/writers/image_writers.h"

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

bool demo_build_effect_maps(const std::string& root) {
  const std::string maps = root + "/data/maps/effects";
  std::error_code ec;
  std::filesystem::create_directories(maps, ec);
  const int size = 16;
  const std::vector<uint8_t> px = demo_spark_pixels(size);
  if (!tga_write_file(maps + "/" + DEMO_SPARK_BITMAP, px.data(), size, size, 32)) {
    std::fprintf(stderr, "make_demo: effects: cannot write %s\n", DEMO_SPARK_BITMAP);
    return false;
  }
  return true;
}
}  // namespace

DEMO_STEP(demo_build_effects, DEMO_ORDER_TABLES + 300);
DEMO_STEP(demo_build_effect_maps, DEMO_ORDER_IMAGES + 60);
