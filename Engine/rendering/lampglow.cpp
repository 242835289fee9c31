// Lamp glows.
#include "Engine/rendering/lampglow.h"

#include <algorithm>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d_draw.h"

namespace {

LampGlow Glows[MAX_LAMP_GLOWS];
int Glow_count = 0;
int Glow_bitmap = -1;
const RenderStateWord Glow_state(1, 2, 3, 2, 0, 0);

bool valid(int i) { return i >= 0 && i < Glow_count; }

}  // namespace

void lampglow_init() {
  Glow_bitmap = bm_load("VozidoLampGlow01.tga");
  Glow_count = 0;
}

void lampglow_clear() { Glow_count = 0; }

int lampglow_add(const vector& pos, float radius) {
  // Effects add a glow whenever a source appears and nothing takes one
  // away, so a long level would run past the list: refuse instead.
  if (Glow_count >= MAX_LAMP_GLOWS) return -1;
  Glows[Glow_count] = LampGlow{pos, radius * 5.0f, 0.0f, 0};
  return Glow_count++;
}

void lampglow_set(int index, const vector& pos, float radius) {
  if (!valid(index)) return;
  Glows[index].pos = pos;
  Glows[index].size = radius * 5.0f;
}

void lampglow_fade_in(int index, float seconds) {
  if (!valid(index) || Glows[index].fade >= 1.0f) return;
  Glows[index].fade = std::min(1.0f, Glows[index].fade + seconds * 6.0f);
}

void lampglow_fade_out(int index, float seconds) {
  if (!valid(index) || Glows[index].fade <= 0.0f) return;
  Glows[index].fade = std::max(0.0f, Glows[index].fade - seconds * 3.0f);
}

void lampglow_draw(int index) {
  if (!valid(index) || Glows[index].fade == 0.0f || Glow_bitmap < 0) return;
  gr_set_bitmap(Glow_bitmap);
  gr_3d_draw_sprite(Glows[index].pos, 0.0f, Glows[index].size * Glows[index].fade, Glow_state);
}

const LampGlow* lampglow_get(int index) { return valid(index) ? &Glows[index] : nullptr; }

int lampglow_count() { return Glow_count; }
