#include "Orrimund/screens/automap_cells.h"

#include <algorithm>
#include <cmath>
#include <vector>

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
// Where a stamp's pixel samples the sprite along one axis: the first of the
// two texels it blends (in the sprite padded by a clear texel each side)
// and the second one's weight.
struct Tap {
  int texel;
  float weight;
};
void taps(Tap* out, int first, int count, float start, float scale, int texels) {
  for (int i = 0; i < count; i++) {
    // Texel centres sit at half steps; outside the sprite the clear border.
    const float t = std::clamp((first + i + 0.5f - start) * scale - 0.5f, -1.0f, texels - 0.001f);
    const int t0 = static_cast<int>(std::floor(t));
    out[i] = Tap{t0 + 1, t - t0};
  }
}
}  // namespace

void automap_mask_cover(uint8_t* cover, int w, int h, const uint8_t* explored, int cells_w, int cells_h, float cell_w,
                        float cell_h, float sprite_w, float sprite_h, const AutomapMaskSprite& sprite) {
  if (!cover || w <= 0 || h <= 0) return;
  std::fill(cover, cover + static_cast<long>(w) * h, uint8_t{0});
  if (!explored || !sprite.alpha || sprite.w <= 0 || sprite.h <= 0 || !(cell_w > 0.0f) || !(cell_h > 0.0f) ||
      !(sprite_w > 0.0f) || !(sprite_h > 0.0f))
    return;
  // The sprite inside a clear border, so that blending at its rim needs no
  // bounds test.
  const int pw = sprite.w + 2, ph = sprite.h + 2;
  std::vector<float> padded(static_cast<size_t>(pw) * ph, 0.0f);
  for (int j = 0; j < sprite.h; j++)
    for (int i = 0; i < sprite.w; i++) padded[(j + 1) * pw + i + 1] = sprite.alpha[j * sprite.w + i];
  const int cols = std::min(cells_w, AUTOMAP_GRID), rows = std::min(cells_h, AUTOMAP_GRID);
  const float to_u = sprite.w / sprite_w, to_v = sprite.h / sprite_h;
  std::vector<Tap> xs(static_cast<size_t>(std::ceil(sprite_w)) + 2), ys(static_cast<size_t>(std::ceil(sprite_h)) + 2);
  for (int cy = 0; cy < rows; cy++)
    for (int cx = 0; cx < cols; cx++) {
      if (!explored[cy * AUTOMAP_GRID + cx]) continue;
      const float left = (cx + 0.5f) * cell_w - sprite_w * 0.5f, top = (cy + 0.5f) * cell_h - sprite_h * 0.5f;
      const int x0 = std::max(0, static_cast<int>(std::floor(left))),
                x1 = std::min({w, static_cast<int>(std::ceil(left + sprite_w)), x0 + static_cast<int>(xs.size())});
      const int y0 = std::max(0, static_cast<int>(std::floor(top))),
                y1 = std::min({h, static_cast<int>(std::ceil(top + sprite_h)), y0 + static_cast<int>(ys.size())});
      if (x1 <= x0 || y1 <= y0) continue;
      taps(xs.data(), x0, x1 - x0, left, to_u, sprite.w);
      taps(ys.data(), y0, y1 - y0, top, to_v, sprite.h);
      for (int y = y0; y < y1; y++) {
        const Tap ty = ys[y - y0];
        const float* r0 = &padded[static_cast<size_t>(ty.texel) * pw];
        const float* r1 = r0 + pw;
        uint8_t* row = cover + static_cast<long>(y) * w;
        for (int x = x0; x < x1; x++) {
          const Tap tx = xs[x - x0];
          const float top_a = r0[tx.texel] + (r0[tx.texel + 1] - r0[tx.texel]) * tx.weight;
          const float bottom_a = r1[tx.texel] + (r1[tx.texel + 1] - r1[tx.texel]) * tx.weight;
          const float a = top_a + (bottom_a - top_a) * ty.weight;
          if (a <= 0.0f) continue;
          // Stamps join as one shape: each shows the rest of what the
          // others left hidden, by its own share.
          uint8_t& c = row[x];
          c = static_cast<uint8_t>(std::min(255.0f, c + a * (255.0f - c) / 255.0f + 0.5f));
        }
      }
    }
}
