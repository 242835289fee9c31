#pragma once
// Lamp glows: camera-facing halos at the world's light sources, one entry
// per source, all with one bitmap. A glow grows in while its source is seen
// and shrinks away while it is hidden: the fade scales the size, not the
// transparency.
//
// The rule a caller must know: the list holds 300 entries and is never
// thinned one by one; lampglow_add answers -1 once it is full, and the
// caller then has no glow to fade or draw.
#include "quarn/math/vector.h"

constexpr int MAX_LAMP_GLOWS = 300;

struct LampGlow {
  vector pos;
  float size = 0.0f;  // the source's radius x 5
  float fade = 0.0f;  // 0 (not drawn) .. 1
  int word = 0;
};

// Loads "VozidoLampGlow01.tga" and empties the list.
void lampglow_init();
void lampglow_clear();
// Index of the new glow (fade 0); -1 when the list is full.
int lampglow_add(const vector& pos, float radius);
void lampglow_set(int index, const vector& pos, float radius);
void lampglow_fade_in(int index, float seconds);
void lampglow_fade_out(int index, float seconds);
void lampglow_draw(int index);
const LampGlow* lampglow_get(int index);
int lampglow_count();
