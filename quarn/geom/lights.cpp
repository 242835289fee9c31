// The dynamic light pool, per-object gathering and per-vertex lighting.
#include "quarn/geom/lights.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"

LightStats Light_stats;

namespace {

constexpr float PI = 3.14159265358979f;

DynLight Lights[MAX_DYN_LIGHTS];
DynLight Used;  // sentinel of the circular list of used lights
int Used_count = 0;
float Ambient[3] = {0.0f, 0.0f, 0.0f};
uint32_t Changes = 0;
int Max_per_object = MAX_DYN_LIGHTS;
bool Gather_static = true;
bool View_space = false;
vector Frame_eye{0.0f, 0.0f, 0.0f};  // the eye where view or frame positions are used
matrix Frame_orient = identity_matrix;  // world directions into that frame

// Pixels of the projected bitmaps of spot lights, locked while the light lives.
struct Projected {
  const uint8_t* pixels;
  const uint8_t* palette;
  int format, w, h;
};
Projected Spot_bitmaps[MAX_DYN_LIGHTS];

void release_projected(int i) {
  if (Spot_bitmaps[i].pixels && Lights[i].bitmap >= 0) bm_unlock(Lights[i].bitmap);
  Spot_bitmaps[i] = Projected{};
}

// One texel as red, green and blue fractions; false for a format that holds
// no colour.
bool texel(const Projected& p, int x, int y, float out[3]) {
  const int bpp = bm_bytes_per_pixel(p.format);
  const uint8_t* t = p.pixels + (static_cast<size_t>(y) * p.w + x) * bpp;
  int r, g, b;
  switch (p.format) {
    case BM_FORMAT_PAL8:
      if (!p.palette) return false;
      r = p.palette[3 * t[0]], g = p.palette[3 * t[0] + 1], b = p.palette[3 * t[0] + 2];
      break;
    case BM_FORMAT_ALPHA8: r = g = b = t[0]; break;
    case BM_FORMAT_565: {
      const int v = t[0] | (t[1] << 8);
      r = ((v >> 11) & 31) * 255 / 31, g = ((v >> 5) & 63) * 255 / 63, b = (v & 31) * 255 / 31;
      break;
    }
    case BM_FORMAT_4444: {
      const int v = t[0] | (t[1] << 8);
      r = ((v >> 8) & 15) * 255 / 15, g = ((v >> 4) & 15) * 255 / 15, b = (v & 15) * 255 / 15;
      break;
    }
    case BM_FORMAT_1555: {
      const int v = t[0] | (t[1] << 8);
      if (v & 0x8000) return false;
      r = ((v >> 10) & 31) * 255 / 31, g = ((v >> 5) & 31) * 255 / 31, b = (v & 31) * 255 / 31;
      break;
    }
    case BM_FORMAT_BGR24:
    case BM_FORMAT_BGRA32: b = t[0], g = t[1], r = t[2]; break;
    default: return false;
  }
  out[0] = r / 255.0f;
  out[1] = g / 255.0f;
  out[2] = b / 255.0f;
  return true;
}

struct Level {
  DynLight* lights[MAX_DYN_LIGHTS];
  int count;
};
Level Levels[MAX_LIGHT_GATHER_DEPTH + 1];
int Top = 0;
int Refused = 0;
bool Reported = false;

bool valid(int index) {
  return index >= 0 && index < MAX_DYN_LIGHTS && (Lights[index].type & LIGHT_KIND_MASK) != LIGHT_KIND_FREE;
}
bool is_static(const DynLight& l) { return (l.type & LIGHT_STATIC) != 0; }
int kind(const DynLight& l) { return l.type & LIGHT_KIND_MASK; }

void changed(const DynLight& l) {
  if (!is_static(l)) Changes++;
}

// Level 0 is every enabled light, kept in step with the pool.
void rebuild_level0() {
  Level& l0 = Levels[0];
  l0.count = 0;
  for (DynLight* l = Used.next; l && l != &Used; l = l->next)
    if (l->type & LIGHT_ENABLED) l0.lights[l0.count++] = l;
}

void set_radii(DynLight& l, float radius, float outer) {
  l.radius = radius;
  l.outer_radius = std::max(outer, radius + 2.0f);
  l.radius_sq = l.radius * l.radius;
  l.outer_radius_sq = l.outer_radius * l.outer_radius;
}

void set_cone(DynLight& l, float inner, float outer) {
  l.inner_angle = inner;
  l.outer_angle = std::max(outer, inner + 0.5f);
  l.inner_cos = -std::cos(l.inner_angle * 0.5f);
  l.outer_cos = -std::cos(l.outer_angle * 0.5f);
}

int take_free() {
  for (int i = 0; i < MAX_DYN_LIGHTS; i++) {
    DynLight& l = Lights[i];
    if (kind(l) != LIGHT_KIND_FREE) continue;
    std::memset(static_cast<void*>(&l), 0, sizeof(DynLight));
    l.bitmap = -1;
    l.projection = identity_matrix;
    l.prev = Used.prev;
    l.next = &Used;
    Used.prev->next = &l;
    Used.prev = &l;
    Used_count++;
    return i;
  }
  return -1;
}

float distance_falloff(const DynLight& l, float d) {
  if (d < l.radius) return 1.0f;
  if (d < l.outer_radius) return 1.0f - (d - l.radius) / (l.outer_radius - l.radius);
  return 0.0f;
}

}  // namespace

void lights_reset() {
  for (int i = 0; i < MAX_DYN_LIGHTS; i++) release_projected(i);
  std::memset(static_cast<void*>(Lights), 0, sizeof(Lights));
  for (DynLight& l : Lights) l.bitmap = -1;
  Used.next = Used.prev = &Used;
  Used_count = 0;
  Top = 0;
  Refused = 0;
  rebuild_level0();
  Changes++;
}

int light_create_point(const vector& position, float radius, float outer_radius, float intensity, float r,
                       float g, float b, bool st) {
  if (!Used.next) lights_reset();
  const int i = take_free();
  if (i < 0) return -1;
  DynLight& l = Lights[i];
  l.type = static_cast<uint16_t>(LIGHT_KIND_POINT | LIGHT_ENABLED | (st ? LIGHT_STATIC : 0));
  l.position = position;
  l.view_position = position;
  l.r = intensity * r;
  l.g = intensity * g;
  l.b = intensity * b;
  set_radii(l, radius, outer_radius);
  rebuild_level0();
  changed(l);
  return i;
}

int light_create_spot(const vector& position, const vector& target, float inner_angle, float outer_angle,
                      float radius, float outer_radius, float intensity, float r, float g, float b, bool st,
                      int bitmap, const matrix* projection) {
  if (!Used.next) lights_reset();
  const int i = take_free();
  if (i < 0) return -1;
  DynLight& l = Lights[i];
  l.type = static_cast<uint16_t>(LIGHT_KIND_SPOT | LIGHT_ENABLED | (st ? LIGHT_STATIC : 0));
  l.position = l.view_position = position;
  l.target = l.view_target = target;
  intensity = std::clamp(intensity, 0.0f, 1.0f);
  l.r = intensity * r;
  l.g = intensity * g;
  l.b = intensity * b;
  set_radii(l, radius, outer_radius);
  set_cone(l, inner_angle, outer_angle);
  l.bitmap = bitmap;
  if (bitmap >= 0 && projection) l.projection = *projection;
  if (bitmap >= 0) {
    uint8_t* pixels = nullptr;
    uint8_t* palette = nullptr;
    const int format = bm_lock(bitmap, &pixels, &palette);
    int w = 0, h = 0;
    bm_get_size(bitmap, &w, &h);
    if (format != BM_FORMAT_NONE && pixels && w > 0 && h > 0)
      Spot_bitmaps[i] = Projected{pixels, palette, format, w, h};
    else if (format != BM_FORMAT_NONE)
      bm_unlock(bitmap);
  }
  rebuild_level0();
  changed(l);
  return i;
}

void light_kill(int index, bool unlock) {
  if (!valid(index)) return;
  DynLight& l = Lights[index];
  const bool st = is_static(l);
  const int k = kind(l);
  if ((k == 1 || k == 4) && l.bitmap >= 0 && unlock) bm_unlock(l.bitmap);
  release_projected(index);
  l.prev->next = l.next;
  l.next->prev = l.prev;
  l.next = l.prev = nullptr;
  l.type = LIGHT_KIND_FREE;
  Used_count--;
  // A light gathered into a level above 0 must not be read after its death.
  for (int t = 1; t <= Top; t++) {
    Level& lv = Levels[t];
    int n = 0;
    for (int j = 0; j < lv.count; j++)
      if (lv.lights[j] != &l) lv.lights[n++] = lv.lights[j];
    lv.count = n;
  }
  rebuild_level0();
  if (!st) Changes++;
}

bool light_get_position(int index, vector& out) {
  if (!valid(index)) return false;
  out = Lights[index].position;
  return true;
}

void light_set_position(int index, const vector& position) {
  if (!valid(index)) return;
  Lights[index].position = position;
  changed(Lights[index]);
}

void light_set_enabled(int index, bool on) {
  if (!valid(index)) return;
  DynLight& l = Lights[index];
  l.type = static_cast<uint16_t>(on ? (l.type | LIGHT_ENABLED) : (l.type & ~LIGHT_ENABLED));
  rebuild_level0();
  changed(l);
}

bool light_get_enabled(int index) { return valid(index) && (Lights[index].type & LIGHT_ENABLED); }

void light_set_static(int index, bool on) {
  if (!valid(index)) return;
  DynLight& l = Lights[index];
  l.type = static_cast<uint16_t>(on ? (l.type | LIGHT_STATIC) : (l.type & ~LIGHT_STATIC));
}

bool light_get_static(int index) { return valid(index) && is_static(Lights[index]); }

void light_set_radii(int index, float radius, float outer_radius) {
  if (!valid(index)) return;
  set_radii(Lights[index], radius, outer_radius);
  changed(Lights[index]);
}

bool light_get_radii(int index, float& radius, float& outer_radius) {
  if (!valid(index)) return false;
  radius = Lights[index].radius;
  outer_radius = Lights[index].outer_radius;
  return true;
}

bool light_get_colour(int index, float& intensity, float& r, float& g, float& b) {
  if (!valid(index)) return false;
  intensity = 1.0f;
  r = Lights[index].r;
  g = Lights[index].g;
  b = Lights[index].b;
  return true;
}

void light_set_colour(int index, float intensity, float r, float g, float b) {
  if (!valid(index)) return;
  DynLight& l = Lights[index];
  l.r = intensity * r;
  l.g = intensity * g;
  l.b = intensity * b;
  changed(l);
}

void light_set_target(int index, const vector& target) {
  if (!valid(index) || kind(Lights[index]) != LIGHT_KIND_SPOT) return;
  Lights[index].target = target;
}

void light_get_target(int index, vector& out) {
  if (!valid(index) || kind(Lights[index]) != LIGHT_KIND_SPOT) {
    out.set(1.0f, 0.0f, 0.0f);
    return;
  }
  out = Lights[index].target;
}

void light_set_cone(int index, float inner_angle, float outer_angle) {
  if (!valid(index) || kind(Lights[index]) != LIGHT_KIND_SPOT) return;
  set_cone(Lights[index], inner_angle, outer_angle);
}

void light_get_cone(int index, float& inner_angle, float& outer_angle) {
  if (!valid(index) || kind(Lights[index]) != LIGHT_KIND_SPOT) {
    inner_angle = 0.0f;
    outer_angle = 2.0f * PI;
    return;
  }
  inner_angle = Lights[index].inner_angle;
  outer_angle = Lights[index].outer_angle;
}

void lights_set_all_enabled(bool on) {
  for (DynLight* l = Used.next; l && l != &Used; l = l->next)
    l->type = static_cast<uint16_t>(on ? (l->type | LIGHT_ENABLED) : (l->type & ~LIGHT_ENABLED));
  rebuild_level0();
  Changes++;
}

const DynLight* light_get(int index) { return valid(index) ? &Lights[index] : nullptr; }

void lights_set_ambient(float r, float g, float b) {
  Ambient[0] = r;
  Ambient[1] = g;
  Ambient[2] = b;
  Changes++;
}

void lights_get_ambient(float& r, float& g, float& b) {
  r = Ambient[0];
  g = Ambient[1];
  b = Ambient[2];
}

void lights_set_max_per_object(int n) { Max_per_object = std::clamp(n, 0, MAX_DYN_LIGHTS); }
void lights_set_gather_static(bool on) { Gather_static = on; }
void lights_set_view_space(bool on) { View_space = on; }
uint32_t lights_change_count() { return Changes; }
int lights_used_count() { return Used_count; }

void light_contribution(const DynLight& l, const vector& p, const vector* normal, float& r, float& g,
                        float& b) {
  const vector& pos = View_space ? l.view_position : l.position;
  const vector d = pos - p;
  const float dist = d.length();
  float k = normal ? vector::dot(*normal, d) : dist;
  if (!(k > 0.0f) || dist == 0.0f) return;
  k /= dist;
  float f = distance_falloff(l, dist) * k;
  if (f <= 0.0f) return;
  if (kind(l) == LIGHT_KIND_SPOT) {
    const vector& target = View_space ? l.view_target : l.target;
    vector axis = target - pos;
    if (axis.normalize_safe_len() == 0.0f) return;
    // The cosine of the angle between the light's axis and the way to the point.
    const float c = -vector::dot(d, axis) / dist;
    const float inner = -l.inner_cos, outer = -l.outer_cos;
    float cone;
    if (c >= inner)
      cone = 1.0f;
    else if (c <= outer)
      cone = 0.0f;
    else
      cone = (c - outer) / (inner - outer);
    f = std::min(f * cone, 1.0f);
    const bool pooled = &l >= Lights && &l < Lights + MAX_DYN_LIGHTS;
    const Projected& proj = pooled ? Spot_bitmaps[&l - Lights] : Projected{};
    if (proj.pixels && f > 0.0f) {
      // The bitmap spans twice the outer radius across the projection's
      // x and y, centred on its axis.
      vector local = p - pos;
      if (View_space) local.unrotate(Frame_orient);
      local.rotate(l.projection);
      const float u = 0.5f + local.x / (2.0f * l.outer_radius);
      const float v = 0.5f - local.y / (2.0f * l.outer_radius);
      float t[3];
      if (!(u >= 0.0f && u < 1.0f && v >= 0.0f && v < 1.0f)) return;
      if (!texel(proj, static_cast<int>(u * proj.w), static_cast<int>(v * proj.h), t)) return;
      r += f * l.r * t[0];
      g += f * l.g * t[1];
      b += f * l.b * t[2];
      return;
    }
  }
  r += f * l.r;
  g += f * l.g;
  b += f * l.b;
}

int lights_gather(const vector& point, float radius) {
  if (!Used.next) lights_reset();
  if (Top >= MAX_LIGHT_GATHER_DEPTH) {
    if (!Reported) {
      std::fprintf(stderr, "lights: gathered deeper than MAX_LIGHT_GATHER_DEPTH; objects lit by the level below\n");
      Reported = true;
    }
    Refused++;
    return 0;
  }
  const Level& below = Levels[Top];
  Level& lv = Levels[Top + 1];
  lv.count = 0;
  const bool view_was = View_space;
  View_space = false;
  for (int i = 0; i < below.count; i++) {
    DynLight* l = below.lights[i];
    if (!(l->type & LIGHT_ENABLED)) continue;
    if (kind(*l) != LIGHT_KIND_POINT && kind(*l) != LIGHT_KIND_SPOT) continue;
    if (is_static(*l) && !Gather_static) continue;
    const float reach = l->outer_radius + radius;
    if (vector_distance_squared(l->position, point) >= reach * reach) continue;
    float r = 0.0f, g = 0.0f, b = 0.0f;
    light_contribution(*l, point, nullptr, r, g, b);
    l->strength = std::max(r, std::max(g, b));
    lv.lights[lv.count++] = l;
  }
  View_space = view_was;
  std::sort(lv.lights, lv.lights + lv.count,
            [](const DynLight* a, const DynLight* b) { return a->strength > b->strength; });
  if (lv.count > Max_per_object) lv.count = Max_per_object;
  Top++;
  return lv.count;
}

void lights_pop() {
  if (Refused > 0) {
    Refused--;
    return;
  }
  if (Top > 0) Top--;
}

int lights_gather_depth() { return Top; }

void lights_to_view() {
  vector eye;
  matrix orient;
  gr_3d_get_view(eye, orient);
  lights_to_frame(eye, orient);
  Frame_eye.set(0.0f, 0.0f, 0.0f);
}

void lights_to_frame(const vector& position, const matrix& orient) {
  const Level& lv = Levels[Top];
  for (int i = 0; i < lv.count; i++) {
    DynLight* l = lv.lights[i];
    l->view_position = l->position - position;
    l->view_position.rotate(orient);
    l->view_target = l->target - position;
    l->view_target.rotate(orient);
  }
  vector eye;
  matrix view;
  gr_3d_get_view(eye, view);
  Frame_eye = eye - position;
  Frame_eye.rotate(orient);
  Frame_orient = orient;
}

int lights_count() {
  if (!Used.next) lights_reset();
  return Levels[Top].count;
}

const DynLight* light_at(int i) {
  if (i < 0 || i >= lights_count()) return nullptr;
  return Levels[Top].lights[i];
}

bool light_info(int i, vector& position, float& radius, float& outer_radius, float& r, float& g, float& b,
                bool& st) {
  const DynLight* l = light_at(i);
  if (!l) return false;
  position = View_space ? l->view_position : l->position;
  radius = l->radius;
  outer_radius = l->outer_radius;
  r = l->r;
  g = l->g;
  b = l->b;
  st = is_static(*l);
  return true;
}

void light_vertex_colour(uint8_t& r, uint8_t& g, uint8_t& b, const vector& point, const vector* normal,
                         bool include_static, bool no_ambient, int) {
  float c[3] = {0.0f, 0.0f, 0.0f};
  if (!no_ambient) {
    c[0] = Ambient[0];
    c[1] = Ambient[1];
    c[2] = Ambient[2];
  }
  Light_stats.calls++;
  const int n = lights_count();
  const Level& lv = Levels[Top];
  for (int i = 0; i < n; i++) {
    const DynLight& l = *lv.lights[i];
    if (!(l.type & LIGHT_ENABLED)) continue;
    if (is_static(l) ? !include_static : no_ambient) continue;
    Light_stats.visited++;
    light_contribution(l, point, normal, c[0], c[1], c[2]);
  }
  uint8_t* out[3] = {&r, &g, &b};
  for (int k = 0; k < 3; k++) *out[k] = static_cast<uint8_t>(std::clamp(c[k], 0.0f, 1.0f) * 255.0f);
}

void light_sphere_map(float& u, float& v, const vector& point, const vector& normal) {
  vector eye = Frame_eye;
  if (!View_space) {
    matrix view;
    gr_3d_get_view(eye, view);
  }
  vector d = point - eye;
  d.normalize_safe();
  vector r = d - normal * (2.0f * vector::dot(d, normal));
  r.normalize_safe();
  u = (std::atan2(r.z, r.x) / PI + 1.0f) * 0.5f;
  v = (1.0f - r.y) * 0.5f;
}

void lights_debug_draw() {
  if (!Used.next) return;
  const Color keep = gr_screen.current_color;
  gr_set_color(0, 255, 0, 255);
  for (DynLight* l = Used.next; l != &Used; l = l->next) gr_3d_draw_sphere(l->position, 0.25f, Gr_debug_state);
  gr_set_color_rec(keep);
}
