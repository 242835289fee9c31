// Demo step: the blood splots a blow leaves on the ground, in three sizes,
// under data/maps/effects: a dark red blot with soft, uneven edges.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/image_writers.h"

namespace {

std::vector<uint8_t> splot_pixels(int size, int lobes) {
  std::vector<uint8_t> px(static_cast<size_t>(size) * size * 4, 0);
  const float c = (size - 1) * 0.5f;
  for (int y = 0; y < size; y++) {
    for (int x = 0; x < size; x++) {
      const float dx = (x - c) / c, dy = (y - c) / c;
      const float r = std::sqrt(dx * dx + dy * dy);
      const float edge = 0.7f + 0.15f * std::sin(lobes * std::atan2(dy, dx));
      const float a = r < edge ? 1.0f : r < edge + 0.15f ? 1.0f - (r - edge) / 0.15f : 0.0f;
      uint8_t* p = &px[(static_cast<size_t>(y) * size + x) * 4];
      p[0] = 10;   // blue
      p[1] = 10;   // green
      p[2] = 120;  // red
      p[3] = static_cast<uint8_t>(a * 220.0f);
    }
  }
  return px;
}

bool demo_build_blood_splots(const std::string& root) {
  const std::string maps = root + "/data/maps/effects/";
  std::error_code ec;
  std::filesystem::create_directories(maps, ec);
  const struct {
    const char* name;
    int size, lobes;
  } splots[] = {{"BloodSplot-small02.tga", 16, 3}, {"BloodSplot-med02.tga", 32, 5}, {"BloodSplot-large02.tga", 64, 7}};
  for (const auto& s : splots) {
    const std::vector<uint8_t> px = splot_pixels(s.size, s.lobes);
    if (!tga_write_file(maps + s.name, px.data(), s.size, s.size, 32)) {
      std::fprintf(stderr, "make_demo: combat: cannot write %s\n", s.name);
      return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_blood_splots, DEMO_ORDER_IMAGES + 70);
