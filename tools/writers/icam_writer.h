#pragma once
// Item camera tables (bs_cameras.tbl, inv_cameras.tbl, status_cameras.tbl):
// an item section and a character-type section, each closed by "#End".
#include <string>
#include <vector>

struct IcamRecord {
  std::string name;
  float offset[3] = {0, 0, 0};
  float pbh[3] = {0, 0, 0};  // pitch, bank, heading in degrees
};

std::string icam_table_text(const std::vector<IcamRecord>& items, const std::vector<IcamRecord>& characters);
// The three tables of the demo: every demo item and the four heroes.
bool icam_write_demo_tables(const std::string& root);
