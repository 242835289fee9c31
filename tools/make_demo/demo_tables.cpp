// Demo step: every data table the game reads at start-up, under
// <root>/data/tables (the writers' demo tables), and a small mesh for every
// demo item under <root>/data/models/items, so that items page in.
#include <filesystem>
#include <set>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/icam_writer.h"
#include "tools/writers/table_writers.h"
#include "tools/writers/vim_writer.h"
#include "tools/writers/wave_writer.h"

namespace {

// A flat box; weapons carry the two tags they are laid on the ground by.
VimWriterMesh item_mesh(bool weapon) {
  VimWriterMesh m;
  VimWriterGroup g;
  const float s = 0.25f;
  const float corners[8][3] = {{-s, 0, -s}, {s, 0, -s}, {s, 0, s}, {-s, 0, s},
                               {-s, s, -s}, {s, s, -s}, {s, s, s}, {-s, s, s}};
  for (const auto& c : corners) {
    g.positions.push_back({c[0], c[1], c[2]});
    g.normals.push_back({0, 1, 0});
    g.uvs.push_back({c[0] > 0 ? 1.0f : 0.0f, c[2] > 0 ? 1.0f : 0.0f});
  }
  const uint32_t faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                 {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  for (const auto& f : faces) {
    VimWriterFace face;
    face.v[0] = f[0], face.v[1] = f[1], face.v[2] = f[2];
    g.faces.push_back(face);
  }
  m.groups.push_back(g);
  m.radius = 0.5f;
  m.centre = {0, s / 2, 0};
  if (weapon) {
    VimWriterTag a, b;
    a.name = "$drop-ground01";
    b.name = "$drop-ground02";
    b.position = {0.2f, 0, 0};
    m.tags = {a, b};
  }
  return m;
}

bool demo_build_tables(const std::string& root) {
  if (!table_write_demo_tables(root)) return false;
  if (!icam_write_demo_tables(root)) return false;
  std::set<std::string> written;
  std::error_code ec;
  std::filesystem::create_directories(root + "/data/models/items", ec);
  for (const ItemRecord& item : table_demo_items()) {
    if (!written.insert(item.model).second) continue;
    if (!vim_write_file(root + "/data/models/items/" + item.model, item_mesh(item.type == "Weapon"))) return false;
  }
  // The built-in footstep sounds every character type without its own uses:
  // a short thud per foot and ground surface.
  std::filesystem::create_directories(root + "/data/sounds/pc/footsteps", ec);
  const char* const surfaces[5] = {"wood_d", "stone_h", "grass_a", "sand_a", "wet_a"};
  for (int foot = 0; foot < 2; foot++) {
    for (int s = 0; s < 5; s++) {
      const std::string file = std::string(foot ? "right_" : "left_") + surfaces[s] + ".wav";
      const auto samples = wave_noise(22050, 1, 0.08, 0.3 + 0.05 * s, static_cast<uint32_t>(foot * 5 + s + 1));
      if (!wave_write_file(root + "/data/sounds/pc/footsteps/" + file, wave_build_pcm(samples, 1, 22050, 16)))
        return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_tables, DEMO_ORDER_TABLES);
