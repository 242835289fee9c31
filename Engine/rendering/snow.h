#pragma once
// Falling snow around the camera. The ground is cut into 5-unit columns; a
// 15 x 15 grid of them follows the camera and every column the view sees
// holds a block of 32 flakes from a pool of 100. Flakes drift along one of
// 32 directions drawn when snow starts and are laid again from the top of
// the snow volume in a steady rotation.
//
// The rule a caller must know: snow runs from snow_init (a level script)
// until snow_disable; snow_update steps it once a frame and snow_draw draws
// it from the scene pass. Nothing is allocated while it snows.
#include <cstdint>

#include "quarn/math/vector.h"

constexpr int SNOW_GRID = 15;
constexpr int SNOW_BLOCKS = 100;
constexpr int SNOW_FLAKES = 32;
constexpr float SNOW_CELL = 5.0f;

struct SnowFlake {
  vector pos;
  uint8_t drift;
};
struct SnowCell {
  int x, z;
  int block;  // -1 none
};

extern bool Snow_enabled;  // "snow"
extern bool Snow_render;   // "snow_render"

void snow_init();
void snow_disable();
bool snow_active();
// Steps the snow for the camera given (tests) or the current 3D frame's.
void snow_update_at(float seconds, const vector& eye, const vector& forward, float far_dist, float vfov_deg);
void snow_update(float seconds);
void snow_draw();

// What the tests look at.
const SnowCell& snow_cell(int column, int row);  // [column][row], [7][7] the centre
const SnowFlake* snow_block(int block);
int snow_blocks_in_use();
void snow_volume(float* top, float* bottom);
// The camera's cell along one axis.
int snow_cell_of(float coordinate);
// The snow volume for a camera (top, bottom).
void snow_volume_for(const vector& eye, const vector& forward, float far_dist, float vfov_deg, float* top,
                     float* bottom);
