#include "tools/writers/icam_writer.h"

#include <cstdio>
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>

#include "tools/writers/item_model_writer.h"
#include "tools/writers/table_writers.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

namespace {

void section(std::string& out, const std::vector<IcamRecord>& list) {
  char line[160];
  for (const IcamRecord& r : list) {
    out += "$Name: \"" + r.name + "\"\n";
    snprintf(line, sizeof line, "$Offset: %g %g %g\n$PBH: %g %g %g\n", r.offset[0], r.offset[1], r.offset[2],
             r.pbh[0], r.pbh[1], r.pbh[2]);
    out += line;
  }
  out += "#End\n";
}

}  // namespace

std::string icam_table_text(const std::vector<IcamRecord>& items, const std::vector<IcamRecord>& characters) {
  std::string out;
  section(out, items);
  section(out, characters);
  return out;
}

namespace {

// Where a model with these bounds (min x, y, z, max x, y, z) stands so that
// its centre is in the middle of a w x h window of the screens' 40-degree
// views and all of it shows, turned by the pitch, bank and heading given.
IcamRecord fitted(const std::string& name, const std::array<float, 6>& b, float pitch, float heading, int w, int h) {
  IcamRecord r;
  r.name = name;
  r.pbh[0] = pitch;
  r.pbh[2] = heading;
  constexpr float DEG = 0.017453f;
  const matrix m = matrix::from_angles(pitch * DEG, 0.0f, (heading + 180.0f) * DEG);
  const vector c((b[0] + b[3]) / 2, (b[1] + b[4]) / 2, (b[2] + b[5]) / 2);
  vector wc;
  c.unrotated(wc, m);
  float hx = 0, hy = 0, hz = 0;
  for (int k = 0; k < 8; k++) {
    const vector corner(b[k & 1 ? 3 : 0], b[k & 2 ? 4 : 1], b[k & 4 ? 5 : 2]);
    vector p;
    corner.unrotated(p, m);
    hx = std::max(hx, std::fabs(p.x - wc.x));
    hy = std::max(hy, std::fabs(p.y - wc.y));
    hz = std::max(hz, std::fabs(p.z - wc.z));
  }
  const float t = std::tan(20.0f * DEG);
  const float z = 1.15f * std::max(hx, hy * static_cast<float>(w) / static_cast<float>(h)) / t + hz;
  r.offset[0] = -wc.x;
  r.offset[1] = -wc.y;
  r.offset[2] = z - wc.z;
  return r;
}

// The inventory window an item is shown in (640x480 sizes).
void inventory_window(const ItemRecord& item, int* w, int* h) {
  struct Size {
    const char* slot;
    int w, h;
  };
  static const Size sizes[] = {{"neck", 56, 56},   {"finger", 36, 36}, {"hands", 60, 56}, {"feet", 100, 66},
                               {"shield", 60, 100}, {"torso", 100, 100}, {"legs", 100, 100}, {"heavy", 110, 210}};
  *w = 60, *h = 136;  // the weapon window
  for (const Size& s : sizes)
    if (item.slot == s.slot) *w = s.w, *h = s.h;
}

bool write_table(const std::string& root, const char* file, const std::string& text) {
  std::ofstream f(root + "/data/tables/" + file, std::ios::binary);
  f << text;
  if (!f) {
    fprintf(stderr, "cannot write %s/data/tables/%s\n", root.c_str(), file);
    return false;
  }
  return true;
}

}  // namespace

bool icam_write_demo_tables(const std::string& root) {
  // Each model is fitted to the window its screen shows it in: the
  // inventory's slot windows and the member's column, the buy and sell
  // screen's and the info popup's square-ish view, the status screen's box.
  std::vector<IcamRecord> inv_items, bs_items;
  for (const ItemRecord& item : table_demo_items()) {
    const auto bounds = item_model_bounds(item_model_for(item));
    int w, h;
    inventory_window(item, &w, &h);
    const bool weapon = item.type == "Weapon";
    inv_items.push_back(fitted(item.name, bounds, weapon ? 0.0f : 15.0f, 25.0f, w, h));
    bs_items.push_back(fitted(item.name, bounds, weapon ? 0.0f : 20.0f, 30.0f, 160, 160));
  }
  // The tallest hero, arms out to the sides.
  const std::array<float, 6> hero = {-0.4f, 0.0f, -0.2f, 0.4f, 2.2f, 0.2f};
  std::vector<IcamRecord> inv_heroes, status_heroes;
  for (int kind = 0; kind < 4; kind++) {
    const std::string name = table_demo_hero(kind).name;
    inv_heroes.push_back(fitted(name, hero, 0.0f, 0.0f, 118, 250));
    status_heroes.push_back(fitted(name, hero, 0.0f, -20.0f, 160, 190));
  }
  return write_table(root, "inv_cameras.tbl", icam_table_text(inv_items, inv_heroes)) &&
         write_table(root, "bs_cameras.tbl", icam_table_text(bs_items, {})) &&
         write_table(root, "status_cameras.tbl", icam_table_text({}, status_heroes));
}
