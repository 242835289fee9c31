// Snow.
#include "Engine/rendering/snow.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "Engine/rendering/levelvis.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"

bool Snow_enabled = true;
bool Snow_render = true;

CONSOLE_BOOL_VARIABLE(Snow_cmd, "snow", "Toggles Snow_enabled", Snow_enabled);
CONSOLE_BOOL_VARIABLE(Snow_render_cmd, "snow_render", "Toggles Snow_render", Snow_render);

namespace {

SnowFlake Blocks[SNOW_BLOCKS][SNOW_FLAKES];
uint8_t Block_used[13];  // bit j of byte k: block 8k + j
SnowCell Cells[SNOW_GRID * SNOW_GRID];
SnowCell* Grid[SNOW_GRID][SNOW_GRID];  // [column][row]
vector Drift[SNOW_FLAKES];
float Top = 0.0f, Bottom = 0.0f;
int Rotation = 0;
float Accumulator = 0.0f;
int Flake_bitmap = -1;
bool Active = false;
bool Needs_layout = false;
const RenderStateWord Snow_state(2, 2, 3, 2, 1, 3);

int block_take() {
  for (int b = 0; b < SNOW_BLOCKS; b++) {
    if (Block_used[b >> 3] & (1u << (b & 7))) continue;
    Block_used[b >> 3] |= static_cast<uint8_t>(1u << (b & 7));
    return b;
  }
  return -1;
}

void block_give(int b) {
  if (b >= 0) Block_used[b >> 3] &= static_cast<uint8_t>(~(1u << (b & 7)));
}

// Takes or gives back the cell's block by whether the view sees its column;
// true when it is left without one.
bool visibility(SnowCell& c) {
  const vector lo((static_cast<float>(c.x) - 0.5f) * SNOW_CELL, Bottom, (static_cast<float>(c.z) - 0.5f) * SNOW_CELL);
  const vector hi((static_cast<float>(c.x) + 0.5f) * SNOW_CELL, Top, (static_cast<float>(c.z) + 0.5f) * SNOW_CELL);
  if (gr_3d_box_culled(lo, hi)) {
    block_give(c.block);
    c.block = -1;
  } else if (c.block < 0) {
    c.block = block_take();
  }
  return c.block < 0;
}

void lay_out(const SnowCell& c, int n) {
  SnowFlake* flakes = Blocks[c.block];
  for (int i = 0; i < n; i++) {
    SnowFlake& f = flakes[(Rotation + i) % SNOW_FLAKES];
    f.drift = static_cast<uint8_t>(std::clamp(static_cast<int>(frand() * SNOW_FLAKES), 0, SNOW_FLAKES - 1));
    const float offset = static_cast<float>(n - i) * 0.375f;
    const vector& d = Drift[f.drift];
    f.pos = vector(static_cast<float>(c.x) * SNOW_CELL + offset * d.x, Top + offset * d.y,
                   static_cast<float>(c.z) * SNOW_CELL + offset * d.z);
    f.pos.x += frand_range(-5.0f, 5.0f);
    f.pos.z += frand_range(-5.0f, 5.0f);
  }
}

void refresh(SnowCell& c) {
  if (!visibility(c)) lay_out(c, SNOW_FLAKES);
}

void lay_grid(int cx, int cz) {
  for (int i = 0; i < SNOW_GRID; i++)
    for (int j = 0; j < SNOW_GRID; j++) {
      SnowCell& c = *Grid[i][j];
      c.x = cx - 7 + i;
      c.z = cz - 7 + j;
      refresh(c);
    }
  Needs_layout = false;
}

void scroll_x(int dir) {
  for (int j = 0; j < SNOW_GRID; j++) {
    if (dir > 0) {
      SnowCell* first = Grid[0][j];
      for (int i = 0; i + 1 < SNOW_GRID; i++) Grid[i][j] = Grid[i + 1][j];
      Grid[SNOW_GRID - 1][j] = first;
      first->x += SNOW_GRID;
      refresh(*first);
    } else {
      SnowCell* last = Grid[SNOW_GRID - 1][j];
      for (int i = SNOW_GRID - 1; i > 0; i--) Grid[i][j] = Grid[i - 1][j];
      Grid[0][j] = last;
      last->x -= SNOW_GRID;
      refresh(*last);
    }
  }
}

void scroll_z(int dir) {
  for (int i = 0; i < SNOW_GRID; i++) {
    if (dir > 0) {
      SnowCell* first = Grid[i][0];
      for (int j = 0; j + 1 < SNOW_GRID; j++) Grid[i][j] = Grid[i][j + 1];
      Grid[i][SNOW_GRID - 1] = first;
      first->z += SNOW_GRID;
      refresh(*first);
    } else {
      SnowCell* last = Grid[i][SNOW_GRID - 1];
      for (int j = SNOW_GRID - 1; j > 0; j--) Grid[i][j] = Grid[i][j - 1];
      Grid[i][0] = last;
      last->z -= SNOW_GRID;
      refresh(*last);
    }
  }
}

}  // namespace

void snow_init() {
  Flake_bitmap = bm_load("SnowFlake.tga");
  for (int i = 0; i < SNOW_GRID; i++)
    for (int j = 0; j < SNOW_GRID; j++) {
      SnowCell& c = Cells[i * SNOW_GRID + j];
      c = SnowCell{0, 0, -1};
      Grid[i][j] = &c;
    }
  std::fill(std::begin(Block_used), std::end(Block_used), uint8_t{0});
  for (vector& d : Drift) {
    vector r(frand_range(-1.0f, 1.0f), frand_range(-1.0f, 1.0f), frand_range(-1.0f, 1.0f));
    r.normalize_safe();
    d = r * 0.5f;
    d.y -= 1.5f;
  }
  Rotation = 0;
  Accumulator = 0.0f;
  Active = true;
  Needs_layout = true;
}

void snow_disable() { Active = false; }

bool snow_active() { return Active; }

int snow_cell_of(float coordinate) {
  int c = static_cast<int>(coordinate * 0.2f + 0.5f);
  if (coordinate <= -0.5f) c -= 1;
  return c;
}

void snow_volume_for(const vector& eye, const vector& f, float far_dist, float vfov_deg, float* top, float* bottom) {
  const float h = std::sqrt(f.x * f.x + f.z * f.z);
  if (h == 0.0f) {
    if (f.y >= 0.0f) *top = eye.y + far_dist, *bottom = eye.y;
    else *top = eye.y, *bottom = eye.y - far_dist;
    return;
  }
  const float pitch = std::atan(f.y / h);
  const float half = vfov_deg * 0.017453292f * 0.5f;
  *top = std::max(eye.y, eye.y + far_dist * std::sin(pitch + half));
  *bottom = std::min(eye.y, eye.y + far_dist * std::sin(pitch - half));
}

void snow_update_at(float seconds, const vector& eye, const vector& forward, float far_dist, float vfov_deg) {
  if (!Active || !Snow_enabled) return;
  snow_volume_for(eye, forward, far_dist, vfov_deg, &Top, &Bottom);
  const int cx = snow_cell_of(eye.x), cz = snow_cell_of(eye.z);
  const SnowCell& centre = *Grid[7][7];
  if (Needs_layout || std::abs(cx - centre.x) >= 2 || std::abs(cz - centre.z) >= 2) {
    lay_grid(cx, cz);
  } else {
    if (cx > centre.x) scroll_x(1);
    else if (cx < centre.x) scroll_x(-1);
    const SnowCell& c2 = *Grid[7][7];
    if (cz > c2.z) scroll_z(1);
    else if (cz < c2.z) scroll_z(-1);
  }
  Accumulator += seconds * 2.6666667f;
  const int n = static_cast<int>(Accumulator);
  for (SnowCell& c : Cells) {
    const bool had = c.block >= 0;
    if (visibility(c)) continue;
    if (!had) {
      lay_out(c, SNOW_FLAKES);
      continue;
    }
    for (SnowFlake& f : Blocks[c.block]) f.pos += Drift[f.drift] * seconds;
    if (n > 0) lay_out(c, std::min(n, SNOW_FLAKES));
  }
  Rotation = (Rotation + n) % SNOW_FLAKES;
  Accumulator -= static_cast<float>(n);
}

void snow_update(float seconds) {
  if (!Active || !Snow_enabled) return;
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  float hfov = 90.0f, vfov = 67.5f;
  gr_3d_get_fov(hfov, vfov);
  snow_update_at(seconds, frame.cam_pos, frame.cam_orient.forward, fog_get_far(), vfov);
}

void snow_draw() {
  if (!Active || !Snow_enabled || !Snow_render || Flake_bitmap < 0) return;
  gr_set_bitmap(Flake_bitmap);
  gr_set_color(255, 255, 255, 255);
  for (const SnowCell& c : Cells) {
    if (c.block < 0) continue;
    for (const SnowFlake& f : Blocks[c.block]) gr_3d_draw_sprite(f.pos, 0.0f, 0.07f, Snow_state);
  }
}

const SnowCell& snow_cell(int column, int row) { return *Grid[column][row]; }

const SnowFlake* snow_block(int block) { return block >= 0 && block < SNOW_BLOCKS ? Blocks[block] : nullptr; }

int snow_blocks_in_use() {
  int n = 0;
  for (int b = 0; b < SNOW_BLOCKS; b++) n += (Block_used[b >> 3] >> (b & 7)) & 1;
  return n;
}

void snow_volume(float* top, float* bottom) {
  *top = Top;
  *bottom = Bottom;
}
