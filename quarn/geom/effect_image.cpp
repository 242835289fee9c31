#include "quarn/geom/effect_image.h"

#include <cstdio>
#include <cstring>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_keys.h"
#include "quarn/geom/vif_emitter.h"

namespace {
effect_def_checker g_def_checker = nullptr;

struct ArrayShape {
  int count_field;
  int record_size;
  int limit;  // 0: none
};
// Indexed by EffectArray; the environment selector is a single record.
const ArrayShape kArrays[EFFECT_ARRAY_KINDS] = {
    {EFFECT_DEF_MESH_COUNT, EFFECT_MESH_ELEMENT_SIZE, EFFECT_MAX_MESH_ELEMENTS},
    {EFFECT_DEF_CHANNEL_COUNT, EFFECT_CHANNEL_ELEMENT_SIZE, EFFECT_MAX_CHANNEL_ELEMENTS},
    {EFFECT_DEF_EMITTER_COUNT, EFFECT_EMITTER_DEF_SIZE, EFFECT_MAX_EMITTERS},
    {EFFECT_DEF_VIF_COUNT, VIF_EMITTER_DEF_SIZE, 0},
    {EFFECT_DEF_NODE_COUNT, EFFECT_NODE_DEF_SIZE, EFFECT_MAX_NODES},
    {EFFECT_DEF_PARAM_SET_COUNT, EFFECT_PARAM_SET_SIZE, EFFECT_MAX_PARAM_SETS},
    {EFFECT_DEF_CAMERA_COUNT, EFFECT_CAMERA_ELEMENT_SIZE, 0},
    {EFFECT_DEF_SMALL_COUNT, EFFECT_SMALL_RECORD_SIZE, 0},
    {-1, EFFECT_ENVIRONMENT_SELECTOR_SIZE, 0},
    {EFFECT_DEF_MATERIAL_COUNT, EFFECT_MATERIAL_TRACK_SIZE, 0},
};

bool fail(char* err, int n, const char* what, int def, int record) {
  if (err && n > 0) std::snprintf(err, static_cast<size_t>(n), "definition %d: %s (record %d)", def, what, record);
  return false;
}

bool track_ok(const EffectImage& img, uint32_t off) {
  if (!img.has(off, EFFECT_KEY_TRACK_SIZE)) return false;
  const uint32_t stream = img.u32(off);
  return stream == 0 || img.has(stream, img.u16(off + 4));
}
bool tracks_ok(const EffectImage& img, uint32_t off, int n) {
  for (int i = 0; i < n; i++)
    if (!track_ok(img, off + static_cast<uint32_t>(i) * EFFECT_KEY_TRACK_SIZE)) return false;
  return true;
}
}  // namespace

uint8_t EffectImage::u8(uint32_t off) const { return has(off, 1) ? data[off] : 0; }
uint16_t EffectImage::u16(uint32_t off) const {
  return has(off, 2) ? static_cast<uint16_t>(data[off] | data[off + 1] << 8) : 0;
}
uint32_t EffectImage::u32(uint32_t off) const {
  if (!has(off, 4)) return 0;
  return static_cast<uint32_t>(data[off]) | static_cast<uint32_t>(data[off + 1]) << 8 |
         static_cast<uint32_t>(data[off + 2]) << 16 | static_cast<uint32_t>(data[off + 3]) << 24;
}
float EffectImage::f32(uint32_t off) const {
  const uint32_t bits = u32(off);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
void EffectImage::put_u32(uint32_t off, uint32_t v) {
  if (!has(off, 4)) return;
  for (int i = 0; i < 4; i++) data[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
const char* EffectImage::name(uint32_t field) const {
  if (field == 0 || !data) return nullptr;
  const uint32_t rel = field == EFFECT_NAME_AT_START ? 0 : field;
  if (first_size > size || rel >= size - first_size) return nullptr;
  const uint32_t at = first_size + rel;
  if (!std::memchr(data + at, 0, size - at)) return nullptr;
  return reinterpret_cast<const char*>(data + at);
}

EffectImage effect_image_view(void* data, uint32_t first_size, uint32_t second_size, uint32_t def_count) {
  EffectImage img;
  img.data = static_cast<uint8_t*>(data);
  img.first_size = first_size;
  img.size = first_size + (second_size & EFFECT_SECOND_SIZE_MASK);
  img.def_count = def_count;
  return img;
}

uint32_t effect_name_hash(const char* name) {
  if (!name) return 0;
  uint32_t bits = 0, sum = 0;
  for (const char* p = name; *p; p++) {
    const char c = *p;
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    bits = bits << 1 | (static_cast<uint32_t>(static_cast<unsigned char>(lower)) & 1u);
    sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  }
  return bits << 16 ^ sum;
}

uint32_t effect_image_def_offset(const EffectImage& img, int i) {
  if (i < 0 || static_cast<uint32_t>(i) >= img.def_count) return 0;
  const uint32_t entry = static_cast<uint32_t>(i) * EFFECT_DEF_TABLE_ENTRY;
  if (!img.has(entry, EFFECT_DEF_TABLE_ENTRY)) return 0;
  const uint32_t off = img.u32(entry + 4);
  return img.has(off, EFFECT_DEF_SIZE) && off > 0 ? off : 0;
}
uint32_t effect_image_def_hash(const EffectImage& img, int i) {
  if (i < 0 || static_cast<uint32_t>(i) >= img.def_count) return 0;
  return img.u32(static_cast<uint32_t>(i) * EFFECT_DEF_TABLE_ENTRY);
}

EffectDefArray effect_def_array(const EffectImage& img, uint32_t def, int kind) {
  EffectDefArray a;
  if (kind < 0 || kind >= EFFECT_ARRAY_KINDS || !img.has(def, EFFECT_DEF_SIZE)) return a;
  const ArrayShape& s = kArrays[kind];
  a.record_size = s.record_size;
  a.offset = img.u32(def + EFFECT_DEF_ARRAYS + 4 * static_cast<uint32_t>(kind));
  int count = s.count_field < 0 ? (a.offset ? 1 : 0) : img.i16(def + static_cast<uint32_t>(s.count_field));
  if (count < 0 || a.offset == 0) count = 0;
  if (s.limit && count > s.limit) count = s.limit;
  // Records that do not lie wholly inside the image are not there.
  while (count > 0 && !img.has(a.offset, static_cast<uint32_t>(count) * static_cast<uint32_t>(s.record_size))) count--;
  a.count = count;
  return a;
}

int effect_def_length(const EffectImage& img, uint32_t def) { return img.i16(def + EFFECT_DEF_LENGTH); }

bool effect_image_check(const EffectImage& img, char* err, int n) {
  if (!img.valid()) return fail(err, n, "no image", -1, -1);
  if (img.first_size > img.size) return fail(err, n, "first area larger than the image", -1, -1);
  if (static_cast<uint64_t>(img.def_count) * EFFECT_DEF_TABLE_ENTRY > img.first_size)
    return fail(err, n, "definition table outside the first area", -1, -1);
  for (int d = 0; d < static_cast<int>(img.def_count); d++) {
    const uint32_t def = effect_image_def_offset(img, d);
    if (!def) return fail(err, n, "definition outside the image", d, -1);
    for (int k = 0; k < EFFECT_ARRAY_KINDS; k++) {
      const ArrayShape& s = kArrays[k];
      const uint32_t off = img.u32(def + EFFECT_DEF_ARRAYS + 4 * static_cast<uint32_t>(k));
      int count = s.count_field < 0 ? (off ? 1 : 0) : img.i16(def + static_cast<uint32_t>(s.count_field));
      if (count < 0) return fail(err, n, "negative element count", d, k);
      if (s.limit && count > s.limit) count = s.limit;
      if (count > 0 && (off == 0 || !img.has(off, static_cast<uint32_t>(count) * static_cast<uint32_t>(s.record_size))))
        return fail(err, n, "element array outside the image", d, k);
    }
    const EffectDefArray params = effect_def_array(img, def, EFFECT_ARRAY_PARAM_SET);
    for (int i = 0; i < params.count; i++) {
      const uint32_t r = params.record(i);
      if (!tracks_ok(img, r + EFFECT_PARAM_POSITION, 3) || !tracks_ok(img, r + EFFECT_PARAM_ROTATION, 4) ||
          !tracks_ok(img, r + EFFECT_PARAM_SCALARS, EFFECT_PARAM_SCALAR_COUNT))
        return fail(err, n, "parameter-set key track outside the image", d, i);
    }
    const EffectDefArray emitters = effect_def_array(img, def, EFFECT_ARRAY_EMITTER);
    for (int i = 0; i < emitters.count; i++) {
      const uint32_t r = emitters.record(i);
      if (!tracks_ok(img, r + EMITTER_POSITION, 3) || !tracks_ok(img, r + EMITTER_ROTATION, 4) ||
          !tracks_ok(img, r + EMITTER_SCALARS, EFFECT_EMITTER_SCALARS) || !track_ok(img, r + EMITTER_RATE))
        return fail(err, n, "emitter key track outside the image", d, i);
      if ((img.u32(r + EMITTER_LINK_WORD) & 0x7FFFFFFF) > EFFECT_EMITTER_LINKS)
        return fail(err, n, "emitter links more than three parameter sets", d, i);
      for (int k = 0; k < EFFECT_EMITTER_LINKS; k++) {
        const uint32_t link = img.u32(r + EMITTER_LINKS + 4 * static_cast<uint32_t>(k));
        if (link == 0) continue;
        if (link < params.offset || params.count == 0 ||
            link >= params.offset + static_cast<uint32_t>(params.count) * EFFECT_PARAM_SET_SIZE ||
            (link - params.offset) % EFFECT_PARAM_SET_SIZE != 0)
          return fail(err, n, "emitter link is not a parameter set of its definition", d, i);
      }
      if (img.i16(r + EMITTER_ITEM_COUNT) < 0) return fail(err, n, "negative item count", d, i);
    }
    const EffectDefArray nodes = effect_def_array(img, def, EFFECT_ARRAY_NODE);
    for (int i = 0; i < nodes.count; i++) {
      const uint32_t r = nodes.record(i);
      if (!tracks_ok(img, r + NODE_POSITION, 3) || !tracks_ok(img, r + NODE_ROTATION, 4))
        return fail(err, n, "node key track outside the image", d, i);
    }
    const EffectDefArray vifs = effect_def_array(img, def, EFFECT_ARRAY_VIF);
    for (int i = 0; i < vifs.count; i++) {
      VifEmitterDef v;
      if (!vif_emitter_def_at(img, vifs.record(i), v))
        return fail(err, n, "VIF emitter key count above 12", d, i);
    }
    if (g_def_checker && !g_def_checker(img, def, err, n)) return false;
  }
  return true;
}

void effect_image_set_def_checker(effect_def_checker checker) { g_def_checker = checker; }
