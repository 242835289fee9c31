// Demo step: the demo levels' visibility layers (data/internal/<level>.vis).
// Outdoors the first layer shows everything and the second leaves the tower
// out; indoors each room is a layer of its own beside both together.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/demo_level_layouts.h"

namespace {

bool write_text(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "demo: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool demo_build_sight(const std::string& root) {
  const std::string dir = root + "/data/internal";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return write_text(dir + "/demo_outdoor.vis", DEMO_OUTDOOR_VIS) && write_text(dir + "/demo_indoor.vis", DEMO_INDOOR_VIS);
}

}  // namespace

DEMO_STEP(demo_build_sight, DEMO_ORDER_TABLES + 310);
