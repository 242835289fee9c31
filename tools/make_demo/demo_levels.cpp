// Demo step: the two demo levels, built by the level builder, and the level
// textures they name (the fence's has alpha, so its faces take spheres from
// both sides).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/image_writers.h"

namespace {

// A level artist who targets every card keeps texel levels that survive
// 16-bit texture formats: each channel one of the 32 levels a 5-bit channel
// widens back to, so the card that keeps 5 bits shows what the card that
// keeps 8 does.
uint8_t card_level(double v) {
  const int k = std::clamp(static_cast<int>(v * 31.0 / 255.0 + 0.5), 0, 31);
  return static_cast<uint8_t>(k * 255 / 31);
}

// A 64 x 64 texture from a colour and a pattern: blue, green, red (alpha).
std::vector<uint8_t> pattern(int r, int g, int b, int kind, bool alpha) {
  std::vector<uint8_t> out;
  for (int y = 0; y < 64; y++) {
    for (int x = 0; x < 64; x++) {
      double v = 1.0;
      if (kind == 0) v = 0.8 + 0.2 * std::sin(x * 0.7) * std::cos(y * 0.9);   // grass
      if (kind == 1) v = ((x / 16 + y / 8) % 2 == 0 || y % 8 == 0) ? 0.7 : 1.0;  // stone courses
      if (kind == 2) v = 0.8 + 0.2 * std::sin(y * 0.4 + std::sin(x * 0.2));     // wood grain
      out.push_back(card_level(b * v));
      out.push_back(card_level(g * v));
      out.push_back(card_level(r * v));
      // The fence: slats with gaps between them.
      if (alpha) out.push_back((x % 16) < 10 ? 255 : 0);
    }
  }
  return out;
}

bool demo_build_levels(const std::string& root) {
  const std::string maps = root + "/data/maps/levels";
  const std::string levels = root + "/data/models/levels";
  std::error_code ec;
  std::filesystem::create_directories(maps, ec);
  std::filesystem::create_directories(levels, ec);
  struct {
    const char* name;
    int r, g, b, kind;
    bool alpha;
  } textures[] = {{"demo_grass", 70, 140, 60, 0, false},  {"demo_stone", 150, 145, 135, 1, false},
                  {"demo_wood", 140, 95, 55, 2, false},   {"demo_floor", 120, 110, 100, 1, false},
                  {"demo_fence", 160, 120, 80, 2, true}};
  for (const auto& t : textures) {
    const std::vector<uint8_t> px = pattern(t.r, t.g, t.b, t.kind, t.alpha);
    if (!tga_write_file(maps + "/" + t.name + ".tga", px.data(), 64, 64, t.alpha ? 32 : 24)) {
      std::fprintf(stderr, "demo: cannot write %s.tga\n", t.name);
      return false;
    }
  }
  LevelBuilder outdoor;
  demo_level_outdoor(outdoor);
  LevelBuilder indoor;
  demo_level_indoor(indoor);
  return outdoor.write_file(levels + "/" + DEMO_LEVEL_OUTDOOR) && indoor.write_file(levels + "/" + DEMO_LEVEL_INDOOR);
}

}  // namespace

DEMO_STEP(demo_build_levels, DEMO_ORDER_TABLES + 300);
