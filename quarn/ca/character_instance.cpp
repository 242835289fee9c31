#include "quarn/ca/character_instance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "quarn/os/console.h"
#include "quarn/os/memory.h"

bool High_lod = false;

CONSOLE_BOOL_VARIABLE(cc_high_lod, "high_lod", "Toggles High_lod", High_lod);

namespace {

int mesh_bones(const BaseCharacter* bc) {
  if (!bc || !bc->current || !bc->current->skeleton) return 0;
  return bc->current->skeleton->bone_count;
}

const VimBonePart* bone_part(const BaseCharacter* bc) {
  return bc && bc->current ? bc->current->skeleton : nullptr;
}

int anim_slots(const BaseCharacter* bc) { return bc ? std::min(bc->anim_count, MAX_CHARACTER_ANIMS) : 0; }

transform to_transform(const quaternion& q, const vector& p) {
  transform t;
  t.from_quaternion(q, p);
  // A first element of exactly 0 would make later inversions of the
  // orientation degenerate.
  if (t.orient.right.x == 0.0f) t.orient.right.x = 0.000001f;
  return t;
}

// Applying a, then b.
transform then(const transform& a, const transform& b) {
  transform out;
  a.multiply_frame(out, b);
  return out;
}

}  // namespace

// ---- Life -------------------------------------------------------------------

character_instance::character_instance() {
  for (AnimRateSlot& r : rate_slots) r = {-1, 1.0f};
}

character_instance::character_instance(BaseCharacter* bc) : character_instance() {
  base = bc;
  if (bc && bc->anim_count > 0) ensure_arrays();
}

character_instance::~character_instance() { free_arrays(); }

character_instance::character_instance(const character_instance& o) { copy_from(o); }

character_instance& character_instance::operator=(const character_instance& o) {
  if (this != &o) {
    free_arrays();
    copy_from(o);
  }
  return *this;
}

void character_instance::copy_from(const character_instance& o) {
  // Plain fields first, then fresh copies of the arrays.
  std::memcpy(rate_slots, o.rate_slots, sizeof(rate_slots));
  root_offset = o.root_offset;
  base = o.base;
  frame_stamp = o.frame_stamp;
  current_action = o.current_action;
  root_anim = o.root_anim;
  cycle_anim = o.cycle_anim;
  phase = o.phase;
  blended_motion = o.blended_motion;
  root_started = o.root_started;
  pending_turn_start = o.pending_turn_start;
  pending_turn_end = o.pending_turn_end;
  previous_root = o.previous_root;
  current_root = o.current_root;
  root_direction = o.root_direction;
  turn_start = o.turn_start;
  turn_current = o.turn_current;
  std::memcpy(events_fired, o.events_fired, sizeof(events_fired));
  dominant_cycle = o.dominant_cycle;
  level_of_detail = o.level_of_detail;
  alpha = o.alpha;
  owner_scale = o.owner_scale;
  owner_index = o.owner_index;
  owner_fraction = o.owner_fraction;
  skip_matrices = o.skip_matrices;
  std::memcpy(colour, o.colour, sizeof(colour));
  // The arrays are already free: a new instance's, or freed by the
  // assignment.
  if (o.ticks) {
    ensure_arrays();
    ensure_cache(o.cache_size_);
    std::memcpy(ticks, o.ticks, sizeof(int32_t) * MAX_CHARACTER_ANIMS);
    std::memcpy(weights, o.weights, sizeof(float) * MAX_CHARACTER_ANIMS);
    std::copy(o.bone_cache, o.bone_cache + o.cache_size_, bone_cache);
    std::copy(o.skin, o.skin + o.cache_size_, skin);
  }
}

void character_instance::free_arrays() {
  delete[] ticks;
  delete[] weights;
  delete[] bone_cache;
  delete[] skin;
  delete[] key_hints_;
  key_hints_ = nullptr;
  ticks = nullptr;
  weights = nullptr;
  bone_cache = nullptr;
  skin = nullptr;
  cache_size_ = 0;
}

void character_instance::ensure_arrays() {
  if (!ticks) {
    ticks = new int32_t[MAX_CHARACTER_ANIMS];
    weights = new float[MAX_CHARACTER_ANIMS];
    for (int i = 0; i < MAX_CHARACTER_ANIMS; ++i) {
      const skeleton* s = anim(i);
      ticks[i] = s ? s->first_tick : 0;
      weights[i] = 0.0f;
    }
  }
  // The cache covers the mesh's bones and every bone an animation has a
  // track for, whichever is more.
  int bones = mesh_bones(base);
  for (int i = 0; i < anim_slots(base); ++i) {
    if (base->anims[i]) bones = std::max(bones, base->anims[i]->bone_count);
  }
  ensure_cache(bones);
}

void character_instance::ensure_cache(int bones) {
  if (bones <= cache_size_ && bone_cache) return;
  auto* cache = new BoneCacheEntry[bones > 0 ? bones : 1];
  auto* sk = new transform[bones > 0 ? bones : 1];
  for (int b = 0; b < std::max(bones, 1); ++b) {
    cache[b].xf = identity_transform;
    cache[b].stamp = -1;  // never valid until computed
    sk[b] = identity_transform;
  }
  if (bone_cache) {
    std::copy(skin, skin + cache_size_, sk);
  }
  delete[] bone_cache;
  delete[] skin;
  delete[] key_hints_;
  bone_cache = cache;
  skin = sk;
  cache_size_ = std::max(bones, 1);
  key_hints_ = new int32_t[static_cast<size_t>(cache_size_) * MAX_BLENDED_ANIMS * 2]();
}

skeleton* character_instance::anim(int i) const {
  if (!base || i < 0 || i >= anim_slots(base)) return nullptr;
  return base->anims[i];
}

int character_instance::bone_count() const { return mesh_bones(base); }

// ---- Starting and stopping --------------------------------------------------

void character_instance::reset_anim_frames(int clear) {
  ensure_arrays();
  if (clear) {
    for (int i = 0; i < MAX_CHARACTER_ANIMS; ++i) {
      const skeleton* s = anim(i);
      weights[i] = 0.0f;
      ticks[i] = s ? s->first_tick : 0;
    }
  }
}

void character_instance::reset_anim(int a) {
  const skeleton* s = anim(a);
  if (!s || !ticks) return;
  weights[a] = 0.0f;
  ticks[a] = s->first_tick;
}

void character_instance::start_anim(int a, float weight, int make_current, float rate) {
  const skeleton* s = anim(a);
  if (!s) return;
  ensure_arrays();
  weights[a] = 0.0f;
  if (root_anim == a) root_anim = -1;
  weights[a] = weight;
  ticks[a] = s->first_tick;
  if (make_current == 1) current_action = a;
  if (root_anim < 0) {
    root_anim = a;
    pending_turn_start = pending_turn_end = 0.0f;
  }
  if (s->root_tracking) {
    turn_start = turn_current = CI_TURN_NOT_STARTED;
  }
  if (rate != 1.0f) {
    // One slot per animation: a slot it already holds, else the first free.
    AnimRateSlot* slot = nullptr;
    for (AnimRateSlot& r : rate_slots) {
      if (r.anim == a) {
        slot = &r;
        break;
      }
    }
    for (AnimRateSlot& r : rate_slots) {
      if (!slot && r.anim < 0) slot = &r;
    }
    if (slot) *slot = {a, rate};
  }
}

void character_instance::set_anim_rate(int a, float rate) {
  if (get_anim_time_left(a) == 0.0f) return;
  for (AnimRateSlot& r : rate_slots) {
    if (r.anim == a) {
      r.rate = rate;
      return;
    }
  }
  for (AnimRateSlot& r : rate_slots) {
    if (r.anim < 0) {
      r = {a, rate};
      return;
    }
  }
}

void character_instance::set_anim_weight(int a, float weight) {
  const skeleton* s = anim(a);
  if (!s || s->kind != 1) return;
  ensure_arrays();
  weights[a] = weight;
  if (weight > 0.0f) {
    cycle_anim = a;
  } else if (cycle_anim == a) {
    cycle_anim = -1;
  }
}

void character_instance::clear_anim_weight(int a) {
  if (!anim(a) || !weights) return;
  weights[a] = 0.0f;
  if (root_anim == a) root_anim = -1;
}

void character_instance::stop_overlay_anims() {
  for (int i = 0; weights && i < anim_slots(base); ++i) {
    if (anim(i) && anim(i)->kind == 1) weights[i] = 0.0f;
  }
  cycle_anim = -1;
}

void character_instance::stop_base_anims() {
  for (int i = 0; weights && i < anim_slots(base); ++i) {
    if (anim(i) && anim(i)->kind == 0) weights[i] = 0.0f;
  }
  root_anim = -1;
  current_action = -1;
  root_started = 0;
  previous_root.zero();
  current_root.zero();
}

// ---- Queries ----------------------------------------------------------------

float character_instance::get_anim_time_left(int a) const {
  const skeleton* s = anim(a);
  if (!s || !weights || weights[a] == 0.0f) return 0.0f;
  return static_cast<float>(std::max(0, s->last_tick - ticks[a])) / TICKS_PER_SECOND;
}

float character_instance::get_anim_frame(int a) const {
  const skeleton* s = anim(a);
  if (!s || !weights || weights[a] == 0.0f) return 0.0f;
  return static_cast<float>(ticks[a] - s->first_tick) / TICKS_PER_FRAME;
}

float character_instance::get_anim_length(int a) const {
  const skeleton* s = anim(a);
  if (!s) return 0.0f;
  return static_cast<float>(std::max(0, s->last_tick - s->first_tick)) / TICKS_PER_SECOND;
}

float character_instance::get_anim_speed(int a) const {
  const skeleton* s = anim(a);
  if (!s || s->kind != 1) return 0.0f;
  vector v;
  s->get_velocity(&v);
  return v.length();
}

void character_instance::exchange_anim_state(float* word, int store) {
  if (!word) return;
  if (store) {
    phase = *word;
  } else {
    *word = phase;
  }
}

bool character_instance::event_fired(const char* name) {
  const skeleton* s = anim(dominant_cycle);
  if (!s || !name) return false;
  for (int j = 0; j < MAX_SOUND_EVENTS; ++j) {
    if (s->sound_events[j].name && std::strcmp(s->sound_events[j].name, name) == 0) {
      if (events_fired[j]) {
        events_fired[j] = 0;
        return true;
      }
      return false;
    }
  }
  return false;
}

void character_instance::get_bounds(vector* centre, float* radius) const {
  const VimMesh* mesh = base && base->current ? base->current->mesh : nullptr;
  if (centre) *centre = mesh ? mesh->centre : vector{0, 0, 0};
  if (radius) *radius = mesh ? mesh->radius : 0.0f;
}

// ---- Posing -----------------------------------------------------------------

float character_instance::fade(const skeleton* s, int bone, int clock) const {
  if (!s || bone < 0 || bone >= s->bone_count) return 0.0f;
  const int m = s->bone_weights[bone];
  if (m == 0) return 0.0f;
  const float full = s->kind == 1 ? static_cast<float>(m) : 10.0f;
  const long long r = static_cast<long long>(clock) - s->first_tick;
  const long long span = static_cast<long long>(s->last_tick) - s->first_tick;
  float v = full;
  if (r < s->fade_in) {
    v = static_cast<float>(r) / static_cast<float>(s->fade_in) * full;
  } else if (r > span - s->fade_out) {
    v = static_cast<float>(static_cast<long long>(s->last_tick) - clock) / static_cast<float>(s->fade_out) * full;
  }
  return std::min(v, full);
}

void character_instance::plan_pose(PosePlan* plan) const {
  plan->count = 0;
  for (int a = 0; weights && a < anim_slots(base) && plan->count < MAX_BLENDED_ANIMS; ++a) {
    const skeleton* s = anim(a);
    if (!s || weights[a] == 0.0f) continue;
    plan->playing[plan->count++] = {s, a, ticks[a], weights[a], a == current_action};
  }
  plan->root = anim(root_anim);
  plan->root_playing = plan->root && weights && weights[root_anim] != 0.0f;
  plan->root_tick = plan->root_playing ? ticks[root_anim] : 0;
}

int character_instance::blend_list(int b, int root_bone, const PosePlan& plan, BlendEntry* list,
                                   float* sum_out) const {
  int n = 0;
  float sum = 0.0f;
  const skeleton* R = plan.root;
  const bool tracked_root = plan.root_playing && R->root_tracking && b == root_bone;
  const float root_factor =
      plan.root_playing && !tracked_root ? (10.0f - fade(R, b, plan.root_tick)) * 0.1f : 1.0f;
  for (int i = 0; i < plan.count; ++i) {
    const Playing& pl = plan.playing[i];
    const skeleton* s = pl.s;
    // The root of a root-tracking animation is driven by that animation
    // alone; elsewhere a playing root animation fades the others out.
    float w = tracked_root && pl.anim != root_anim ? 0.0f : root_factor;
    if (b >= s->bone_count) {
      w = 0.0f;  // this animation has no track for the bone
    } else if (s->kind == 1) {
      w *= s->bone_weights[b];
    } else if (!pl.current) {
      w = fade(s, b, pl.tick);
    } else {
      w = 10.0f;
    }
    w *= pl.weight;
    sum += w;
    if (w != 0.0f) list[n++] = {i, w};
  }
  if (n == 0 || sum == 0.0f) sum = 1.0f;
  *sum_out = sum;
  return n;
}

void character_instance::compute_local(int b, transform* out) {
  const VimBonePart* bp = bone_part(base);
  const int root_bone = bp ? bp->root_bone : 0;
  PosePlan plan;
  plan_pose(&plan);
  BlendEntry list[MAX_BLENDED_ANIMS];
  float sum;
  const int n = blend_list(b, root_bone, plan, list, &sum);
  const skeleton* R = anim(root_anim);
  quaternion q = identity_quaternion;
  vector p{0, 0, 0};
  auto rotation = [&](int i) {
    const Playing& pl = plan.playing[list[i].entry];
    return bone_track_rotation(pl.s->bone_tracks[b], pl.tick, 0, key_hint(b, i, 0));
  };
  auto position = [&](int i) {
    const Playing& pl = plan.playing[list[i].entry];
    return bone_track_evaluate(pl.s->bone_tracks[b], pl.tick, key_hint(b, i, 1));
  };
  if (n == 1) {
    q = rotation(0);
    p = position(0);
  } else if (n == 2) {
    const float w1 = list[0].w / sum, w2 = list[1].w / sum;
    const quaternion q1 = rotation(0);
    const quaternion q2 = rotation(1);
    quaternion_slerp_fast(q, q1, q2, w2);
    p = position(0) * w1 + position(1) * w2;
  } else if (n > 2) {
    float total = 0.0f;
    for (int i = 0; i < n; ++i) {
      const float w = list[i].w / sum;
      if (w == 0.0f) continue;
      total += w;
      const quaternion qi = rotation(i);
      quaternion blended;
      quaternion_slerp_fast(blended, q, qi, w / total);
      q = blended;
      p += position(i) * w;
    }
  }
  *out = to_transform(q, p);

  if (bp && b == root_bone) {
    if (R && R->root_tracking) {
      float pitch, bank, heading;
      out->orient.to_angles(pitch, bank, heading);
      turn_current = heading;
      if (turn_start == CI_TURN_NOT_STARTED) turn_start = 0.0f;
    }
    previous_root = current_root;
    current_root = {p.x, 0.0f, p.z};
    if (!root_started) {
      root_started = 1;
      previous_root = current_root;
    }
    // The root keeps only the vertical part of its animated motion; the
    // horizontal part is reported as movement.
    root_offset.y += p.y;
    out->pos = root_offset;
    root_offset.zero();
  }
}

void character_instance::get_bone_transform(transform* out, int b) {
  const VimBonePart* bp = bone_part(base);
  const int bones = bp ? bp->bone_count : 0;
  if (b < 0) {
    *out = identity_transform;
    return;
  }
  if (b >= bones) {
    const int k = b - bones;
    if (!bp || k >= bp->bone_tag_count) {
      std::printf("CHAR INST : %s\n", base ? base->name : "");
      *out = identity_transform;
      return;
    }
    transform parent;
    get_bone_transform(&parent, bp->bone_tags[k].parent);
    *out = then(bp->bone_tags[k].local, parent);
    return;
  }
  ensure_cache(bones);
  BoneCacheEntry& entry = bone_cache[b];
  if (entry.stamp == frame_stamp) {
    *out = entry.xf;
    return;
  }
  transform local;
  compute_local(b, &local);
  const int parent = bp->bones[b].parent;
  if (parent >= 0) {
    transform pw;
    get_bone_transform(&pw, parent);
    *out = then(local, pw);
  } else {
    *out = local;
  }
  entry.xf = *out;
  entry.stamp = frame_stamp;
}

void character_instance::pose_bones() {
  const VimBonePart* bp = bone_part(base);
  const int bones = bp->bone_count;
  // The same arithmetic as get_bone_transform, done a step at a time over
  // every bone: the steps of different bones do not wait for each other, so
  // the processor overlaps them. The root bone (it tracks motion) and bones
  // blending more than two animations take the ordinary path.
  struct Work {
    int n;  // -1: the ordinary path
    float w1, w2;
    vector p;
    quaternion q[2];
    const packed_slerp_arc* arc[2];
    float e[2];
    const BoneTrack* track[2];
    int tick[2];
  };
  static thread_local std::vector<Work> work;
  // The two-animation blends, side by side for one batch of slerps.
  static thread_local std::vector<quaternion> blend_a, blend_b;
  static thread_local std::vector<float> blend_t;
  static thread_local std::vector<int> blend_bone;
  if (static_cast<int>(work.size()) < bones) {
    work.resize(bones);
    blend_a.resize(bones);
    blend_b.resize(bones);
    blend_t.resize(bones);
    blend_bone.resize(bones);
  }
  PosePlan plan;
  plan_pose(&plan);
  for (int b = 0; b < bones; ++b) {
    Work& w = work[b];
    w.n = -1;
    if (b == bp->root_bone || bone_cache[b].stamp == frame_stamp) continue;
    BlendEntry list[MAX_BLENDED_ANIMS];
    float sum;
    const int n = blend_list(b, bp->root_bone, plan, list, &sum);
    if (n > 2) continue;
    w.n = n;
    for (int i = 0; i < n; ++i) {
      const Playing& pl = plan.playing[list[i].entry];
      w.track[i] = &pl.s->bone_tracks[b];
      w.tick[i] = pl.tick;
    }
    if (n == 0) {
      w.q[0] = identity_quaternion;
    } else if (n == 2) {
      w.w1 = list[0].w / sum;
      w.w2 = list[1].w / sum;
    }
  }
  for (int b = 0; b < bones; ++b) {
    Work& w = work[b];
    for (int i = 0; i < w.n; ++i) {
      w.arc[i] = bone_track_rotation_arc(*w.track[i], w.tick[i], key_hint(b, i, 0), &w.e[i], &w.q[i]);
    }
  }
  for (int b = 0; b < bones; ++b) {
    Work& w = work[b];
    if (w.n <= 0) {
      w.p.set(0, 0, 0);
    } else if (w.n == 1) {
      bone_track_evaluate(*w.track[0], w.tick[0], key_hint(b, 0, 1), &w.p);
    } else {
      vector p[2];
      for (int i = 0; i < 2; ++i) bone_track_evaluate(*w.track[i], w.tick[i], key_hint(b, i, 1), &p[i]);
      w.p.set(p[0].x * w.w1 + p[1].x * w.w2, p[0].y * w.w1 + p[1].y * w.w2, p[0].z * w.w1 + p[1].z * w.w2);
    }
  }
  for (int b = 0; b < bones; ++b) {
    Work& w = work[b];
    for (int i = 0; i < w.n; ++i) {
      if (w.arc[i]) w.arc[i]->sample_unpacked(w.q[i], w.e[i]);
    }
  }
  int blends = 0;
  for (int b = 0; b < bones; ++b) {
    const Work& w = work[b];
    if (w.n != 2) continue;
    blend_a[blends] = w.q[0];
    blend_b[blends] = w.q[1];
    blend_t[blends] = w.w2;
    blend_bone[blends++] = b;
  }
  quaternion_slerp_fast_many(blend_a.data(), blend_a.data(), blend_b.data(), blend_t.data(), blends);
  for (int i = 0; i < blends; ++i) work[blend_bone[i]].q[0] = blend_a[i];
  for (int b = 0; b < bones; ++b) {
    const Work& w = work[b];
    // A bone may have been reached already as the parent of an earlier one.
    if (w.n < 0 || bone_cache[b].stamp == frame_stamp) continue;
    const transform local = to_transform(w.q[0], w.p);
    BoneCacheEntry& entry = bone_cache[b];
    const int parent = bp->bones[b].parent;
    if (parent < 0) {
      entry.xf = local;
    } else if (bone_cache[parent].stamp == frame_stamp) {
      local.multiply_frame(entry.xf, bone_cache[parent].xf);
    } else {
      transform pw;
      get_bone_transform(&pw, parent);
      local.multiply_frame(entry.xf, pw);
    }
    entry.stamp = frame_stamp;
  }
}

void character_instance::get_tag_transform(int bone, const matrix& object_orient, const vector& object_pos,
                                           matrix* out_orient, vector* out_pos) {
  transform t;
  get_bone_transform(&t, bone);
  if (out_orient) t.orient.multiply(*out_orient, object_orient);
  if (out_pos) {
    vector v;
    t.pos.unrotated(v, object_orient);
    *out_pos = object_pos + v;
  }
}

void character_instance::get_tag_local(int bone, matrix* out_orient, vector* out_pos) {
  transform t;
  get_bone_transform(&t, bone);
  if (out_orient) *out_orient = t.orient;
  if (out_pos) *out_pos = t.pos;
}

void character_instance::get_bone_point(vector* out_point, int32_t* out_value, int bone) {
  const VimBonePart* bp = bone_part(base);
  if (!bp || bone < 0 || bone >= bp->bone_count) {
    if (out_point) out_point->zero();
    if (out_value) *out_value = 0;
    return;
  }
  transform t;
  get_bone_transform(&t, bone);
  if (out_point) t.apply(*out_point, bp->bones[bone].point);
  if (out_value) *out_value = bp->bones[bone].value;
}

void character_instance::setup_matrices() {
  if (skip_matrices) return;
  const VimBonePart* bp = bone_part(base);
  if (!bp) return;
  ensure_cache(bp->bone_count);
  pose_bones();
  for (int b = 0; b < bp->bone_count; ++b) {
    if (bone_cache[b].stamp == frame_stamp) {
      bp->bones[b].inverse_rest.multiply_frame(skin[b], bone_cache[b].xf);
    } else {
      transform world;
      get_bone_transform(&world, b);
      bp->bones[b].inverse_rest.multiply_frame(skin[b], world);
    }
  }
}

// ---- Time -------------------------------------------------------------------

void character_instance::process(float seconds, int skip, int lod) {
  level_of_detail = High_lod ? 0 : lod;
  if (++frame_stamp > CI_FRAME_STAMP_WRAP) {
    frame_stamp = 0;
    // A bone left alone for a whole round of stamps must not look current.
    for (int b = 0; bone_cache && b < cache_size_; ++b) bone_cache[b].stamp = -1;
  }
  const double dt = std::trunc(static_cast<double>(seconds) * 30.0 * TICKS_PER_FRAME);
  increment_tick(static_cast<int>(std::clamp(dt, -1e9, 1e9)));
  skip_matrices = static_cast<uint8_t>(skip);
}

void character_instance::increment_tick(int dt) {
  dominant_cycle = -1;
  if (!ticks) return;
  const VimBonePart* bp = bone_part(base);
  const int root_bone = bp ? bp->root_bone : 0;
  if (bp && bp->bone_count > 0) {
    transform t;
    get_bone_transform(&t, root_bone);
  }
  const int slots = anim_slots(base);
  // Rates are summed in double: a step that lands on a key frame in exact
  // arithmetic must not fall one tick short of it through rounding.
  double A = 0.0, W = 0.0;
  float best = 0.0f;
  for (int i = 0; i < slots; ++i) {
    const skeleton* s = anim(i);
    if (!s || s->kind != 1) continue;
    const int len = s->last_tick - s->first_tick;
    const double L = len < 1440 ? 4800.0 : static_cast<double>(len);
    A += weights[i] / L;
    W += weights[i];
    if (weights[i] > best) {
      best = weights[i];
      dominant_cycle = i;
    }
  }
  auto advance_action = [&](int i) {
    float rate = 1.0f;
    for (const AnimRateSlot& r : rate_slots) {
      if (r.anim == i) {
        rate = r.rate;
        break;
      }
    }
    const double next = static_cast<double>(ticks[i]) + std::trunc(static_cast<double>(dt) * rate);
    ticks[i] = static_cast<int>(std::clamp(next, -2147483648.0, 2147483647.0));
  };
  if (W != 0.0) {
    phase = static_cast<float>(phase + (A / W) * dt);
    bool wrapped = false;
    while (phase >= 1.0f) {
      phase -= 1.0f;
      wrapped = true;
    }
    for (int i = 0; i < slots; ++i) {
      const skeleton* s = anim(i);
      if (!s || weights[i] == 0.0f) continue;
      if (s->kind == 1) {
        const int old = ticks[i];
        const int len = s->last_tick - s->first_tick;
        ticks[i] = s->first_tick + static_cast<int>(std::floor(static_cast<double>(len) * phase));
        if (i == dominant_cycle) {
          for (int j = 0; j < MAX_SOUND_EVENTS; ++j) {
            if (!s->sound_events[j].name) continue;
            const int t = s->sound_events[j].tick;
            if ((old < t && t <= ticks[i]) || (wrapped && (t > old || t < ticks[i]))) events_fired[j] = 1;
          }
        }
      } else {
        advance_action(i);
        const skeleton* R = anim(root_anim);
        if (!R) {
          root_anim = i;
          pending_turn_start = pending_turn_end = 0.0f;
        } else if (fade(R, root_bone, ticks[root_anim]) < fade(s, root_bone, ticks[i])) {
          root_anim = i;
          pending_turn_start = pending_turn_end = 0.0f;
        }
      }
    }
  } else {
    phase = 0.0f;
    for (int i = 0; i < slots; ++i) {
      const skeleton* s = anim(i);
      if (s && s->kind == 0 && weights[i] != 0.0f) advance_action(i);
    }
  }
  for (int i = 0; i < slots; ++i) {
    const skeleton* s = anim(i);
    if (!s || s->kind != 0 || ticks[i] < s->last_tick) continue;
    if (i != current_action) {
      if (root_anim == i) root_anim = -1;
      if (weights[i] != 0.0f && s->root_tracking) {
        pending_turn_start = turn_start;
        pending_turn_end = turn_current;
        turn_start = turn_current = CI_TURN_NOT_STARTED;
      }
      weights[i] = 0.0f;
      ticks[i] = s->last_tick;
    }
    for (AnimRateSlot& r : rate_slots) {
      if (r.anim == i) r = {-1, 1.0f};
    }
  }
  for (int i = 0; i < slots; ++i) {
    const skeleton* s = anim(i);
    if (s) ticks[i] = std::clamp(ticks[i], s->first_tick, s->last_tick);
  }
}

// ---- Motion -----------------------------------------------------------------

void character_instance::blend_anim_motion() {
  if (!weights) return;
  const VimBonePart* bp = bone_part(base);
  const int root_bone = bp ? bp->root_bone : 0;
  float f = 1.0f;
  const skeleton* R = anim(root_anim);
  if (R && weights[root_anim] != 0.0f) f = (10.0f - fade(R, root_bone, ticks[root_anim])) * 0.1f;
  vector sum{0, 0, 0};
  float total = 0.0f;
  for (int i = 0; i < anim_slots(base); ++i) {
    const skeleton* s = anim(i);
    if (!s) continue;
    if (i == current_action && ticks[i] >= s->last_tick) continue;
    vector v;
    s->get_velocity(&v);
    const float w = s->kind == 0 ? fade(s, root_bone, ticks[i]) * weights[i] : f * weights[i];
    sum += v * w;
    total += w;
  }
  if (total != 0.0f) blended_motion = sum * (1.0f / total);
}

void character_instance::get_motion_step(vector* out, float seconds) {
  if (!root_started) {
    out->zero();
    return;
  }
  *out = (current_root - previous_root) + blended_motion * seconds;
  root_direction = current_root;
  root_direction.normalize_safe();
}

void character_instance::get_anim_velocity(vector* out) const {
  out->zero();
  if (!weights) return;
  for (int i = 0; i < anim_slots(base); ++i) {
    const skeleton* s = anim(i);
    // An emptied slot is skipped: it plays nothing.
    if (!s || s->kind != 1) continue;
    if (i == current_action && ticks[i] >= s->last_tick) continue;
    vector v;
    s->get_velocity(&v);
    *out += v * weights[i];
  }
}

quaternion character_instance::get_turn() {
  const quaternion q{0.0f, 0.0f, 0.0f, pending_turn_end - pending_turn_start};
  pending_turn_start = pending_turn_end = 0.0f;
  return q;
}

void character_instance::memory_report() const {
  const int anims = anim_slots(base);
  const int bones = bone_count();
  mem_log_printf(base ? base->name : "", "\n");
  mem_log_indent();
  mem_log_printf("cur tiume :", "%d\n", anims * 4);
  mem_log_printf("anim pct :", "%d\n", anims * 4);
  mem_log_printf("bone info :", "%d\n", bones * 52);
  mem_log_printf("TOTAL :", "%d\n", bones * 52 + anims * 8);
  mem_log_unindent();
}
