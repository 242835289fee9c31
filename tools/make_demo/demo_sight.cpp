// Demo step: the demo levels' visibility layers (data/internal/<level>.vis),
// the per-level detail table and the object shadow table (the blob shadow
// bitmap comes with the images). Outdoors the first layer shows everything
// and the second leaves the tower out; indoors each room is a layer of its
// own beside both.
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
  const std::string tables = root + "/data/tables";
  std::filesystem::create_directories(tables, ec);
  return write_text(dir + "/demo_outdoor.vis", DEMO_OUTDOOR_VIS) && write_text(dir + "/demo_indoor.vis", DEMO_INDOOR_VIS) &&
         write_text(tables + "/detail_levels.tbl",
                    "\"demo_outdoor\" 1.5 +UnlockMedium\r\n"
                    "\"demo_indoor\" 1.0 +UnlockHigh +NoSmallMeshCulling\r\n") &&
         write_text(tables + "/shadows.tbl",
                    "#Object Shadow info\r\n"
                    "$Object: \"crate01\"\r\n$Radius: 1.5\r\n$Scale: 1.0\r\n+Prop:\r\n"
                    "$Object: \"crate02\"\r\n$Radius: 1.2\r\n$Scale: 1.0\r\n+Prop:\r\n"
                    "#End\r\n");
}

}  // namespace

DEMO_STEP(demo_build_sight, DEMO_ORDER_TABLES + 310);
