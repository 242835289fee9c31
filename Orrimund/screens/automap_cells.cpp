#include "Orrimund/screens/automap_cells.h"

#include <algorithm>
#include <cmath>

#include "levelscripts/level_flags.h"

void automap_cell_counts(const AutomapExtent& e, int* width, int* height) {
  *width = static_cast<int>(std::fabs(e.ul_x - e.lr_x) * AUTOMAP_CELL_SCALE);
  *height = static_cast<int>(std::fabs(e.ul_z - e.lr_z) * AUTOMAP_CELL_SCALE);
}

bool automap_cell_of(const AutomapExtent& e, float x, float z, int* cx, int* cy) {
  int w, h;
  automap_cell_counts(e, &w, &h);
  const float fx = (e.ul_x - x) * AUTOMAP_CELL_SCALE;
  const float fy = (z - e.ul_z) * AUTOMAP_CELL_SCALE;
  // Compared before truncating: -0.5 would truncate to cell 0.
  if (!(fx >= 0.0f && fy >= 0.0f)) return false;
  if (fx >= static_cast<float>(std::min(AUTOMAP_GRID, w)) || fy >= static_cast<float>(std::min(AUTOMAP_GRID, h)))
    return false;
  *cx = static_cast<int>(fx);
  *cy = static_cast<int>(fy);
  return true;
}

namespace {
bool cell_valid(int level, int layer, int cx, int cy) {
  return level >= 0 && level <= AUTOMAP_LAST_LEVEL && layer >= 0 && layer < level_automap_layers(level) && cx >= 0 &&
         cx < AUTOMAP_GRID && cy >= 0 && cy < AUTOMAP_GRID;
}
int cell_bit(int layer, int cx, int cy) { return (layer * AUTOMAP_GRID + cy) * AUTOMAP_GRID + cx; }
int paired_level(int level) {
  switch (level) {
    case 7: return 49;
    case 49: return 7;
    case 30: return 35;
    case 35: return 30;
    case 31: return 36;
    case 36: return 31;
    default: return -1;
  }
}
}  // namespace

void automap_mark_cell(int level, int layer, int cx, int cy, bool value) {
  if (!cell_valid(level, layer, cx, cy)) return;
  level_automap_bit_set(level, cell_bit(layer, cx, cy), value);
  const int pair = paired_level(level);
  if (pair >= 0 && level_automap_layers(pair) == level_automap_layers(level))
    level_automap_bit_set(pair, cell_bit(layer, cx, cy), value);
}

bool automap_cell_explored(int level, int layer, int cx, int cy) {
  return cell_valid(level, layer, cx, cy) && level_automap_bit_get(level, cell_bit(layer, cx, cy));
}

void automap_reveal_point(int level, int layer, const AutomapExtent& e, float x, float z) {
  int cx, cy;
  if (layer >= 0 && automap_cell_of(e, x, z, &cx, &cy)) automap_mark_cell(level, layer, cx, cy, true);
}
