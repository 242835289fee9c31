// Writer of .mvf animations and animation packs.
#include "tools/writers/mvf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/writers/byte_put.h"

#include "tools/writers/vim_writer.h"

namespace {

void putv(std::vector<uint8_t>& out, const std::array<float, 3>& v) {
  for (float f : v) put_f32(out, f);
}
int16_t packed(float c) { return static_cast<int16_t>(c * 16383.0f); }

}  // namespace

std::vector<uint8_t> mvf_build(const MvfWriterAnim& a) {
  std::vector<uint8_t> out;
  const int v = a.version;
  if (v > 0) {
    put_u32(out, 0x46564D56u);
    put_u32(out, static_cast<uint32_t>(v));
  }
  put_u32(out, static_cast<uint32_t>(a.first_tick));
  put_u32(out, static_cast<uint32_t>(a.last_tick));
  for (float f : a.root_rotation) put_f32(out, f);
  putv(out, a.root_displacement);
  put_u32(out, static_cast<uint32_t>(a.bones.size()));
  if (v >= 5) {
    size_t rot = 0, pos = 0;
    for (const auto& b : a.bones) {
      rot += b.rotations.size();
      pos += b.positions.size();
    }
    put_u32(out, static_cast<uint32_t>(rot));
    put_u32(out, static_cast<uint32_t>(pos));
  }
  for (const auto& b : a.bones) {
    out.push_back(b.weight);
    put_u32(out, static_cast<uint32_t>(b.rotations.size()));
    for (const auto& k : b.rotations) {
      put_u32(out, static_cast<uint32_t>(k.tick));
      if (v < 2) {
        for (float f : k.q) put_f32(out, f);
        put_f32(out, k.tension);
        put_f32(out, k.continuity);
        put_f32(out, k.bias);
        put_f32(out, k.ease_to * 50.0f);
        put_f32(out, k.ease_from * 50.0f);
      } else {
        for (float f : k.q) put_u16(out, static_cast<uint16_t>(packed(f)));
        for (int d = 0; d < 8; ++d) put_u16(out, 0);
        if (v < 5) {
          put_f32(out, k.ease_to * 50.0f);
          put_f32(out, k.ease_from * 50.0f);
        } else {
          out.push_back(static_cast<uint8_t>(std::lround(k.ease_to * 127.0f)));
          out.push_back(static_cast<uint8_t>(std::lround(k.ease_from * 127.0f)));
        }
      }
    }
    put_u32(out, static_cast<uint32_t>(b.positions.size()));
    for (const auto& k : b.positions) {
      put_u32(out, static_cast<uint32_t>(k.tick));
      putv(out, k.value);
      if (v < 2) {
        // Old files keep the controls as offsets from the key's value.
        putv(out, {k.in_control[0] - k.value[0], k.in_control[1] - k.value[1], k.in_control[2] - k.value[2]});
        putv(out, {k.out_control[0] - k.value[0], k.out_control[1] - k.value[1], k.out_control[2] - k.value[2]});
      } else {
        putv(out, k.in_control);
        putv(out, k.out_control);
      }
    }
  }
  if (!a.trailer) return out;
  put_u32(out, static_cast<uint32_t>(a.fade_in_frames));
  put_u32(out, static_cast<uint32_t>(a.fade_out_frames));
  for (int i = 0; i < 5; ++i) {
    char field[255] = {};
    int32_t tick = a.first_tick;
    if (i < static_cast<int>(a.sounds.size())) {
      std::strncpy(field, a.sounds[i].name.c_str(), 254);
      tick = a.sounds[i].tick;
    }
    out.insert(out.end(), field, field + 255);
    put_u32(out, static_cast<uint32_t>(tick));
  }
  if (v >= 4) {
    const size_t keys = a.morph.empty() ? 0 : a.morph[0].keys.size();
    put_u32(out, static_cast<uint32_t>(a.morph.size()));
    put_u32(out, static_cast<uint32_t>(a.morph.empty() ? 0 : std::max<size_t>(keys, 1)));
    for (const auto& m : a.morph) {
      if (v >= 8) {
        put_u16(out, static_cast<uint16_t>(m.index));
        put_u16(out, static_cast<uint16_t>(m.keys.size()));
        for (const auto& k : m.keys) {
          put_u16(out, k.first);
          putv(out, k.second);
        }
      } else {
        put_u32(out, static_cast<uint32_t>(m.index));
        for (size_t k = 0; k < std::max<size_t>(keys, 1); ++k) {
          putv(out, k < m.keys.size() ? m.keys[k].second : std::array<float, 3>{0, 0, 0});
        }
      }
    }
  }
  return out;
}

bool mvf_write_file(const std::string& path, const MvfWriterAnim& anim) {
  return writer_put_file(path, mvf_build(anim));
}

std::vector<uint8_t> anim_pack_build(const std::vector<AnimPackEntry>& entries) {
  std::vector<uint8_t> out;
  const uint32_t header = 16, dir = static_cast<uint32_t>(entries.size() * 72);
  uint32_t total = header + dir;
  for (const auto& e : entries) total += static_cast<uint32_t>(e.bytes.size());
  put_u32(out, 0);
  put_u32(out, 0);
  put_u32(out, static_cast<uint32_t>(entries.size()));
  put_u32(out, total);
  uint32_t offset = header + dir;
  for (const auto& e : entries) {
    char name[64] = {};
    std::strncpy(name, e.name.c_str(), 63);
    out.insert(out.end(), name, name + 64);
    put_u32(out, static_cast<uint32_t>(e.bytes.size()));
    put_u32(out, offset);
    offset += static_cast<uint32_t>(e.bytes.size());
  }
  for (const auto& e : entries) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
  return out;
}
