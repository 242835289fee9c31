#include "quarn/geom/effect_emitter.h"

#include <cmath>
#include <cstring>

#include "quarn/ca/character_instance.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/math/floatops.h"
#include "quarn/math/noise.h"
#include "quarn/math/quaternion.h"

namespace {
EffectEmitter g_emitters[MAX_EFFECT_EMITTER_RECORDS];
EffectEmitter* g_free_emitters = nullptr;
EffectItem g_items[MAX_EFFECT_ITEMS];
EffectItem* g_free_items = nullptr;
EffectNode g_nodes[MAX_EFFECT_NODE_RECORDS];
effect_material_sample_fn g_material = nullptr;

constexpr float kGravity = 9.8f;
constexpr float kMaxSubStep = 1.0f / 30.0f;
constexpr float kFieldScale = 0.0625f;
constexpr float kMinDistance = 0.0001f;
constexpr float kTwoPi = 6.28318530718f;
constexpr float kMaxAge = 32767.0f / 256.0f;

int16_t to_8_8(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= kMaxAge) return 32767;
  return static_cast<int16_t>(v * 256.0f);
}
float from_8_8(int16_t v) { return static_cast<float>(v) / 256.0f; }


void frames_around(float frame, int& f0, int& f1, float& t) {
  if (!(frame >= 0.0f)) frame = 0.0f;
  if (frame > EFFECT_KEY_MAX_FRAME - 1) frame = EFFECT_KEY_MAX_FRAME - 1;
  f0 = static_cast<int>(frame);
  f1 = f0 + 1;
  t = frame - static_cast<float>(f0);
}

// The keyed transform at a fractional frame, blended between its whole frames.
void keyed_transform(const EffectVectorTrack& pt, EffectVectorState* ps, const EffectRotationTrack& rt,
                     EffectRotationState* rs, int f0, int f1, float t, vector& pos, matrix& orient) {
  const vector p0 = effect_vector_track_value(pt, ps[0], f0);
  const vector p1 = effect_vector_track_value(pt, ps[1], f1);
  pos = p0 + (p1 - p0) * t;
  quaternion q0, q1, q;
  packed_quaternion a = effect_rotation_track_value(rt, rs[0], f0);
  packed_quaternion b = effect_rotation_track_value(rt, rs[1], f1);
  // An all-zero rotation track means no rotation.
  if (a.x == 0 && a.y == 0 && a.z == 0 && a.w == 0) a = identity_packed_quaternion;
  if (b.x == 0 && b.y == 0 && b.z == 0 && b.w == 0) b = identity_packed_quaternion;
  a.to_quaternion(q0);
  b.to_quaternion(q1);
  quaternion_slerp(q, q0, q1, t);
  q.normalize();
  q.to_matrix(orient);
}

void item_list_push(EffectEmitter* e, EffectItem* it) {
  it->prev = nullptr;
  it->next = e->items;
  if (e->items) e->items->prev = it;
  e->items = it;
}

float rate_at(const EffectEmitter* e, EffectKeyState& st, int frame) {
  const int cycle = e->def.rate_cycle;
  const int f = cycle > 0 ? frame % cycle : frame;
  const int16_t raw = effect_key_track_value(e->def.rate, st, f);
  if (raw == EFFECT_KEY_NO_VALUE || raw <= 0) return 0.0f;
  return static_cast<float>(raw) / 4096.0f * 320.0f;
}

// Items per frame summed over [from, to): whole frames at their rate, the
// two partial ends in proportion.
float rate_over(EffectEmitter* e, float from, float to) {
  float sum = 0.0f;
  if (!(to > from)) return 0.0f;
  int k = static_cast<int>(std::floor(from));
  const int last = static_cast<int>(std::floor(to));
  if (last - k > EFFECT_KEY_MAX_FRAME) k = last - EFFECT_KEY_MAX_FRAME;
  for (; k <= last; k++) {
    const float a = fl_max(from, static_cast<float>(k));
    const float b = fl_min(to, static_cast<float>(k + 1));
    if (b <= a) continue;
    sum += rate_at(e, e->rate_keys, k < 0 ? 0 : k) * (b - a);
  }
  return sum;
}

vector item_direction(const EffectEmitter* e) {
  const float s1 = e->param[0] / 4096.0f, s2 = e->param[1] / 4096.0f;
  const float a = static_cast<int16_t>(e->param[3]) / 4096.0f, b = static_cast<int16_t>(e->param[4]) / 4096.0f;
  vector dir;
  if (e->def.shape() == 1) {
    dir = vector::random_unit() * (a + frand_range(-b, b));
  } else {
    // Angles: a cone of half-angle B about the up axis, A long; straight up when B is 0.
    if (b == 0.0f) {
      dir.set(0.0f, a, 0.0f);
    } else {
      const float theta = frand_range(0.0f, b), phi = frand_range(0.0f, kTwoPi);
      dir.set(std::sin(theta) * std::cos(phi) * a, std::cos(theta) * a, std::sin(theta) * std::sin(phi) * a);
    }
  }
  dir.x += frand_range(-s1 * 0.5f, s1 * 0.5f);
  dir.z += frand_range(-s2 * 0.5f, s2 * 0.5f);
  if (e->def.flags & EMITTER_ORIENTED) dir.unrotate(e->orient);
  return dir;
}

void spawn_item(EffectEmitter* e, EffectItem* it, float fraction, float initial_age, const vector& emitter_velocity) {
  const int shape = e->def.shape();
  it->age = to_8_8(initial_age);
  if (shape == 0 || shape == 1) {
    const vector dir = item_direction(e);
    it->velocity = dir + emitter_velocity;
    it->position = e->prev_position + (e->position - e->prev_position) * fraction + it->velocity * initial_age;
    const float ticks = static_cast<float>(e->def.lifetime_ticks);
    const float spread = ticks * e->def.lifetime_variation;
    it->lifetime = to_8_8((ticks + frand_range(-spread, spread)) / EFFECT_TICKS_PER_SECOND);
    if (it->lifetime <= it->age) it->lifetime = static_cast<int16_t>(it->age + 1);
  }
  it->spin = (e->def.flags & EMITTER_RANDOM_SPIN) ? static_cast<int16_t>(frand_range(0.0f, kTwoPi) * 4096.0f) : 0;
  e->live++;
}

struct Field {
  EffectParamValues v;
  int kind;
};

// Without fields the acceleration is the same at every sub-step: the loop
// stays small enough to keep the item in registers.
void move_item_plain(EffectItem* it, int steps, float h, const vector acc) {
  vector pos = it->position, vel = it->velocity;
  for (int s = 0; s < steps; s++) {
    const vector v0 = vel;
    vel = v0 + acc * h;
    pos += (v0 + vel) * (0.5f * h);
  }
  it->velocity = vel;
  it->position = pos;
}

// One item through every sub-step of a step (items move on their own, so
// each may take all its sub-steps at once).
void move_item(const EffectEmitter* e, EffectItem* it, int steps, float h, bool gravity, const Field* fields,
               int field_count) {
  // Position and velocity stay in registers through the sub-steps and are
  // stored whole at the end.
  vector pos = it->position, vel = it->velocity;
  for (int s = 0; s < steps; s++) {
    {
      vector acc{0, 0, 0};
      if (gravity) acc.y -= kGravity;
      for (int k = 0; k < field_count; k++) {
        const EffectParamValues& f = fields[k].v;
        vector force;
        float dist = 0.0f;
        if (fields[k].kind == EFFECT_PARAM_POINT_FIELD) {
          force = f.position - pos;
          dist = force.length();
          force = dist > kMinDistance ? force * (1.0f / dist) : vector{0, 0, 0};
        } else {
          force = f.axis;
          dist = vector_distance(f.position, pos);
        }
        force.scale(f.scalar[0] * kFieldScale);
        if (f.scalar[1] != 0.0f) force.scale(std::exp(-f.scalar[1] * dist));
        if (f.scalar[2] != 0.0f) {
          const vector p = pos * f.scalar[4];
          const float drift = e->age * 48.0f * f.scalar[3];
          force += vector{noise_3d(p.x + drift, p.y, p.z), noise_3d(p.x, p.y + drift, p.z),
                          noise_3d(p.x, p.y, p.z + drift)} *
                   f.scalar[2];
        }
        acc += force;
      }
      const vector v0 = vel;
      vel = v0 + acc * h;
      pos += (v0 + vel) * (0.5f * h);
    }
  }
  it->velocity = vel;
  it->position = pos;
}
}  // namespace

bool effect_emitter_def_at(const EffectImage& img, uint32_t off, EffectEmitterDef& d) {
  d = EffectEmitterDef{};
  if (off == 0 || !img.has(off, EFFECT_EMITTER_DEF_SIZE)) return false;
  d.offset = off;
  d.name = img.name_at(off + EMITTER_NAME);
  d.parent = img.name_at(off + EMITTER_PARENT);
  const uint32_t word = img.u32(off + EMITTER_LINK_WORD);
  d.enabled = (word & 0x80000000u) != 0;
  d.link_count = static_cast<int>(word & 0x7FFFFFFF);
  if (d.link_count > EFFECT_EMITTER_LINKS) d.link_count = EFFECT_EMITTER_LINKS;
  for (int k = 0; k < d.link_count; k++) d.links[k] = img.u32(off + EMITTER_LINKS + 4 * static_cast<uint32_t>(k));
  d.item_count = img.i16(off + EMITTER_ITEM_COUNT);
  if (d.item_count < 0) d.item_count = 0;
  const uint16_t start = img.u16(off + EMITTER_START_FRAME);
  d.use_start_frame = (start & 0x8000) != 0;
  d.start_frame = start & 0x7FFF;
  d.lifetime_ticks = img.i32(off + EMITTER_LIFETIME);
  if (d.lifetime_ticks < 0) d.lifetime_ticks = 0;
  d.lifetime_variation = img.f32(off + EMITTER_LIFETIME_VAR);
  if (!(d.lifetime_variation >= 0.0f && d.lifetime_variation <= 1.0f)) d.lifetime_variation = 0.0f;
  d.flags = img.u32(off + EMITTER_FLAGS);
  d.grow_end = img.u8(off + EMITTER_GROW_END) / 255.0f;
  d.shrink_start = img.u8(off + EMITTER_SHRINK_START) / 255.0f;
  d.fade_in_end = img.i16(off + EMITTER_FADE_IN_END) / 256.0f;
  d.fade_out_start = img.i16(off + EMITTER_FADE_OUT_START) / 256.0f;
  d.stretch = img.i16(off + EMITTER_STRETCH) / 256.0f;
  d.rate_cycle = static_cast<int>(img.u32(off + EMITTER_RATE_CYCLE) >> 16);
  d.position = effect_vector_track_at(img, off + EMITTER_POSITION);
  d.rotation = effect_rotation_track_at(img, off + EMITTER_ROTATION);
  for (int i = 0; i < EFFECT_EMITTER_SCALARS; i++)
    d.scalar[i] = effect_key_track_at(img, off + EMITTER_SCALARS + static_cast<uint32_t>(i) * EFFECT_KEY_TRACK_SIZE);
  d.rate = effect_key_track_at(img, off + EMITTER_RATE);
  return true;
}

float effect_emitter_def_tail(const EffectEmitterDef& def) {
  return (1.0f + def.lifetime_variation) * static_cast<float>(def.lifetime_ticks) / EFFECT_TICKS_PER_SECOND;
}

void effect_emitter_pool_reset() {
  g_free_emitters = nullptr;
  for (int i = MAX_EFFECT_EMITTER_RECORDS - 1; i >= 0; i--) {
    EffectEmitter& e = g_emitters[i];
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    e.next = g_free_emitters;
    g_free_emitters = &e;
  }
  g_free_items = nullptr;
  for (int i = MAX_EFFECT_ITEMS - 1; i >= 0; i--) {
    g_items[i] = EffectItem{};
    g_items[i].age = EFFECT_ITEM_DEAD;
    g_items[i].next = g_free_items;
    g_free_items = &g_items[i];
  }
  for (auto& n : g_nodes) effect_node_reset(&n);
}

EffectEmitter* effect_emitter_alloc() {
  EffectEmitter* e = g_free_emitters;
  if (!e) return nullptr;
  g_free_emitters = e->next;
  std::memset(static_cast<void*>(e), 0, sizeof *e);
  e->orient.identity();
  e->prev_orient.identity();
  e->parent_orient.identity();
  return e;
}

void effect_emitter_free(EffectEmitter* e) {
  if (!e) return;
  for (EffectItem* it = e->items; it;) {
    EffectItem* next = it->next;
    it->age = EFFECT_ITEM_DEAD;
    it->next = g_free_items;
    g_free_items = it;
    it = next;
  }
  e->items = nullptr;
  e->item_total = 0;
  e->live = 0;
  e->next = g_free_emitters;
  g_free_emitters = e;
}

int effect_emitter_pool_free_count() {
  int n = 0;
  for (EffectEmitter* e = g_free_emitters; e; e = e->next) n++;
  return n;
}
int effect_item_pool_free_count() {
  int n = 0;
  for (EffectItem* it = g_free_items; it; it = it->next) n++;
  return n;
}

int effect_emitter_take_items(EffectEmitter* e, int n) {
  int given = 0;
  while (given < n && g_free_items) {
    EffectItem* it = g_free_items;
    g_free_items = it->next;
    *it = EffectItem{};
    it->age = EFFECT_ITEM_DEAD;
    item_list_push(e, it);
    given++;
  }
  e->item_total = static_cast<int16_t>(e->item_total + given);
  return given;
}

bool effect_emitter_bind_def(EffectEmitter* e, const EffectImage* img, uint32_t effect_def, uint32_t off) {
  if (!e || !img || !effect_emitter_def_at(*img, off, e->def)) return false;
  e->image = img;
  e->effect_def = effect_def;
  for (int k = 0; k < EFFECT_EMITTER_LINKS; k++) {
    e->param_defs[k] = EffectParamSetDef{};
    if (e->def.links[k]) effect_param_set_def_at(*img, e->def.links[k], e->param_defs[k]);
  }
  effect_emitter_start(e);
  return true;
}

int effect_emitter_link_index(const EffectEmitter* e, int k) {
  if (!e || !e->image || k < 0 || k >= e->def.link_count || !e->def.links[k]) return -1;
  const EffectDefArray a = effect_def_array(*e->image, e->effect_def, EFFECT_ARRAY_PARAM_SET);
  if (a.count == 0 || e->def.links[k] < a.offset) return -1;
  const uint32_t rel = e->def.links[k] - a.offset;
  if (rel % EFFECT_PARAM_SET_SIZE) return -1;
  const int index = static_cast<int>(rel / EFFECT_PARAM_SET_SIZE);
  return index < a.count ? index : -1;
}

void effect_emitter_start(EffectEmitter* e) {
  e->state = 0;
  e->binding &= ~(EMITTER_BIND_STARTED | EMITTER_BIND_TAG | EMITTER_BIND_SUSPENDED | EMITTER_TAG_MASK);
  e->bound = nullptr;
  e->parent_position.zero();
  e->parent_orient.identity();
  e->prev_position.zero();
  e->orient.identity();
  e->prev_orient.identity();
  e->age = 0.0f;
  e->last_frame = e->def.use_start_frame ? static_cast<float>(e->def.start_frame) : 0.0f;
  e->accumulator = 0.0f;
  for (int k = 0; k < 2; k++) {
    e->position_keys[k].reset();
    e->rotation_keys[k].reset();
    for (auto& s : e->scalar_keys) s[k].reset();
  }
  e->rate_keys.reset();
  e->position = effect_vector_track_value(e->def.position, e->position_keys[0], 0);
  for (EffectItem* it = e->items; it; it = it->next) it->age = EFFECT_ITEM_DEAD;
  e->live = 0;
}

void effect_emitter_stop(EffectEmitter* e) {
  if (e) e->state |= EMITTER_STOPPING;
}

void effect_emitter_step(EffectEmitter* e, float f, const vector* parent_pos, const matrix* parent_orient,
                         bool wrapped) {
  if (!e || f == e->last_frame) return;
  const bool stopping = (e->state & EMITTER_STOPPING) != 0;
  if (wrapped) {
    // Looping back to the start: every decoder starts over with it.
    for (int k = 0; k < 2; k++) {
      e->position_keys[k].reset();
      e->rotation_keys[k].reset();
      for (auto& s : e->scalar_keys) s[k].reset();
    }
    e->rate_keys.reset();
    for (int k = 0; k < EFFECT_EMITTER_LINKS; k++)
      if (e->params[k]) e->params[k]->reset();
  }
  int f0, f1;
  float t;
  frames_around(f, f0, f1, t);
  // 1. Transform and parameters.
  if (!(stopping && (e->binding & EMITTER_BIND_TAG))) {
    if (parent_pos) e->parent_position = *parent_pos;
    else e->parent_position.zero();
    if (parent_orient) e->parent_orient = *parent_orient;
    else e->parent_orient.identity();
    vector frame_pos = e->parent_position;
    matrix frame_orient = e->parent_orient;
    if ((e->binding & EMITTER_BIND_TAG) && !(e->binding & EMITTER_BIND_SUSPENDED) && e->bound)
      e->bound->get_tag_transform(static_cast<int>(e->binding & EMITTER_TAG_MASK), e->parent_orient,
                                  e->parent_position, &frame_orient, &frame_pos);
    vector local;
    matrix local_orient;
    keyed_transform(e->def.position, e->position_keys, e->def.rotation, e->rotation_keys, f0, f1, t, local,
                    local_orient);
    vector world;
    local.unrotated(world, frame_orient);
    world += frame_pos;
    matrix world_orient;
    effect_orient_in_frame(world_orient, local_orient, frame_orient);
    if (!(e->binding & EMITTER_BIND_STARTED)) {
      e->binding |= EMITTER_BIND_STARTED;
      e->position = world;
      e->orient = world_orient;
    }
    e->prev_position = e->position;
    e->prev_orient = e->orient;
    e->position = world;
    e->orient = world_orient;
    const int w1 = static_cast<int>(t * 256.0f), w0 = 256 - w1;
    for (int i = 0; i < EFFECT_EMITTER_SCALARS; i++) {
      const int v0 = effect_key_track_value(e->def.scalar[i], e->scalar_keys[i][0], f0);
      const int v1 = effect_key_track_value(e->def.scalar[i], e->scalar_keys[i][1], f1);
      e->param[i] = static_cast<uint16_t>((v0 * w0 + v1 * w1) / 256);
    }
    EffectItemLook look;
    if (g_material && e->image) g_material(*e->image, e->effect_def, e->def.material(), f, false, look);
    const float op = look.opacity < 0.0f ? 0.0f : (look.opacity > 1.0f ? 1.0f : look.opacity);
    e->state = (e->state & 0x00FFFFFFu) | static_cast<uint32_t>(op * 255.0f) << 24;
    for (int k = 0; k < EFFECT_EMITTER_LINKS; k++)
      if (e->params[k] && e->param_defs[k].offset) effect_param_set_sample(*e->params[k], e->param_defs[k], f);
  }
  // 2. Elapsed time.
  const float last = e->last_frame;
  float dt = wrapped ? (static_cast<float>(e->def.rate_cycle) - last + f) / EFFECT_FRAMES_PER_SECOND
                     : (f - last) / EFFECT_FRAMES_PER_SECOND;
  e->age += last < 0.0f ? f / EFFECT_FRAMES_PER_SECOND : dt;
  if (!(dt > 0.0f)) {
    // No time has passed (or it ran backwards): nothing ages, moves or spawns,
    // and the emitter's velocity is not divided by it.
    e->last_frame = f;
    return;
  }
  // 3. Velocity.
  const vector velocity = (e->position - e->prev_position) * (1.0f / dt);
  // 4. Ageing and motion in one walk of the items: an item that outlives its
  // lifetime dies, the others move. The fields are sampled once, before the
  // first item that lives on moves.
  {
    const bool gravity = (e->def.flags & EMITTER_GRAVITY) != 0;
    // Sub-steps of at most 1/30 s that together cover the whole step.
    const int steps = static_cast<int>(std::ceil(dt / kMaxSubStep));
    const float h = dt / static_cast<float>(steps < 1 ? 1 : steps);
    Field fields[EFFECT_EMITTER_LINKS];
    int field_count = -1;
    for (EffectItem* it = e->items; it; it = it->next) {
      if (it->age < 0) continue;
      const float age = from_8_8(it->age) + dt;
      if (age >= from_8_8(it->lifetime)) {
        it->age = EFFECT_ITEM_DEAD;
        e->live--;
        continue;
      }
      it->age = to_8_8(age);
      if (field_count < 0) {
        field_count = 0;
        for (int k = 0; k < EFFECT_EMITTER_LINKS; k++) {
          if (!e->params[k] || !e->param_defs[k].offset) continue;
          effect_param_set_values(*e->params[k], e->param_defs[k], fields[field_count].v, f);
          fields[field_count].kind = e->param_defs[k].kind;
          field_count++;
        }
      }
      if (field_count == 0) move_item_plain(it, steps, h, vector{0, gravity ? -kGravity : 0.0f, 0});
      else move_item(e, it, steps, h, gravity, fields, field_count);
    }
  }
  // 6. Spawning.
  if (stopping) {
    e->last_frame = f;
    return;
  }
  if (wrapped) {
    e->accumulator += rate_over(e, last, static_cast<float>(e->def.rate_cycle));
    e->rate_keys.reset();
    e->accumulator += rate_over(e, 0.0f, f);
  } else {
    e->accumulator += rate_over(e, last < 0.0f ? 0.0f : last, f);
  }
  const int n = static_cast<int>(e->accumulator);
  e->accumulator -= static_cast<float>(n);
  if (n > 0) {
    int i = n;
    for (EffectItem* it = e->items; it && i > 0; it = it->next) {
      if (it->age >= 0) continue;
      const float fraction = static_cast<float>(i) / static_cast<float>(n);
      spawn_item(e, it, fraction, (1.0f - fraction) * dt, velocity);
      i--;
    }
  }
  e->last_frame = f;
}

float effect_item_size_factor(float p, float grow_end, float shrink_start) {
  if (p < grow_end) return p / grow_end;
  if (p <= shrink_start) return 1.0f;
  return shrink_start < 1.0f ? (1.0f - p) / (1.0f - shrink_start) : 0.0f;
}
float effect_item_opacity_factor(float p, float fade_in_end, float fade_out_start) {
  return effect_item_size_factor(p, fade_in_end, fade_out_start);
}

void effect_emitter_set_material_sampler(effect_material_sample_fn fn) { g_material = fn; }

bool effect_emitter_bounds(const EffectEmitter* e, vector& mn, vector& mx) {
  bool any = false;
  for (const EffectItem* it = e->items; it; it = it->next) {
    if (it->age < 0) continue;
    if (!any) {
      mn = mx = it->position;
      any = true;
      continue;
    }
    mn.set(fl_min(mn.x, it->position.x), fl_min(mn.y, it->position.y), fl_min(mn.z, it->position.z));
    mx.set(fl_max(mx.x, it->position.x), fl_max(mx.y, it->position.y), fl_max(mx.z, it->position.z));
  }
  return any;
}

void effect_emitter_draw(EffectEmitter* e, float frame) {
  if (!e || e->live <= 0) return;
  vector eye;
  matrix view;
  gr_3d_get_view(eye, view);
  EffectItemLook colour_look;
  if (g_material && e->image) g_material(*e->image, e->effect_def, e->def.material(), frame, false, colour_look);
  float r = 1.0f, g = 1.0f, b = 1.0f;
  if (!(e->def.flags & EMITTER_WHITE)) {
    float ar, ag, ab;
    lights_get_ambient(ar, ag, ab);
    r = fl_max(colour_look.r, ar);
    g = fl_max(colour_look.g, ag);
    b = fl_max(colour_look.b, ab);
  }
  const float item_size = 4.0f * static_cast<float>(e->param[2]) / 4096.0f;
  for (EffectItem* it = e->items; it; it = it->next) {
    if (it->age < 0) continue;
    const float age = from_8_8(it->age), life = from_8_8(it->lifetime);
    const float p = life > 0.0f ? age / life : 1.0f;
    const float s = item_size * effect_item_size_factor(p, e->def.grow_end, e->def.shrink_start);
    float opacity = static_cast<float>(e->base_opacity());
    if (p < e->def.fade_in_end) opacity *= p / e->def.fade_in_end;
    else if (p > e->def.fade_out_start && e->def.fade_out_start < 1.0f)
      opacity *= (1.0f - p) / (1.0f - e->def.fade_out_start);
    EffectItemLook look;
    if (g_material && e->image)
      g_material(*e->image, e->effect_def, e->def.material(),
                 (e->def.flags & EMITTER_FRAMES_BY_LIFE) ? p : age * EFFECT_FRAMES_PER_SECOND,
                 (e->def.flags & EMITTER_FRAMES_BY_LIFE) != 0, look);
    vector to_item = it->position - eye;
    vector side;
    to_item.cross(side, it->velocity);
    if (side.length_squared() < 1e-12f) {
      // Moving straight along the view: no streak direction, so take the view's side.
      side = view.right;
    }
    side.normalize_safe();
    side.scale(s / 4.0f);
    const vector back = it->velocity * (1.6f * e->def.stretch / EFFECT_FRAMES_PER_SECOND);
    const vector corners[4] = {it->position - side, it->position + side, it->position + side - back,
                               it->position - side - back};
    GrVertex verts[4];
    GrVertex* points[4];
    static const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; k++) {
      gr_3d_rotate_point(verts[k], corners[k]);
      verts[k].u = us[k];
      verts[k].v = vs[k];
      verts[k].flags |= GR_VERTEX_UV;
      points[k] = &verts[k];
    }
    const int a = static_cast<int>(fl_min(fl_max(opacity, 0.0f), 255.0f));
    gr_set_color(static_cast<int>(r * 255.0f), static_cast<int>(g * 255.0f), static_cast<int>(b * 255.0f), a);
    RenderStateWord state = Gr_preset[25];
    if (look.bitmap >= 0) {
      gr_set_bitmap(look.bitmap);
      state = Gr_preset[15];
    }
    gr_3d_draw_poly(4, points, state);
  }
}

void effect_node_reset(EffectNode* n) {
  if (!n) return;
  n->binding &= ~(NODE_BOUND | NODE_FROZEN | NODE_TAG_MASK);
  n->bound = nullptr;
  n->position.zero();
  n->orient.identity();
  for (int k = 0; k < 2; k++) {
    n->position_keys[k].reset();
    n->rotation_keys[k].reset();
  }
}

void effect_node_update(EffectNode* n, const EffectImage& img, uint32_t off, float frame) {
  if (!n || (n->binding & NODE_FROZEN) || !img.has(off, EFFECT_NODE_DEF_SIZE)) return;
  const int keys = img.u16(off + NODE_KEYS) & 0x7FFF;
  int f0, f1;
  float t;
  frames_around(frame, f0, f1, t);
  if (f1 >= keys) f1 = f0;
  const EffectVectorTrack pt = effect_vector_track_at(img, off + NODE_POSITION);
  const EffectRotationTrack rt = effect_rotation_track_at(img, off + NODE_ROTATION);
  vector pos;
  matrix orient;
  keyed_transform(pt, n->position_keys, rt, n->rotation_keys, f0, f1, t, pos, orient);
  if ((n->binding & NODE_BOUND) && n->bound) {
    matrix tag_orient;
    effect_tag_place(n->bound, static_cast<int>(n->binding & NODE_TAG_MASK), pos, tag_orient);
    n->position = pos;
    effect_orient_in_frame(n->orient, orient, tag_orient);
  } else {
    n->position = pos;
    n->orient = orient;
  }
}
