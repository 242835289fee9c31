// Demo step: what living entities draw beyond the figures: the heroes'
// default underwear and skin textures (one per texture layer, plus
// Ruvizo's alternate arm) and the plate armour's heavy textures, in each
// hero's colours so a player can tell the layers apart. The new game's
// level gets a monster layout of grubs near the party's start points.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Orrimund/mlayout.h"
#include "tools/make_demo/demo_steps.h"
#include "tools/writers/vim_writer.h"
#include "tools/writers/image_writers.h"

namespace {

struct HeroColours {
  const char* files[6];
  int r, g, b;
};
const HeroColours kHeroTextures[4] = {
    {{"Ruvizo05.tga", "Torso_Uwear_Ruvz.tga", nullptr, "Thigh_Uwear_Ruvz.tga", "Leg_Uwear_Ruvz.tga",
      "Arms_Uwear_Ruvz.tga"},
     170, 60, 50},
    {{"Zazuru02.tga", "Torso_Uwear_Zazr.tga", nullptr, "Thigh_Uwear_Zazr.tga", "Leg_Uwear_Zazr.tga",
      "Arms_Uwear_Zazr.tga"},
     60, 120, 180},
    {{"Rivud06.tga", "Torso_Uwear_Rivd.tga", "Cape_Uwear_Rivd.tga", "Thigh_Uwear_Rivd.tga", "Leg_Uwear_Rivd.tga",
      "Arms_Uwear_Rivd.tga"},
     90, 150, 70},
    {{"Rvda06.tga", "Torso_Uwear_Rvda.tga", "Cape_Uwear_Rvda.tga", "Thigh_Uwear_Rvda.tga", "Leg_Uwear_Rvda.tga",
      "Arms_Uwear_Rvda.tga"},
     200, 170, 80},
};

// 64 x 64, blue green red: cloth in stripes, skin plain, plate in bands.
std::vector<uint8_t> texture(int r, int g, int b, int kind) {
  std::vector<uint8_t> px;
  for (int y = 0; y < 64; y++) {
    for (int x = 0; x < 64; x++) {
      double v = 1.0;
      if (kind == 1) v = (y / 4) % 2 ? 0.85 : 1.0;
      if (kind == 2) v = 0.75 + 0.25 * ((x / 8 + y / 8) % 2);
      px.push_back(static_cast<uint8_t>(b * v));
      px.push_back(static_cast<uint8_t>(g * v));
      px.push_back(static_cast<uint8_t>(r * v));
    }
  }
  return px;
}

bool write(const std::string& dir, const char* name, int r, int g, int b, int kind) {
  const std::vector<uint8_t> px = texture(r, g, b, kind);
  if (tga_write_file(dir + name, px.data(), 64, 64, 24)) return true;
  std::fprintf(stderr, "make_demo: entities: cannot write %s\n", name);
  return false;
}

bool demo_build_entities(const std::string& root) {
  const std::string dir = root + "/data/maps/characters/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const HeroColours& h : kHeroTextures) {
    for (int layer = 0; layer < 6; layer++) {
      if (!h.files[layer]) continue;
      // Skin in a lighter shade than the cloth.
      const bool skin = layer == 0;
      if (!write(dir, h.files[layer], skin ? 230 : h.r, skin ? 190 : h.g, skin ? 160 : h.b, skin ? 0 : 1)) return false;
    }
  }
  // Grubs face the party from a few steps away.
  MlayoutFile layout;
  layout.level = "rand-forest01";
  const matrix facing(vector(-1, 0, 0), vector(0, 1, 0), vector(0, 0, -1));
  for (const vector& at : {vector(3.5f, 0, 4.5f), vector(-1.5f, 0, 5.0f), vector(5.0f, 0, 2.0f)})
    layout.records.push_back({5, "Grub", at, facing});
  const std::string internal = root + "/data/internal/";
  std::filesystem::create_directories(internal, ec);
  if (!writer_put_file(internal + "rand-forest01.mlo", mlayout_encode(layout))) {
    std::fprintf(stderr, "make_demo: entities: cannot write rand-forest01.mlo\n");
    return false;
  }
  return write(dir, "Arms_Underwear1A_Ruvz.tga", 230, 190, 160, 0) &&
         write(dir, "plate_ruvz.tga", 150, 155, 165, 2) && write(dir, "plate_zazr.tga", 150, 155, 165, 2) &&
         write(dir, "plate_rivd.tga", 150, 155, 165, 2);
}

}  // namespace

DEMO_STEP(demo_build_entities, DEMO_ORDER_IMAGES + 60);
