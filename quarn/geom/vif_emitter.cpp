#include "quarn/geom/vif_emitter.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/effect_emitter.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/math/curves.h"
#include "quarn/math/floatops.h"
#include "quarn/os/memory.h"

namespace {
vif_particle_emitter g_pool[MAX_VIF_EMITTERS];
// The static budget: two buffers, one current; compaction copies into the other.
VifParticle g_static[2][MAX_VIF_STATIC_PARTICLES];
int g_current_buffer = 0;
int g_static_used = 0;
int g_level_bytes = 0;

bool read_keyset(const EffectImage& img, uint32_t off, VifKeySet& k) {
  k.count = img.u8(off + VIF_KEYSET_COUNT);
  if (k.count > VIF_MAX_KEYS) return false;
  for (int i = 0; i < VIF_MAX_KEYS; i++) {
    k.value[i] = img.f32(off + 4 * static_cast<uint32_t>(i));
    k.time[i] = img.f32(off + 48 + 4 * static_cast<uint32_t>(i));
  }
  return true;
}

void list_push(VifParticle* p, VifList& l, int32_t i) {
  p[i].prev = l.last;
  p[i].next = -1;
  if (l.last >= 0) p[l.last].next = i;
  else l.first = i;
  l.last = i;
}
void list_unlink(VifParticle* p, VifList& l, int32_t i) {
  if (p[i].prev >= 0) p[p[i].prev].next = p[i].next;
  else l.first = p[i].next;
  if (p[i].next >= 0) p[p[i].next].prev = p[i].prev;
  else l.last = p[i].prev;
  p[i].next = p[i].prev = -1;
}

// The segment of a key sequence that holds t: index i with time[i] <= t <= time[i+1];
// -1 when t lies past the last segment (or before the first).
int find_segment(const float* time, int count, float t) {
  for (int i = 0; i + 1 < count; i++)
    if (time[i] <= t && t <= time[i + 1]) return i;
  return -1;
}


float varied(float v, float var) { return var != 0.0f ? v + frand_range(-var, var) : v; }
}  // namespace

bool vif_emitter_def_at(const EffectImage& img, uint32_t off, VifEmitterDef& d) {
  d = VifEmitterDef{};
  if (off == 0 || !img.has(off, VIF_EMITTER_DEF_SIZE)) return false;
  d.offset = off;
  d.name = img.name_at(off + VIF_NAME);
  d.parent = img.name_at(off + VIF_PARENT);
  d.bitmap_name = img.name_at(off + VIF_BITMAP_NAME);
  d.centre.set(img.f32(off + VIF_CENTRE), img.f32(off + VIF_CENTRE + 4), img.f32(off + VIF_CENTRE + 8));
  for (int i = 0; i < 9; i++) d.orient.m(i) = img.f32(off + VIF_ORIENT + 4 * static_cast<uint32_t>(i));
  d.size = img.f32(off + VIF_SIZE);
  d.radius = img.f32(off + VIF_RADIUS);
  d.half_height = img.f32(off + VIF_HALF_HEIGHT);
  d.speed = img.f32(off + VIF_SPEED);
  d.speed_variation = img.f32(off + VIF_SPEED_VAR);
  d.lifetime = img.f32(off + VIF_LIFETIME);
  d.lifetime_variation = img.f32(off + VIF_LIFETIME_VAR);
  d.grow_end = img.f32(off + VIF_RAMPS);
  d.shrink_start = img.f32(off + VIF_RAMPS + 4);
  d.fade_in_end = img.f32(off + VIF_RAMPS + 8);
  d.fade_out_start = img.f32(off + VIF_RAMPS + 12);
  d.peak_opacity = img.f32(off + VIF_RAMPS + 16);
  d.count = img.u16(off + VIF_COUNT);
  d.flags = img.u16(off + VIF_FLAGS);
  d.bitmap = img.i32(off + VIF_BITMAP);
  d.force_point.set(img.f32(off + VIF_FORCE_POINT), img.f32(off + VIF_FORCE_POINT + 4), img.f32(off + VIF_FORCE_POINT + 8));
  d.force_direction.set(img.f32(off + VIF_FORCE_DIR), img.f32(off + VIF_FORCE_DIR + 4), img.f32(off + VIF_FORCE_DIR + 8));
  if (!read_keyset(img, off + VIF_FORCE_KEYS, d.force) || !read_keyset(img, off + VIF_INTERVAL_KEYS, d.interval))
    return false;
  const uint32_t path = off + VIF_PATH_KEYS;
  d.path.count = img.u8(path + VIF_PATH_COUNT);
  if (d.path.count > VIF_MAX_KEYS) return false;
  for (int i = 0; i < VIF_MAX_KEYS; i++) {
    const uint32_t p = path + 12 * static_cast<uint32_t>(i);
    d.path.position[i].set(img.f32(p), img.f32(p + 4), img.f32(p + 8));
    d.path.time[i] = img.f32(path + VIF_PATH_TIMES + 4 * static_cast<uint32_t>(i));
  }
  return true;
}

void vif_emitter_def_reset(EffectImage& img, uint32_t off) {
  const char* name = img.name_at(off + VIF_BITMAP_NAME);
  int handle = -1;
  if (name && *name) {
    handle = bm_load(name);
    if (handle < 0) handle = bm_load(name);
  }
  img.put_u32(off + VIF_BITMAP, static_cast<uint32_t>(handle));
}

void vif_emitter_pool_reset() {
  for (auto& e : g_pool) {
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    e.first_index = -1;
    e.live_list = e.free_list = VifList{};
  }
  g_current_buffer = 0;
  g_static_used = 0;
  g_level_bytes = 0;
}
void vif_particle_emitters_init() { vif_emitter_pool_reset(); }
void vif_particle_emitters_reset() { vif_emitter_pool_reset(); }

int vif_static_used() { return g_static_used; }
int vif_level_bytes() { return g_level_bytes; }
int vif_emitter_free_count() {
  int n = 0;
  for (const auto& e : g_pool)
    if (!(e.flags & VIF_RUN_IN_USE)) n++;
  return n;
}

void vif_static_compact() {
  const int to = 1 - g_current_buffer;
  int used = 0;
  for (auto& e : g_pool) {
    if (!(e.flags & VIF_RUN_IN_USE) || (e.flags & VIF_RUN_LEVEL) || !e.particles) continue;
    // Links are indices into the emitter's own array, so the array moves whole.
    std::memmove(&g_static[to][used], e.particles, sizeof(VifParticle) * static_cast<size_t>(e.count));
    e.particles = &g_static[to][used];
    e.first_index = used;
    used += e.count;
  }
  g_current_buffer = to;
  g_static_used = used;
}

vif_particle_emitter* vif_emitter_instantiate(const VifEmitterDef& def, bool level) {
  vif_particle_emitter* e = nullptr;
  for (auto& r : g_pool)
    if (!(r.flags & VIF_RUN_IN_USE)) {
      e = &r;
      break;
    }
  if (!e) return nullptr;
  const int count = def.count;
  VifParticle* particles = nullptr;
  uint16_t flags = VIF_RUN_IN_USE;
  int first = -1;
  if (level) {
    std::printf("VIF INSTANTIATE : LEVEL\n");
    MemArena* arena = mem_get_arena();
    const uint32_t bytes = static_cast<uint32_t>(count) * sizeof(VifParticle);
    // Without a level arena there is nowhere the level empties as a whole.
    particles = arena ? static_cast<VifParticle*>(arena->alloc(bytes)) : nullptr;
    if (!particles && count > 0) return nullptr;
    g_level_bytes += static_cast<int>(bytes);
    flags |= VIF_RUN_LEVEL;
  } else {
    std::printf("VIF INSTANTIATE : STATIC\n");
    if (g_static_used + count > MAX_VIF_STATIC_PARTICLES) {
      std::printf("COMPACTING VIF PARTICLES\n");
      vif_static_compact();
      std::printf("DONE COMPACTING\n");
      if (g_static_used + count > MAX_VIF_STATIC_PARTICLES) {
        std::printf(
            "Skipping vif particle instantiation due to lack of static particles (needed : %d   available : %d)!\n",
            count, MAX_VIF_STATIC_PARTICLES - g_static_used);
        return nullptr;
      }
    }
    first = g_static_used;
    particles = &g_static[g_current_buffer][first];
    g_static_used += count;
  }
  std::memset(static_cast<void*>(e), 0, sizeof *e);
  e->flags = flags;
  e->first_index = first;
  e->particles = particles;
  e->count = count;
  e->live_list = e->free_list = VifList{};
  for (int i = 0; i < count; i++) {
    std::memset(static_cast<void*>(&particles[i]), 0, sizeof(VifParticle));
    list_push(particles, e->free_list, i);
  }
  e->position.zero();
  e->orient.identity();
  e->tag_position.zero();
  e->tag_orient.identity();
  return e;
}

void vif_emitter_release(vif_particle_emitter* e, const VifEmitterDef&) {
  if (!e || !(e->flags & VIF_RUN_IN_USE)) return;
  if (e->flags & VIF_RUN_LEVEL) g_level_bytes -= e->count * static_cast<int>(sizeof(VifParticle));
  for (int i = 0; i < e->count; i++) e->particles[i].flags = 0;
  e->live_list = e->free_list = VifList{};
  e->live = 0;
  e->flags = 0;
  e->particles = nullptr;
}

void vif_emitter_path_position(vector& out, const VifPath& path, float t) {
  if (path.count <= 0) {
    out.zero();
    return;
  }
  if (path.count == 1) {
    out = path.position[0];
    return;
  }
  const int i = find_segment(path.time, path.count, t);
  if (i < 0) {
    out = t < path.time[0] ? path.position[0] : path.position[path.count - 1];
    return;
  }
  const float span = path.time[i + 1] - path.time[i];
  const float f = span > 0.0f ? (t - path.time[i]) / span : 0.0f;
  if (path.count < 3) {
    out = path.position[i] + (path.position[i + 1] - path.position[i]) * f;
    return;
  }
  catmull_rom_curve curve;
  curve.set(path.count, path.position);
  curve.evaluate(&out, static_cast<float>(i) + f);
}

float vif_emitter_path_length(const VifPath& path) {
  float m = 0.0f;
  for (int i = 0; i < path.count; i++) m = fl_max(m, path.time[i]);
  return m;
}

float vif_emitter_key_value(const VifKeySet& k, float t, bool reciprocal) {
  if (k.count <= 0) return 0.0f;
  if (k.count == 1) return k.value[0];
  const int i = find_segment(k.time, k.count, t);
  if (i < 0) return t < k.time[0] ? k.value[0] : k.value[k.count - 1];
  const float span = k.time[i + 1] - k.time[i];
  const float f = span > 0.0f ? (t - k.time[i]) / span : 0.0f;
  const float a = k.value[i], b = k.value[i + 1];
  // Interpolating the rate keeps the spawn rate changing linearly; a key of 0
  // (no spawning) has no rate, so that segment falls back to the values.
  if (reciprocal && a > 0.0f && b > 0.0f) return 1.0f / (1.0f / a + f * (1.0f / b - 1.0f / a));
  return a + f * (b - a);
}

void vif_emitter_bounds(const VifEmitterDef& def, vector& centre, float& radius) {
  if (def.flags & VIF_RECTANGLE)
    radius = std::sqrt(4.0f * def.radius * def.radius + 4.0f * def.half_height * def.half_height);
  else
    radius = 2.0f * def.radius;
  if ((def.flags & VIF_PATH) && def.path.count > 0) {
    vector mean{0, 0, 0};
    for (int i = 0; i < def.path.count; i++) mean += def.path.position[i];
    mean.scale(1.0f / static_cast<float>(def.path.count));
    float far = 0.0f;
    for (int i = 0; i < def.path.count; i++) far = fl_max(far, vector_distance(mean, def.path.position[i]));
    centre = mean;
    radius += far;
  } else {
    centre = def.centre;
  }
}

float vif_size_factor(float p, float grow_end, float shrink_start) {
  return effect_item_size_factor(p, grow_end, shrink_start);
}
float vif_opacity_factor(float p, float fade_in_end, float fade_out_start) {
  return effect_item_size_factor(p, fade_in_end, fade_out_start);
}

void vif_emitter_update(vif_particle_emitter* e, const VifEmitterDef& def, bool spawn, const vector* parent_pos,
                        const matrix* parent_orient, float t, float dt) {
  if (!e || !(e->flags & VIF_RUN_IN_USE)) return;
  VifParticle* p = e->particles;
  // 1. Centre.
  vector local = def.centre;
  if (def.flags & VIF_PATH) vif_emitter_path_position(local, def.path, t);
  matrix frame_orient;
  vector frame_pos{0, 0, 0};
  if (parent_orient) frame_orient = *parent_orient;
  else frame_orient.identity();
  if (parent_pos) frame_pos = *parent_pos;
  if ((e->flags & VIF_RUN_BOUND) && !(e->flags & VIF_RUN_SUSPENDED) && e->bound) {
    e->bound->get_tag_transform(e->tag, frame_orient, frame_pos, &e->tag_orient, &e->tag_position);
    frame_orient = e->tag_orient;
    frame_pos = e->tag_position;
  }
  vector centre;
  local.unrotated(centre, frame_orient);
  centre += frame_pos;
  e->position = centre;
  effect_orient_in_frame(e->orient, def.orient, frame_orient);

  // 2. Force.
  float magnitude = 0.0f;
  const bool force = (def.flags & VIF_FORCE) != 0;
  const bool radial = (def.flags & VIF_FORCE_RADIAL) != 0;
  vector force_dir = def.force_direction;
  vector force_point = centre + def.force_point;
  if (force) magnitude = vif_emitter_key_value(def.force, e->time, false) * dt;

  // 3. Spawning.
  const float interval = vif_emitter_key_value(def.interval, t, true);
  if (e->last_interval <= 0.0f && interval > 0.0f) e->timer = interval;
  e->timer = fl_min(e->timer, interval) - dt;
  e->last_interval = interval;
  if (spawn && e->timer <= 0.0f && interval > 0.0f) {
    int n = 1;
    if (interval < dt) {
      const float whole = std::floor(dt / interval);
      n = whole >= static_cast<float>(e->count) ? e->count : static_cast<int>(whole);
      e->timer = interval - (dt - static_cast<float>(n) * interval);
    } else {
      e->timer = interval - dt;
    }
    for (int k = 0; k < n && e->free_list.first >= 0; k++) {
      const int32_t i = e->free_list.first;
      list_unlink(p, e->free_list, i);
      list_push(p, e->live_list, i);
      VifParticle& q = p[i];
      q.flags = 1;
      q.age = 0.0f;
      q.lifetime = varied(def.lifetime, def.lifetime_variation);
      q.random = frand();
      e->live++;
      if (def.flags & VIF_RECTANGLE) {
        q.position = centre + e->orient.right * frand_range(-def.radius, def.radius) +
                     e->orient.up * frand_range(-def.half_height, def.half_height);
        q.velocity = e->orient.forward * varied(def.speed, def.speed_variation);
      } else {
        const vector u = vector::random_unit();
        q.position = centre + u * (2.0f * def.radius);
        q.velocity = u * varied(def.speed, def.speed_variation);
      }
    }
  }

  // 4. Motion and ageing, over the particle array in memory order (each
  // particle moves on its own, so the order changes nothing); then the live
  // list is walked only when some died, to free them in the list's order,
  // which decides where the next spawns land.
  const bool gravity = (def.flags & VIF_GRAVITY) != 0;
  const int count = e->count;
  int died = 0;
  for (int i = 0; i < count; i++) {
    VifParticle& q = p[i];
    if (!(q.flags & 1)) continue;
    if (q.age < q.lifetime) {
      // Worked on in registers and stored whole: reading back a vector one
      // of whose parts was just stored alone stalls the load.
      vector v = q.velocity;
      if (gravity) v.y -= 9.8f * dt;
      if (force) {
        vector dir = force_dir;
        if (radial) {
          dir = q.position - force_point;
          dir.normalize_safe();
        }
        v += dir * magnitude;
      }
      q.velocity = v;
      q.position += v * dt;
      q.age = fl_min(q.age + dt, q.lifetime);
    }
    died += !(q.age < q.lifetime);
  }
  for (int32_t i = e->live_list.first; died > 0 && i >= 0;) {
    const int32_t next = p[i].next;
    VifParticle& q = p[i];
    if (!(q.age < q.lifetime)) {
      q.flags = 0;
      list_unlink(p, e->live_list, i);
      list_push(p, e->free_list, i);
      e->live--;
      died--;
    }
    i = next;
  }
  // 5.
  e->time = t;
}

void vif_emitter_draw(const vif_particle_emitter* e, const VifEmitterDef& def) {
  if (!e || !(e->flags & VIF_RUN_IN_USE)) return;
  const float base = static_cast<float>(gr_mesh_distance_alpha(255, e->position)) / 255.0f;
  const RenderStateWord state = def.bitmap < 0 ? Gr_preset[25] : (def.flags & VIF_ADDITIVE) ? Gr_preset[15] : Gr_preset[19];
  if (def.bitmap >= 0) gr_set_bitmap(def.bitmap);
  const VifParticle* p = e->particles;
  for (int32_t i = e->live_list.first; i >= 0; i = p[i].next) {
    const VifParticle& q = p[i];
    const float life = q.lifetime > 0.0f ? q.age / q.lifetime : 1.0f;
    const float size = vif_size_factor(life, def.grow_end, def.shrink_start) * 2.0f * def.size;
    const float opacity =
        vif_opacity_factor(life, def.fade_in_end, def.fade_out_start) * def.peak_opacity * base * 128.0f;
    int a = static_cast<int>(opacity);
    a = a < 0 ? 0 : (a > 255 ? 255 : a);
    gr_set_color(255, 255, 255, a);
    gr_3d_draw_sprite(q.position, 0.0f, size, state);
  }
}
