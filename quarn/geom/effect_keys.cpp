#include "quarn/geom/effect_keys.h"

#include <cmath>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "quarn/ca/character_instance.h"

namespace {
constexpr uint16_t kFrameMask = 0x3FFF;

uint16_t value_at(const uint8_t* s, bool narrow) {
  return narrow ? s[0] : static_cast<uint16_t>(s[0] | s[1] << 8);
}

// The whole frames around a fractional frame: f1 stays on f0 at the last key.
void frames_around(float frame, int key_count, int& f0, int& f1, float& t) {
  if (!(frame >= 0.0f)) frame = 0.0f;
  if (frame > EFFECT_KEY_MAX_FRAME) frame = EFFECT_KEY_MAX_FRAME;
  f0 = static_cast<int>(frame);
  f1 = f0 + 1 < key_count ? f0 + 1 : f0;
  t = frame - static_cast<float>(f0);
}

void tag_frame(character_instance* ch, uint32_t flags, vector& pos, quaternion& rot) {
  if (!ch || !(flags & EFFECT_PARAM_BOUND)) return;
  matrix tag_orient;
  effect_tag_place(ch, static_cast<int>(flags & EFFECT_PARAM_TAG_MASK), pos, tag_orient);
  quaternion tq, out;
  tq.from_matrix(tag_orient);
  tq.multiply(out, rot);
  rot = out;
}
}  // namespace

void effect_tag_place(character_instance* ch, int tag, vector& pos, matrix& tag_orient) {
  matrix identity;
  identity.identity();
  vector tag_pos;
  ch->get_tag_transform(tag, identity, vector{0, 0, 0}, &tag_orient, &tag_pos);
  vector world;
  pos.unrotated(world, tag_orient);
  pos = world + tag_pos;
}

EffectKeyTrack effect_key_track_make(const uint8_t* stream, uint16_t length, uint16_t base, bool narrow) {
  EffectKeyTrack t;
  t.stream = length ? stream : nullptr;
  t.length = stream ? length : 0;
  t.base = base;
  t.narrow = narrow;
  return t;
}

EffectKeyTrack effect_key_track_at(const EffectImage& img, uint32_t off) {
  EffectKeyTrack t;
  if (!img.has(off, EFFECT_KEY_TRACK_SIZE)) return t;
  const uint32_t stream = img.u32(off);
  const uint16_t length = img.u16(off + 4);
  t.base = img.u16(off + 6);
  t.narrow = (img.u16(off + 10) & 0x8000) != 0;
  if (stream != 0 && length > 0 && img.has(stream, length)) {
    t.stream = img.data + stream;
    t.length = length;
  }
  return effect_key_track_decode(t);
}

namespace {
// Decoded tracks by their bytes (and base and width), so equal tracks of any
// image share one array and nothing can go stale when an image moves or goes.
// Bounded: past the bound tracks are read from their streams.
struct DecodedTracks {
  std::mutex lock;
  std::unordered_map<std::string, std::vector<int16_t>> by_bytes;
  size_t values = 0;
};
constexpr size_t kMaxDecodedValues = 4u << 20;

DecodedTracks& decoded_tracks() {
  static DecodedTracks* d = new DecodedTracks;  // never torn down: tracks may be read at exit
  return *d;
}

// Every frame's value as effect_key_track_read gives it, and whether the
// stream ends in the exhausted mark. False for a stream whose frames run
// past the frame counter.
bool decode_stream(const EffectKeyTrack& t, std::vector<int16_t>& out, bool& exhausts) {
  const uint8_t* s = t.stream;
  const uint32_t len = t.length, width = t.narrow ? 1 : 2;
  const auto value = [&](uint32_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(t.base + value_at(s + at, t.narrow)));
  };
  exhausts = false;
  out.clear();
  uint32_t pos = 0;
  while (pos < len) {
    const uint8_t first = s[pos];
    if (first & 1) {
      if (pos + 1 >= len) break;
      const uint32_t n = s[pos + 1];
      if (n == 0) {
        exhausts = true;
        break;
      }
      if (out.size() + n > kFrameMask + 1u) return false;
      if (first != 1) {  // a run of another kind: no value inside it, and nothing after
        out.insert(out.end(), n, 0);
        exhausts = true;
        break;
      }
      if (pos + 2 + width > len) {
        out.insert(out.end(), n, 0);
        break;
      }
      out.insert(out.end(), n, value(pos + 2));
      pos += 2 + width;
    } else {
      if (pos + width > len) break;
      if (out.size() + 1 > kFrameMask + 1u) return false;
      out.push_back(value(pos));
      pos += width;
    }
  }
  return true;
}
}  // namespace

EffectKeyTrack effect_key_track_decode(const EffectKeyTrack& track) {
  EffectKeyTrack t = track;
  t.decoded = nullptr;
  std::string key(reinterpret_cast<const char*>(track.stream ? track.stream : reinterpret_cast<const uint8_t*>("")),
                  track.stream ? track.length : 0);
  key.push_back(static_cast<char>(track.base & 0xFF));
  key.push_back(static_cast<char>(track.base >> 8));
  key.push_back(track.narrow ? 1 : 0);
  DecodedTracks& d = decoded_tracks();
  std::lock_guard<std::mutex> hold(d.lock);
  auto it = d.by_bytes.find(key);
  if (it == d.by_bytes.end()) {
    std::vector<int16_t> values;
    bool exhausts = false;
    if (!decode_stream(track, values, exhausts) || d.values + values.size() > kMaxDecodedValues) return t;
    // The last slot holds whether the end exhausts.
    values.push_back(exhausts ? 1 : 0);
    d.values += values.size();
    it = d.by_bytes.emplace(std::move(key), std::move(values)).first;
  }
  const std::vector<int16_t>& v = it->second;
  t.decoded_count = static_cast<uint16_t>(v.size() - 1);
  t.end_exhausts = v.back() != 0;
  t.decoded = v.data();
  return t;
}

int16_t effect_key_track_read(const EffectKeyTrack& track, EffectKeyState& st, int f) {
  if (st.exhausted) return EFFECT_KEY_NO_VALUE;
  if (f < 0) f = 0;
  if (f > EFFECT_KEY_MAX_FRAME) f = EFFECT_KEY_MAX_FRAME;
  if (f < st.frame) {
    st.read_pos = 0;
    st.frame = 0;
  }
  const uint8_t* s = track.stream;
  const uint32_t len = track.length;
  const uint32_t width = track.narrow ? 1 : 2;
  while (st.read_pos < len) {
    const uint32_t pos = st.read_pos;
    const uint8_t first = s[pos];
    if (first & 1) {
      if (pos + 1 >= len) return 0;  // cut short by the stream's end
      const uint32_t n = s[pos + 1];
      if (n == 0) {
        st.exhausted = true;
        return EFFECT_KEY_NO_VALUE;
      }
      if (f >= st.frame && static_cast<uint32_t>(f) < st.frame + n) {
        if (first != 1) return 0;
        if (pos + 2 + width > len) return 0;
        return static_cast<int16_t>(static_cast<uint16_t>(track.base + value_at(s + pos + 2, track.narrow)));
      }
      if (first != 1) {
        st.exhausted = true;
        return EFFECT_KEY_NO_VALUE;
      }
      st.frame = static_cast<uint16_t>((st.frame + n) & kFrameMask);
      st.read_pos = static_cast<uint16_t>(pos + 2 + width);
    } else {
      if (pos + width > len) return 0;
      if (static_cast<uint32_t>(f) == st.frame)
        return static_cast<int16_t>(static_cast<uint16_t>(track.base + value_at(s + pos, track.narrow)));
      st.frame = static_cast<uint16_t>((st.frame + 1) & kFrameMask);
      st.read_pos = static_cast<uint16_t>(pos + width);
    }
    if (st.read_pos >= len) return 0;
  }
  return 0;
}

EffectVectorTrack effect_vector_track_at(const EffectImage& img, uint32_t off) {
  EffectVectorTrack t;
  for (int i = 0; i < 3; i++) t.axis[i] = effect_key_track_at(img, off + static_cast<uint32_t>(i) * EFFECT_KEY_TRACK_SIZE);
  return t;
}

vector effect_vector_track_value(const EffectVectorTrack& track, EffectVectorState& st, int frame) {
  return {effect_key_float(effect_key_track_value(track.axis[0], st.axis[0], frame)),
          effect_key_float(effect_key_track_value(track.axis[1], st.axis[1], frame)),
          effect_key_float(effect_key_track_value(track.axis[2], st.axis[2], frame))};
}

EffectRotationTrack effect_rotation_track_at(const EffectImage& img, uint32_t off) {
  EffectRotationTrack t;
  for (int i = 0; i < 4; i++) t.part[i] = effect_key_track_at(img, off + static_cast<uint32_t>(i) * EFFECT_KEY_TRACK_SIZE);
  return t;
}

packed_quaternion effect_rotation_track_value(const EffectRotationTrack& track, EffectRotationState& st, int frame) {
  return {effect_key_track_value(track.part[0], st.part[0], frame),
          effect_key_track_value(track.part[1], st.part[1], frame),
          effect_key_track_value(track.part[2], st.part[2], frame),
          effect_key_track_value(track.part[3], st.part[3], frame)};
}

bool effect_param_set_def_at(const EffectImage& img, uint32_t off, EffectParamSetDef& out) {
  out = EffectParamSetDef{};
  if (off == 0 || !img.has(off, EFFECT_PARAM_SET_SIZE)) return false;
  out.offset = off;
  out.name = img.name_at(off + EFFECT_PARAM_NAME);
  out.parent = img.name_at(off + EFFECT_PARAM_PARENT);
  const uint32_t keys = img.u32(off + EFFECT_PARAM_KEYS);
  out.key_count = static_cast<int>(keys >> 8);
  out.kind = static_cast<int>(keys & 0xFF);
  out.position = effect_vector_track_at(img, off + EFFECT_PARAM_POSITION);
  out.rotation = effect_rotation_track_at(img, off + EFFECT_PARAM_ROTATION);
  for (int i = 0; i < EFFECT_PARAM_SCALAR_COUNT; i++)
    out.scalar[i] = effect_key_track_at(img, off + EFFECT_PARAM_SCALARS + static_cast<uint32_t>(i) * EFFECT_KEY_TRACK_SIZE);
  return true;
}

float effect_param_scalar_float(int index, int16_t v) {
  return index == 0 ? static_cast<float>(v) * 2000.0f : static_cast<float>(v) / 256.0f;
}

void EffectParamRun::reset() {
  frame = -1.0f;
  position.zero();
  prev_position.zero();
  rotation.identity();
  prev_rotation.identity();
  for (int k = 0; k < 2; k++) {
    position_keys[k].reset();
    rotation_keys[k].reset();
    for (auto& s : scalar_keys) s[k].reset();
  }
}

void effect_param_set_sample(EffectParamRun& run, const EffectParamSetDef& def, float frame) {
  int f0, f1;
  float t;
  frames_around(frame, def.key_count, f0, f1, t);
  const vector p0 = effect_vector_track_value(def.position, run.position_keys[0], f0);
  const vector p1 = effect_vector_track_value(def.position, run.position_keys[1], f1);
  vector pos = p1 * t + p0 * (1.0f - t);
  quaternion q0, q1, rot;
  effect_rotation_track_value(def.rotation, run.rotation_keys[0], f0).to_quaternion(q0);
  effect_rotation_track_value(def.rotation, run.rotation_keys[1], f1).to_quaternion(q1);
  quaternion_slerp(rot, q0, q1, t);
  tag_frame(run.bound, run.flags, pos, rot);
  if (frame > run.frame) {
    run.prev_position = run.position;
    run.prev_rotation = run.rotation;
  }
  run.position = pos;
  run.rotation = rot;
  const float last = static_cast<float>(def.key_count - 1);
  run.frame = def.key_count > 0 && frame > last ? last : frame;
}

void effect_param_set_values(EffectParamRun& run, const EffectParamSetDef& def, EffectParamValues& out, float frame) {
  int f0, f1;
  float t;
  frames_around(frame, def.key_count, f0, f1, t);
  out.position = run.position * t + run.prev_position * (1.0f - t);
  quaternion q;
  quaternion_slerp(q, run.prev_rotation, run.rotation, t);
  matrix m;
  q.to_matrix(m);
  out.axis = m.up;
  out.axis.normalize_safe();
  for (int i = 0; i < EFFECT_PARAM_SCALAR_COUNT; i++) {
    const float v0 = effect_param_scalar_float(i, effect_key_track_value(def.scalar[i], run.scalar_keys[i][0], f0));
    const float v1 = effect_param_scalar_float(i, effect_key_track_value(def.scalar[i], run.scalar_keys[i][1], f1));
    out.scalar[i] = v1 * t + v0 * (1.0f - t);
  }
}
