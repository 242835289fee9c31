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

namespace {
// The sprite's alpha at a point of its own (u, v in sprite pixels, centres
// at half steps), blended between the four nearest texels; 0 outside.
float sprite_alpha(const AutomapMaskSprite& s, float u, float v) {
  const float x = u - 0.5f, y = v - 0.5f;
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  const float fx = x - x0, fy = y - y0;
  auto at = [&](int i, int j) -> float {
    if (i < 0 || j < 0 || i >= s.w || j >= s.h) return 0.0f;
    return s.alpha[j * s.w + i];
  };
  const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
  const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
  return top + (bottom - top) * fy;
}
}  // namespace

void automap_mask_cover(uint8_t* cover, int w, int h, const uint8_t* explored, int cells_w, int cells_h, float cell_w,
                        float cell_h, float sprite_w, float sprite_h, const AutomapMaskSprite& sprite) {
  if (!cover || w <= 0 || h <= 0) return;
  std::fill(cover, cover + static_cast<long>(w) * h, uint8_t{0});
  if (!explored || !sprite.alpha || sprite.w <= 0 || sprite.h <= 0 || !(cell_w > 0.0f) || !(cell_h > 0.0f) ||
      !(sprite_w > 0.0f) || !(sprite_h > 0.0f))
    return;
  const int cols = std::min(cells_w, AUTOMAP_GRID), rows = std::min(cells_h, AUTOMAP_GRID);
  const float to_u = sprite.w / sprite_w, to_v = sprite.h / sprite_h;
  for (int cy = 0; cy < rows; cy++)
    for (int cx = 0; cx < cols; cx++) {
      if (!explored[cy * AUTOMAP_GRID + cx]) continue;
      const float left = (cx + 0.5f) * cell_w - sprite_w * 0.5f, top = (cy + 0.5f) * cell_h - sprite_h * 0.5f;
      const int x0 = std::max(0, static_cast<int>(std::floor(left))),
                x1 = std::min(w, static_cast<int>(std::ceil(left + sprite_w)));
      const int y0 = std::max(0, static_cast<int>(std::floor(top))),
                y1 = std::min(h, static_cast<int>(std::ceil(top + sprite_h)));
      for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
          const float a = sprite_alpha(sprite, (x + 0.5f - left) * to_u, (y + 0.5f - top) * to_v);
          if (a <= 0.0f) continue;
          // Stamps join as one shape: each shows the rest of what the
          // others left hidden, by its own share.
          uint8_t& c = cover[static_cast<long>(y) * w + x];
          const float joined = c + a * (255.0f - c) / 255.0f;
          c = static_cast<uint8_t>(std::min(255.0f, joined + 0.5f));
        }
    }
}
