#include "quarn/ca/skeleton.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "quarn/ca/ca_internal.h"
#include "quarn/os/error.h"
#include "quarn/os/memory.h"
#include "quarn/os/stringpool.h"
#include "quarn/vfile/readstream.h"

namespace {

SkeletonCounters g_counters = {0, -1, 0, 0, -1};

bool refuse(const char* file, const char* why) {
  std::printf("MVF REFUSED : %s (%s)\n", file ? file : "stream", why);
  return false;
}

template <typename T>
T* alloc_array(long long n) {
  void* p = mem_alloc(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T));
  if (p) {
    std::memset(p, 0, static_cast<size_t>(n > 0 ? n : 1) * sizeof(T));
  }
  return static_cast<T*>(p);
}

int8_t scaled_i8(float v) {
  const float s = v * 127.0f;
  if (!(s == s)) return 0;
  return static_cast<int8_t>(std::clamp(s, -127.0f, 127.0f));
}

uint8_t scaled_ease(float v) {
  const float s = v * 2.54f;
  if (!(s == s)) return 0;
  return static_cast<uint8_t>(static_cast<int>(std::clamp(s, -128.0f, 255.0f)));
}

// The index of the first key later than t; keys are in tick order (checked
// at load), so this is the linear search's answer.
template <typename Key>
int key_after(const Key* keys, int count, int t) {
  int lo = 0, hi = count;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (keys[mid].tick > t) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The same answer, trying the hinted key and the one after it first. A key
// k is the answer exactly when the key before it is at or before t and k
// itself is after t, so a stale hint can only cost a search.
template <typename Key>
int key_after(const Key* keys, int count, int t, int32_t* hint) {
  if (hint) {
    const int k = *hint;
    if (k >= 1 && k < count && keys[k - 1].tick <= t) {
      if (t < keys[k].tick) return k;
      if (k + 1 < count && t < keys[k + 1].tick) return *hint = k + 1;
    }
    return *hint = key_after(keys, count, t);
  }
  return key_after(keys, count, t);
}

int32_t frames_to_ticks(int32_t frames) {
  const long long t = static_cast<long long>(frames) * TICKS_PER_FRAME;
  return static_cast<int32_t>(std::clamp<long long>(t, INT32_MIN, INT32_MAX));
}

// The fraction of the way from tick a to tick b (a < b), without overflow.
float span_fraction(int t, int a, int b) {
  return static_cast<float>(static_cast<long long>(t) - a) / static_cast<float>(static_cast<long long>(b) - a);
}

quaternion unpacked(const packed_quaternion& p) {
  quaternion q;
  p.to_quaternion(q);
  return q;
}

}  // namespace

// ---- Key tracks -------------------------------------------------------------

vector bone_track_evaluate(const BoneTrack& track, int t) {
  vector v;
  bone_track_evaluate(track, t, nullptr, &v);
  return v;
}

vector bone_track_evaluate(const BoneTrack& track, int t, int32_t* hint) {
  vector v;
  bone_track_evaluate(track, t, hint, &v);
  return v;
}

void bone_track_evaluate(const BoneTrack& track, int t, int32_t* hint, vector* out) {
  const int n = track.position_count;
  const PositionKey* keys = track.positions;
  if (n <= 0 || !keys) {
    out->set(0, 0, 0);
    return;
  }
  if (t <= keys[0].tick) {
    *out = keys[0].value;
    return;
  }
  if (t >= keys[n - 1].tick) {
    *out = keys[n - 1].value;
    return;
  }
  const int k = key_after(keys, n, t, hint);
  const PositionKey& a = keys[k - 1];
  const PositionKey& b = keys[k];
  const float s = span_fraction(t, a.tick, b.tick);
  const float r = 1.0f - s;
  // Component by component (the sums in the same order as the vector
  // expression): a vector handed back in registers is slow to unpick.
  const float c0 = r * r * r, c1 = 3.0f * s * r * r, c2 = 3.0f * s * s * r, c3 = s * s * s;
  out->x = a.value.x * c0 + a.out_control.x * c1 + b.in_control.x * c2 + b.value.x * c3;
  out->y = a.value.y * c0 + a.out_control.y * c1 + b.in_control.y * c2 + b.value.y * c3;
  out->z = a.value.z * c0 + a.out_control.z * c1 + b.in_control.z * c2 + b.value.z * c3;
}

float bone_track_ease(float s, float a, float b) {
  if (s == 0.0f || s == 1.0f || a + b == 0.0f) {
    return s;
  }
  if (a + b > 1.0f) {
    const float sum = a + b;
    a /= sum;
    b /= sum;
  }
  const float c = 1.0f / (2.0f - a - b);
  if (s < a) {
    return c / a * s * s;
  }
  if (s < 1.0f - b) {
    return c * (2.0f * s - a);
  }
  return 1.0f - c / b * (1.0f - s) * (1.0f - s);
}

quaternion bone_track_rotation(const BoneTrack& track, int t, int mode) {
  return bone_track_rotation(track, t, mode, nullptr);
}

namespace {
// The first steps of a rotation sample: the key after t and the eased
// fraction of the span that ends there; 0 when t lies outside the keys,
// with *q the answer.
int rotation_span(const BoneTrack& track, int t, int32_t* hint, float* e, quaternion* q) {
  const int n = track.rotation_count;
  const RotationKey* keys = track.rotations;
  if (n <= 0 || !keys) {
    *q = identity_quaternion;
    return 0;
  }
  if (t <= keys[0].tick) {
    *q = unpacked(keys[0].q);
    return 0;
  }
  if (t >= keys[n - 1].tick) {
    *q = unpacked(keys[n - 1].q);
    return 0;
  }
  const int k = key_after(keys, n, t, hint);
  const RotationKey& a = keys[k - 1];
  const RotationKey& b = keys[k];
  const float s = span_fraction(t, a.tick, b.tick);
  // Most keys have no easing, and then the eased fraction is s itself.
  *e = (a.ease_from | b.ease_to) == 0 ? s
                                      : bone_track_ease(s, static_cast<int8_t>(a.ease_from) / 127.0f,
                                                        static_cast<int8_t>(b.ease_to) / 127.0f);
  return k;
}
}  // namespace

quaternion bone_track_rotation(const BoneTrack& track, int t, int mode, int32_t* hint) {
  float e;
  quaternion q;
  const int k = rotation_span(track, t, hint, &e, &q);
  if (k == 0) return q;
  if (mode == 1 && track.control_a && track.control_b) {
    packed_quaternion_squad(q, track.rotations[k - 1].q, track.control_a[k - 1], track.control_b[k],
                            track.rotations[k].q, e);
    return q;
  }
  if (track.arcs) return track.arcs[k - 1].sample_unpacked(q, e);
  packed_quaternion out;
  packed_quaternion_slerp(out, track.rotations[k - 1].q, track.rotations[k].q, e);
  return unpacked(out);
}

const packed_slerp_arc* bone_track_rotation_arc(const BoneTrack& track, int t, int32_t* hint, float* e,
                                                quaternion* q) {
  const int k = rotation_span(track, t, hint, e, q);
  if (k == 0) return nullptr;
  if (track.arcs) return &track.arcs[k - 1];
  packed_quaternion out;
  packed_quaternion_slerp(out, track.rotations[k - 1].q, track.rotations[k].q, *e);
  *q = unpacked(out);
  return nullptr;
}

void bone_track_free_controls(BoneTrack& track) {
  mem_free(track.control_a);
  mem_free(track.control_b);
  track.control_a = nullptr;
  track.control_b = nullptr;
}

void bone_track_precompute(BoneTrack& track, int loop) {
  for (int i = 0; i < track.position_count; ++i) {
    PositionKey& k = track.positions[i];
    k.in_control += k.value;
    k.out_control += k.value;
  }
  for (int i = 0; i < track.third_count; ++i) {
    PositionKey& k = track.third[i];
    k.in_control += k.value;
    k.out_control += k.value;
  }
  const int n = track.rotation_count;
  if (n <= 0) {
    return;
  }
  // The reader gives a track no room for its controls; they are made here.
  if (!track.control_a) {
    track.control_a = static_cast<packed_quaternion*>(mem_alloc(sizeof(packed_quaternion) * n));
    track.control_b = static_cast<packed_quaternion*>(mem_alloc(sizeof(packed_quaternion) * n));
    if (!track.control_a || !track.control_b) {
      // A full arena: the track keeps evaluating by slerp.
      track.control_a = track.control_b = nullptr;
      return;
    }
  }
  const RotationKey* keys = track.rotations;
  const float first_gap = n > 1 ? static_cast<float>(static_cast<long long>(keys[1].tick) - keys[0].tick) : 0.0f;
  const float last_gap = n > 1 ? static_cast<float>(static_cast<long long>(keys[n - 1].tick) - keys[n - 2].tick) : 0.0f;
  for (int i = 0; i < n; ++i) {
    int prev = i - 1, next = i + 1;
    float gap_prev, gap_next;
    if (i == 0) {
      prev = loop ? n - 1 : i;
      gap_prev = loop ? last_gap : 0.0f;
    } else {
      gap_prev = static_cast<float>(static_cast<long long>(keys[i].tick) - keys[i - 1].tick);
    }
    if (i == n - 1) {
      next = loop ? 0 : i;
      gap_next = loop ? first_gap : 0.0f;
    } else {
      gap_next = static_cast<float>(static_cast<long long>(keys[i + 1].tick) - keys[i].tick);
    }
    const quaternion q = unpacked(keys[i].q);
    quaternion qp = unpacked(keys[prev].q);
    quaternion qn = unpacked(keys[next].q);
    if (quaternion_dot(qp, q) < 0.0f) qp.negated(qp);
    if (quaternion_dot(qn, q) < 0.0f) qn.negated(qn);
    quaternion d_in, d_out;
    quaternion_squad_tangent(d_in, qp, q);
    quaternion_squad_tangent(d_out, q, qn);
    const float half = 0.5f * (gap_prev + gap_next);
    // Equal spacing when the track has no span to measure.
    const float a_p = half > 0.0f ? gap_prev / half : 1.0f;
    const float a_n = half > 0.0f ? gap_next / half : 1.0f;
    const float T = keys[i].tension / 127.0f, C = keys[i].continuity / 127.0f, B = keys[i].bias / 127.0f;
    const float ac = std::fabs(C);
    const float f_p = ac + a_p - ac * a_p;
    const float f_n = ac + a_n - ac * a_n;
    const float td_in = 0.5f * (1 - T) * (1 + C) * (1 + B) * f_n;
    const float td_out = 0.5f * (1 - T) * (1 - C) * (1 - B) * f_n;
    const float ts_in = 0.5f * (1 - T) * (1 - C) * (1 + B) * f_p;
    const float ts_out = 0.5f * (1 - T) * (1 + C) * (1 - B) * f_p;
    quaternion ea, eb, ca, cb;
    // Vector parts only: log gives w = 0 and exp ignores w.
    ea.set(0.5f * (td_in * d_in.x + td_out * d_out.x - d_out.x), 0.5f * (td_in * d_in.y + td_out * d_out.y - d_out.y),
           0.5f * (td_in * d_in.z + td_out * d_out.z - d_out.z), 0.0f);
    eb.set(0.5f * (d_in.x - ts_in * d_in.x - ts_out * d_out.x), 0.5f * (d_in.y - ts_in * d_in.y - ts_out * d_out.y),
           0.5f * (d_in.z - ts_in * d_in.z - ts_out * d_out.z), 0.0f);
    ea.exp_self();
    eb.exp_self();
    q.multiply(ca, ea);
    q.multiply(cb, eb);
    track.control_a[i].from_quaternion(ca);
    track.control_b[i].from_quaternion(cb);
  }
}

// ---- Skeletons --------------------------------------------------------------

const SkeletonCounters& skeleton_counters() { return g_counters; }

void skeleton_counters_reset() { g_counters = {0, -1, 0, 0, -1}; }

void skeleton_set_limits(int max_count, int memory_limit) {
  g_counters.max_count = max_count;
  g_counters.memory_limit = memory_limit;
}

skeleton::skeleton(const char* file, const char* anim_name, int k, int /*unused*/, int root) {
  ++g_counters.count;
  if (g_counters.max_count >= 0 && g_counters.count > g_counters.max_count) {
    critical_error(__FILE__, __LINE__, "Too many skeletons");
  }
  name = anim_name ? ca_detail::names().find_or_add(anim_name) : nullptr;
  std::snprintf(file_name, sizeof(file_name), "%s", file ? file : "");
  kind = static_cast<uint8_t>(k);
  root_tracking = static_cast<uint8_t>(root);
}

skeleton::~skeleton() {
  release();
  --g_counters.count;
}

int skeleton::morph_key_sum() const {
  int sum = 0;
  for (int i = 0; morph_tracks && i < morph_vertex_count; ++i) {
    sum += morph_tracks[i].key_count;
  }
  return sum;
}

int skeleton::memory_share() const {
  if (!bone_tracks) {
    return 0;
  }
  return 208 + bone_count * 45 + rotation_key_total * 20 + position_key_total * 40 + morph_vertex_count * 16 +
         morph_key_sum() * 16;
}

void skeleton::release() {
  g_counters.memory -= memory_counted_;
  memory_counted_ = 0;
  // Arrays read while an arena was current go when the arena is emptied.
  if (!in_arena_) {
    for (int i = 0; morph_tracks && i < morph_vertex_count; ++i) {
      mem_free(morph_tracks[i].keys);
    }
    for (int b = 0; bone_tracks && b < bone_count; ++b) {
      bone_track_free_controls(bone_tracks[b]);
    }
    mem_free(morph_tracks);
    mem_free(morph_vertex_indices);
    mem_free(bone_tracks);
    mem_free(bone_weights);
    mem_free(rotation_keys);
    mem_free(position_keys);
  }
  delete[] rotation_arcs;
  rotation_arcs = nullptr;
  morph_tracks = nullptr;
  morph_vertex_indices = nullptr;
  bone_tracks = nullptr;
  bone_weights = nullptr;
  rotation_keys = nullptr;
  position_keys = nullptr;
  bone_count = rotation_key_total = position_key_total = morph_vertex_count = morph_key_count = 0;
}

void skeleton::get_velocity(vector* out) const {
  const int span = last_tick - first_tick;
  if (span == 0) {
    // An animation without a span moves nowhere (and must not divide by 0).
    out->set(0, 0, 0);
    return;
  }
  *out = root_displacement * (static_cast<float>(TICKS_PER_SECOND) / static_cast<float>(span));
}

void skeleton::prepare_arcs() {
  // Without room for them the tracks sample their keys directly.
  rotation_arcs = new (std::nothrow) packed_slerp_arc[rotation_key_total > 0 ? rotation_key_total : 1];
  if (!rotation_arcs) return;
  for (int b = 0; b < bone_count; ++b) {
    BoneTrack& tr = bone_tracks[b];
    tr.arcs = rotation_arcs + (tr.rotations - rotation_keys);
    for (int k = 0; k + 1 < tr.rotation_count; ++k) tr.arcs[k].prepare(tr.rotations[k].q, tr.rotations[k + 1].q);
  }
}

bool skeleton::read_mvf(ReadStream& s, const char* file, int /*path_type*/) {
  release();
  in_arena_ = mem_arena_active();
  const uint32_t word = static_cast<uint32_t>(s.read_int());
  if (word == MVF_MAGIC) {
    version = s.read_int();
    first_tick = s.read_int();
  } else {
    version = 0;
    first_tick = static_cast<int32_t>(word);
  }
  last_tick = s.read_int();
  float r[4];
  for (float& c : r) c = s.read_float();
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(r[i]) < 0.0001f) r[i] = 0.0f;
  }
  root_rotation.set(r[0], r[1], r[2], r[3]);
  const float len2 = r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3];
  if (len2 > 0.0f && std::isfinite(len2)) {
    root_rotation.normalize();
  } else {
    root_rotation.identity();
  }
  s.read_vector(&root_displacement);
  if (std::fabs(root_displacement.x) < 0.0001f) root_displacement.x = 0.0f;
  if (std::fabs(root_displacement.z) < 0.0001f) root_displacement.z = 0.0f;
  root_displacement.y = 0.0f;
  const int bones = s.read_int();
  if (s.error() != 0) {
    return refuse(file, "the header is cut short");
  }
  // Spans are kept in ticks of 32 bits; one that does not fit is refused.
  if (version < 0 || bones < 0 || bones > MVF_MAX_BONES || last_tick < first_tick ||
      static_cast<long long>(last_tick) - first_tick > INT32_MAX) {
    return refuse(file, "the header's version, bone count or span is out of range");
  }
  const int rot_size = version < 2 ? 40 : (version < 5 ? 36 : 30);
  long long rot_total = 0, pos_total = 0;
  if (version >= 5) {
    rot_total = s.read_int();
    pos_total = s.read_int();
  } else {
    // Older files carry no totals: walk the bone blocks once to add them up.
    const int at = s.tell();
    for (int b = 0; b < bones; ++b) {
      s.read_ubyte();
      const int rc = s.read_int();
      if (rc < 0 || rc > MVF_MAX_KEYS || s.seek(rc * rot_size, 1) != 0) {
        return refuse(file, "a bone's rotation keys run past the file");
      }
      const int pc = s.read_int();
      if (pc < 0 || pc > MVF_MAX_KEYS || (b + 1 < bones && s.seek(pc * 40, 1) != 0)) {
        return refuse(file, "a bone's position keys run past the file");
      }
      rot_total += rc;
      pos_total += pc;
    }
    if (s.error() != 0 || s.seek(at, 0) != 0) {
      return refuse(file, "the bone blocks are cut short");
    }
  }
  if (s.error() != 0 || rot_total < 0 || pos_total < 0 || rot_total > MVF_MAX_KEYS || pos_total > MVF_MAX_KEYS) {
    return refuse(file, "the key totals are out of range");
  }
  bone_count = bones;
  rotation_key_total = static_cast<int32_t>(rot_total);
  position_key_total = static_cast<int32_t>(pos_total);
  bone_weights = alloc_array<uint8_t>(bones);
  bone_tracks = alloc_array<BoneTrack>(bones);
  rotation_keys = alloc_array<RotationKey>(rot_total);
  position_keys = alloc_array<PositionKey>(pos_total);
  if (!bone_weights || !bone_tracks || !rotation_keys || !position_keys) {
    release();
    return refuse(file, "no memory for the keys");
  }
  long long rot_used = 0, pos_used = 0;
  bool ok = true;
  const char* why = "";
  for (int b = 0; ok && b < bones; ++b) {
    bone_weights[b] = s.read_ubyte();
    BoneTrack& tr = bone_tracks[b];
    const int rc = s.read_int();
    // Each bone's keys are a slice of the shared arrays: its counts must fit
    // what is left of the totals.
    if (s.error() != 0 || rc < 0 || rc > rot_total - rot_used) {
      ok = false;
      why = "a bone's rotation keys exceed the totals";
      break;
    }
    tr.rotation_count = rc;
    tr.rotations = rotation_keys + rot_used;
    rot_used += rc;
    for (int k = 0; k < rc; ++k) {
      RotationKey& key = tr.rotations[k];
      key.tick = s.read_int();
      if (version < 2) {
        quaternion q;
        q.x = s.read_float();
        q.y = s.read_float();
        q.z = s.read_float();
        q.w = s.read_float();
        const float l2 = quaternion_dot(q, q);
        if (l2 > 0.0f && std::isfinite(l2)) {
          q.normalize();
        } else {
          q.identity();
        }
        key.q.from_quaternion(q);
        key.tension = scaled_i8(s.read_float());
        key.continuity = scaled_i8(s.read_float());
        key.bias = scaled_i8(s.read_float());
        key.ease_to = scaled_ease(s.read_float());
        key.ease_from = scaled_ease(s.read_float());
      } else {
        key.q.x = s.read_short();
        key.q.y = s.read_short();
        key.q.z = s.read_short();
        key.q.w = s.read_short();
        for (int d = 0; d < 8; ++d) s.read_short();
        if (version < 5) {
          key.ease_to = scaled_ease(s.read_float());
          key.ease_from = scaled_ease(s.read_float());
        } else {
          key.ease_to = s.read_ubyte();
          key.ease_from = s.read_ubyte();
        }
      }
      if (k > 0 && key.tick < tr.rotations[k - 1].tick) {
        ok = false;
        why = "rotation keys out of tick order";
        break;
      }
    }
    if (!ok) break;
    const int pc = s.read_int();
    if (s.error() != 0 || pc < 0 || pc > pos_total - pos_used) {
      ok = false;
      why = "a bone's position keys exceed the totals";
      break;
    }
    tr.position_count = pc;
    tr.positions = position_keys + pos_used;
    pos_used += pc;
    for (int k = 0; k < pc; ++k) {
      PositionKey& key = tr.positions[k];
      key.tick = s.read_int();
      s.read_vector(&key.value);
      s.read_vector(&key.in_control);
      s.read_vector(&key.out_control);
      if (k > 0 && key.tick < tr.positions[k - 1].tick) {
        ok = false;
        why = "position keys out of tick order";
        break;
      }
    }
    if (ok && s.error() != 0) {
      ok = false;
      why = "the keys are cut short";
    }
    if (ok && version < 2) {
      bone_track_precompute(tr, 1);
    }
  }
  if (ok && (rot_used != rot_total || pos_used != pos_total)) {
    ok = false;
    why = "the bones' keys do not add up to the totals";
  }
  if (!ok) {
    release();
    return refuse(file, why);
  }
  prepare_arcs();

  const int span = last_tick - first_tick;
  for (SoundEvent& ev : sound_events) {
    ev.name = nullptr;
    ev.tick = first_tick;
  }
  if (s.eof()) {
    fade_in = fade_out = span / 5;
  } else {
    fade_in = frames_to_ticks(s.read_int());
    fade_out = frames_to_ticks(s.read_int());
    for (SoundEvent& ev : sound_events) {
      char field[MVF_SOUND_NAME_BYTES];
      if (s.read(field, MVF_SOUND_NAME_BYTES) != MVF_SOUND_NAME_BYTES || !memchr(field, 0, sizeof(field))) {
        release();
        return refuse(file, "a sound event's name is cut short or unterminated");
      }
      ev.tick = s.read_int();
      ev.name = field[0] ? ca_detail::pooled_exact(field) : nullptr;
    }
    if (version >= 4) {
      const int mv = s.read_int();
      const int mk = s.read_int();
      if (s.error() != 0 || mv < 0 || mk < 0 || mv > MVF_MAX_KEYS || mk > MVF_MAX_KEYS) {
        release();
        return refuse(file, "the morph block's counts are out of range");
      }
      if (mv != 0 && mk != 0) {
        if (version < 8 && file) {
          std::printf("FILE ISN'T MVFREDUCED AND HAS MORPHING!!! %s\n", file);
        }
        morph_vertex_count = mv;
        morph_key_count = mk;
        morph_vertex_indices = alloc_array<int32_t>(mv);
        morph_tracks = alloc_array<MorphTrack>(mv);
        if (!morph_vertex_indices || !morph_tracks) {
          release();
          return refuse(file, "no memory for the morph block");
        }
        long long keys_total = 0;
        for (int i = 0; ok && i < mv; ++i) {
          MorphTrack& mt = morph_tracks[i];
          int count;
          if (version >= 8) {
            morph_vertex_indices[i] = s.read_short();
            count = s.read_short();
          } else {
            morph_vertex_indices[i] = s.read_int();
            count = mk;
          }
          keys_total += count;
          if (s.error() != 0 || count < 0 || count > 32767 || keys_total > MVF_MAX_KEYS) {
            ok = false;
            break;
          }
          mt.key_count = static_cast<int16_t>(count);
          mt.cursor = 1;
          mt.keys = alloc_array<MorphKey>(count);
          if (!mt.keys) {
            ok = false;
            break;
          }
          for (int k = 0; k < count; ++k) {
            mt.keys[k].frame = version >= 8 ? static_cast<uint16_t>(s.read_short()) : static_cast<uint16_t>(k);
            s.read_vector(&mt.keys[k].position);
          }
          if (s.error() != 0) {
            ok = false;
          }
        }
        if (!ok) {
          release();
          return refuse(file, "the morph block is cut short or too large");
        }
      }
    }
    if (s.error() != 0) {
      release();
      return refuse(file, "the trailer is cut short");
    }
  }

  memory_counted_ = memory_share();
  g_counters.memory += memory_counted_;
  g_counters.peak_memory = std::max(g_counters.peak_memory, g_counters.memory);
  if (g_counters.memory_limit >= 0 && g_counters.memory > g_counters.memory_limit) {
    critical_error(__FILE__, __LINE__, "Skeletons using too much memory");
  }
  return true;
}
