#include "tools/writers/icam_writer.h"

#include <cstdio>
#include <fstream>

#include "tools/writers/table_writers.h"

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

bool icam_write_demo_tables(const std::string& root) {
  // Demo item meshes are half-unit boxes: a short distance, tipped toward
  // the camera so the top shows.
  std::vector<IcamRecord> items, heroes;
  for (const ItemRecord& item : table_demo_items()) {
    IcamRecord r;
    r.name = item.name;
    r.offset[1] = -0.1f;
    r.offset[2] = 1.6f;
    r.pbh[0] = 25.0f;
    r.pbh[2] = 30.0f;
    items.push_back(r);
  }
  for (int kind = 0; kind < 4; kind++) {
    IcamRecord r;
    r.name = table_demo_hero(kind).name;
    r.offset[1] = -0.9f;
    r.offset[2] = 3.2f;
    heroes.push_back(r);
  }
  const std::string text = icam_table_text(items, heroes);
  for (const char* file : {"bs_cameras.tbl", "inv_cameras.tbl", "status_cameras.tbl"}) {
    std::ofstream f(root + "/data/tables/" + file, std::ios::binary);
    f << text;
    if (!f) {
      fprintf(stderr, "cannot write %s/data/tables/%s\n", root.c_str(), file);
      return false;
    }
  }
  return true;
}
