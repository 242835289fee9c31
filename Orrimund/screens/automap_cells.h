#pragma once
// The automap's explored cells: 16-unit squares of the box between a level's
// "$mapUpperLeft" and "$mapLowerRight" nodes, one bit each in the level's
// flag store, 64 by 64 per layer.
#include <cstdint>

constexpr int AUTOMAP_GRID = 64;
constexpr float AUTOMAP_CELL_SCALE = 0.0625f;  // 1 / 16 world units
constexpr int AUTOMAP_LAST_LEVEL = 50;

struct AutomapExtent {
  float ul_x, ul_z;  // upper left
  float lr_x, lr_z;  // lower right
};

void automap_cell_counts(const AutomapExtent& e, int* width, int* height);
// The cell of a world point; false when it lies outside the map's cells (or
// beyond the 64 a layer holds), so a point off the map marks nothing rather
// than another row's, layer's or level's bit.
bool automap_cell_of(const AutomapExtent& e, float x, float z, int* cx, int* cy);

// Level 0..50 and a layer below the level's layer count, else nothing (or
// not explored). Marking marks the paired level too (7/49, 30/35, 31/36) when
// both have the same layer count.
void automap_mark_cell(int level, int layer, int cx, int cy, bool value);
bool automap_cell_explored(int level, int layer, int cx, int cy);
// Marks the cell under a world point on a layer (none below 0).
void automap_reveal_point(int level, int layer, const AutomapExtent& e, float x, float z);

// The map's reveal: the soft mask sprite stamped, centred, on every explored
// cell of a layer bitmap; `cover` (w x h, one byte a pixel) gets how much of
// each pixel shows, 0 hidden to 255 shown, overlapping stamps joining as one
// soft shape. Cells and sprite are measured in the bitmap's pixels;
// `explored` holds AUTOMAP_GRID x AUTOMAP_GRID flags, row by row.
struct AutomapMaskSprite {
  const uint8_t* alpha;  // w x h, row by row
  int w, h;
};
void automap_mask_cover(uint8_t* cover, int w, int h, const uint8_t* explored, int cells_w, int cells_h, float cell_w,
                        float cell_h, float sprite_w, float sprite_h, const AutomapMaskSprite& sprite);
