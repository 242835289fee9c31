#include "tools/writers/effect_writer.h"

#include <cctype>
#include <cstring>
#include <fstream>

#include "quarn/geom/effect_image.h"
#include "tools/writers/byte_put.h"
#include "tools/writers/vim_writer.h"

namespace {
constexpr int kDefSize = 88;

// Names are looked up lower-cased, so that is the form they are hashed in.
uint32_t def_hash(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return effect_name_hash(name.c_str());
}

struct Image {
  std::vector<uint8_t> first;
  std::vector<uint8_t> second;

  uint32_t reserve(size_t n) {
    const uint32_t at = static_cast<uint32_t>(first.size());
    first.resize(first.size() + n, 0);
    return at;
  }
  void u8(uint32_t at, uint8_t v) { image_set_u8(first, at, v); }
  void u16(uint32_t at, uint16_t v) { image_set_u16(first, at, v); }
  void u32(uint32_t at, uint32_t v) { image_set_u32(first, at, v); }
  void f32(uint32_t at, float f) { image_set_f32(first, at, f); }
  void vec(uint32_t at, const vector& v) { image_set_vector(first, at, v); }
  // A name field's value: offset into the second area, its first byte coded
  // as 0xFFFFFFFF because 0 means none.
  uint32_t name(const std::string& s) {
    if (s.empty()) return 0;
    const uint32_t at = static_cast<uint32_t>(second.size());
    second.insert(second.end(), s.begin(), s.end());
    second.push_back(0);
    return at == 0 ? 0xFFFFFFFFu : at;
  }
  void track(uint32_t at, const EffectTrackSpec& t) {
    uint32_t stream = 0;
    if (!t.stream.empty()) {
      stream = reserve(t.stream.size());
      std::memcpy(&first[stream], t.stream.data(), t.stream.size());
    }
    u32(at, stream);
    u16(at + 4, static_cast<uint16_t>(t.stream.size()));
    u16(at + 6, t.base);
    u16(at + 8, 0);
    u16(at + 10, t.narrow ? 0x8000 : 0);
  }
  void tracks(uint32_t at, const EffectTrackSpec* t, int n) {
    for (int i = 0; i < n; i++) track(at + 12 * static_cast<uint32_t>(i), t[i]);
  }
};

void keyset(Image& img, uint32_t at, const std::vector<float>& values, const std::vector<float>& times, int override_count) {
  for (size_t i = 0; i < values.size() && i < 12; i++) img.f32(at + 4 * static_cast<uint32_t>(i), values[i]);
  for (size_t i = 0; i < times.size() && i < 12; i++) img.f32(at + 48 + 4 * static_cast<uint32_t>(i), times[i]);
  img.u8(at + 96, static_cast<uint8_t>(override_count >= 0 ? override_count : static_cast<int>(values.size())));
}

void write_def(Image& img, uint32_t def, const EffectDefSpec& d) {
  img.u32(def + 0, img.name(d.name));
  img.u16(def + 8, static_cast<uint16_t>(d.emitters.size()));
  img.u16(def + 10, static_cast<uint16_t>(d.nodes.size()));
  img.u16(def + 12, static_cast<uint16_t>(d.params.size()));
  img.u16(def + 18, static_cast<uint16_t>(d.length));
  img.u16(def + 22, static_cast<uint16_t>(d.vifs.size()));
  img.u32(def + 24, d.flags);
  img.u32(def + 28, d.pool_class);
  img.vec(def + 72, d.offset);
  img.u32(def + 84, d.copied);

  const uint32_t params = d.params.empty() ? 0 : img.reserve(160 * d.params.size());
  img.u32(def + 52, params);
  for (size_t i = 0; i < d.params.size(); i++) {
    const EffectParamSetSpec& p = d.params[i];
    const uint32_t r = params + 160 * static_cast<uint32_t>(i);
    img.u32(r + 0, img.name(p.name));
    img.u32(r + 12, static_cast<uint32_t>(p.key_count) << 8 | static_cast<uint32_t>(p.kind & 0xFF));
    img.tracks(r + 16, p.position, 3);
    img.tracks(r + 52, p.rotation, 4);
    img.tracks(r + 100, p.scalar, 5);
  }
  const uint32_t emitters = d.emitters.empty() ? 0 : img.reserve(232 * d.emitters.size());
  img.u32(def + 40, emitters);
  for (size_t i = 0; i < d.emitters.size(); i++) {
    const EffectEmitterSpec& e = d.emitters[i];
    const uint32_t r = emitters + 232 * static_cast<uint32_t>(i);
    img.u32(r + 0, img.name(e.name));
    img.u32(r + 4, img.name(e.parent));
    img.u32(r + 8, def);
    for (size_t k = 0; k < e.links.size() && k < 3; k++)
      img.u32(r + 12 + 4 * static_cast<uint32_t>(k), e.links[k] < 0 ? 0 : params + 160 * static_cast<uint32_t>(e.links[k]));
    img.u32(r + 24, (e.enabled ? 0x80000000u : 0) | static_cast<uint32_t>(e.links.size()));
    img.u16(r + 28, static_cast<uint16_t>(e.item_count));
    img.u16(r + 30, e.start_frame >= 0 ? static_cast<uint16_t>(0x8000 | e.start_frame) : 0);
    img.u32(r + 32, static_cast<uint32_t>(e.lifetime_ticks));
    img.f32(r + 36, e.lifetime_variation);
    img.u32(r + 40, e.flags);
    img.u8(r + 44, e.grow_end);
    img.u8(r + 45, e.shrink_start);
    img.u16(r + 46, static_cast<uint16_t>(e.fade_in_end));
    img.u16(r + 48, static_cast<uint16_t>(e.fade_out_start));
    img.u16(r + 50, static_cast<uint16_t>(e.stretch));
    img.u32(r + 56, static_cast<uint32_t>(e.rate_cycle) << 16);
    img.tracks(r + 76, e.position, 3);
    img.tracks(r + 112, e.rotation, 4);
    img.tracks(r + 160, e.scalar, 5);
    img.track(r + 220, e.rate);
  }
  const uint32_t nodes = d.nodes.empty() ? 0 : img.reserve(100 * d.nodes.size());
  img.u32(def + 48, nodes);
  for (size_t i = 0; i < d.nodes.size(); i++) {
    const EffectNodeSpec& n = d.nodes[i];
    const uint32_t r = nodes + 100 * static_cast<uint32_t>(i);
    img.u32(r + 0, img.name(n.name));
    img.u32(r + 4, img.name(n.parent));
    img.u32(r + 8, def);
    img.u16(r + 12, static_cast<uint16_t>(0x8000 | (n.key_count & 0x7FFF)));
    img.tracks(r + 16, n.position, 3);
    img.tracks(r + 52, n.rotation, 4);
  }
  const uint32_t vifs = d.vifs.empty() ? 0 : img.reserve(540 * d.vifs.size());
  img.u32(def + 44, vifs);
  for (size_t i = 0; i < d.vifs.size(); i++) {
    const VifEmitterSpec& v = d.vifs[i];
    const uint32_t r = vifs + 540 * static_cast<uint32_t>(i);
    img.u32(r + 0, img.name(v.name));
    img.u32(r + 4, img.name(v.parent));
    img.vec(r + 8, v.centre);
    img.f32(r + 20, 1.0f);
    img.f32(r + 36, 1.0f);
    img.f32(r + 52, 1.0f);
    img.f32(r + 56, v.size);
    img.f32(r + 60, v.radius);
    img.f32(r + 64, v.half_height);
    img.f32(r + 68, v.speed);
    img.f32(r + 72, v.speed_variation);
    img.f32(r + 76, v.lifetime);
    img.f32(r + 80, v.lifetime_variation);
    for (int k = 0; k < 5; k++) img.f32(r + 84 + 4 * static_cast<uint32_t>(k), v.ramps[k]);
    img.u16(r + 104, static_cast<uint16_t>(v.count));
    img.u16(r + 106, v.flags);
    img.u32(r + 112, img.name(v.bitmap));
    img.vec(r + 120, v.force_point);
    img.vec(r + 132, v.force_direction);
    keyset(img, r + 144, v.force_values, v.force_times, v.force_count_override);
    keyset(img, r + 244, v.interval_values, v.interval_times, v.interval_count_override);
    const uint32_t path = r + 344;
    for (size_t k = 0; k < v.path.size() && k < 12; k++) img.vec(path + 12 * static_cast<uint32_t>(k), v.path[k]);
    for (size_t k = 0; k < v.path_times.size() && k < 12; k++)
      img.f32(path + 144 + 4 * static_cast<uint32_t>(k), v.path_times[k]);
    img.u8(path + 192, static_cast<uint8_t>(v.path_count_override >= 0 ? v.path_count_override
                                                                       : static_cast<int>(v.path.size())));
  }
  // Records of these kinds are read in place, so they start on a word.
  auto aligned = [&](size_t n) {
    while (img.first.size() % 4) img.first.push_back(0);
    return n ? img.reserve(n) : 0u;
  };
  const uint32_t meshes = aligned(168 * d.meshes.size());
  const uint32_t channels = aligned(112 * d.channels.size());
  const uint32_t tracks = aligned(76 * d.material_tracks.size());
  const uint32_t paths = aligned(20 * d.paths.size());
  const uint32_t cameras = aligned(100 * d.cameras.size());
  const uint32_t selector = aligned(d.environment_track >= 0 ? 20 : 0);
  img.u16(def + 4, static_cast<uint16_t>(d.meshes.size()));
  img.u16(def + 16, static_cast<uint16_t>(d.paths.size()));
  img.u32(def + 60, paths);
  img.u16(def + 6, static_cast<uint16_t>(d.channels.size()));
  img.u16(def + 20, static_cast<uint16_t>(d.material_tracks.size()));
  img.u32(def + 32, meshes);
  img.u32(def + 36, channels);
  img.u32(def + 68, tracks);
  img.u16(def + 14, static_cast<uint16_t>(d.cameras.size()));
  img.u32(def + 56, cameras);
  img.u32(def + 64, selector);
  if (selector) img.u32(selector, static_cast<uint32_t>(d.environment_track));
  for (size_t i = 0; i < d.cameras.size(); i++) {
    const EffectCameraSpec& c = d.cameras[i];
    const uint32_t r = cameras + 100 * static_cast<uint32_t>(i);
    img.u32(r + 0, img.name(c.name));
    img.u32(r + 4, img.name(c.parent));
    img.u32(r + 8, (c.enabled ? 1u : 0u) | (c.drives ? 2u : 0u));
    img.u16(r + 12, static_cast<uint16_t>(c.key_count));
    img.tracks(r + 16, c.position, 3);
    img.tracks(r + 52, c.rotation, 4);
  }
  const EffectNameField names = [&img](const std::string& s) { return img.name(s); };
  for (size_t i = 0; i < d.meshes.size(); i++)
    write_mesh_element(img.first, meshes + 168 * static_cast<uint32_t>(i), d.meshes[i], names);
  for (size_t i = 0; i < d.channels.size(); i++)
    write_channel_element(img.first, channels + 112 * static_cast<uint32_t>(i), d.channels[i], names);
  for (size_t i = 0; i < d.material_tracks.size(); i++)
    write_effect_material(img.first, tracks + 76 * static_cast<uint32_t>(i), d.material_tracks[i], names);
  for (size_t i = 0; i < d.paths.size(); i++)
    write_motion_path(img.first, paths + 20 * static_cast<uint32_t>(i), d.paths[i]);
}

std::vector<uint8_t> with_header(const Image& img, uint16_t def_count) {
  std::vector<uint8_t> out;
  put_u16(out, def_count);
  put_u16(out, 9);
  put_u32(out, static_cast<uint32_t>(img.first.size()));
  put_u32(out, static_cast<uint32_t>(img.second.size()));
  put_u32(out, 0);
  put_u32(out, 0);
  out.insert(out.end(), img.first.begin(), img.first.end());
  out.insert(out.end(), img.second.begin(), img.second.end());
  return out;
}
}  // namespace

EffectTrackSpec effect_track_constant(int16_t value, int frames) {
  EffectTrackSpec t;
  const uint16_t v = static_cast<uint16_t>(value);
  while (frames > 0) {
    const int n = frames > 255 ? 255 : frames;
    t.stream.insert(t.stream.end(), {1, static_cast<uint8_t>(n), static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    frames -= n;
  }
  return t;
}

EffectTrackSpec effect_track_frames(const std::vector<int16_t>& values) {
  EffectTrackSpec t;
  for (int16_t value : values) {
    const uint16_t v = static_cast<uint16_t>(value);
    if (v & 1) t.stream.insert(t.stream.end(), {1, 1, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    else t.stream.insert(t.stream.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }
  return t;
}

EffectTrackSpec effect_track_raw(std::vector<uint8_t> bytes, uint16_t base, bool narrow) {
  EffectTrackSpec t;
  t.stream = std::move(bytes);
  t.base = base;
  t.narrow = narrow;
  return t;
}

std::vector<uint8_t> effect_file_build(const std::vector<EffectDefSpec>& defs) {
  Image img;
  const uint32_t table = img.reserve(8 * defs.size());
  std::vector<uint32_t> offsets;
  for (size_t i = 0; i < defs.size(); i++) offsets.push_back(img.reserve(kDefSize));
  for (size_t i = 0; i < defs.size(); i++) {
    img.u32(table + 8 * static_cast<uint32_t>(i), def_hash(defs[i].name));
    img.u32(table + 8 * static_cast<uint32_t>(i) + 4, offsets[i]);
    write_def(img, offsets[i], defs[i]);
  }
  if (img.second.empty()) img.second.push_back(0);
  return with_header(img, static_cast<uint16_t>(defs.size()));
}

EffectImage effect_file_view(std::vector<uint8_t>& f) {
  if (f.size() < 20) return EffectImage{};
  const uint32_t first = f[4] | f[5] << 8 | f[6] << 16 | static_cast<uint32_t>(f[7]) << 24;
  const uint32_t second = f[8] | f[9] << 8 | f[10] << 16 | static_cast<uint32_t>(f[11]) << 24;
  return effect_image_view(f.data() + 20, first, second, static_cast<uint32_t>(f[0] | f[1] << 8));
}

bool effect_file_write(const std::string& path, const std::vector<EffectDefSpec>& defs) {
  return writer_put_file(path, effect_file_build(defs));
}

std::vector<uint8_t> effect_file_sized(const std::string& def_name, uint32_t image_bytes) {
  Image img;
  img.reserve(8 + kDefSize);
  img.u32(0, def_hash(def_name));
  img.u32(4, 8);
  img.u32(8, img.name(def_name));
  img.u16(8 + 18, 30);
  // The rest is padding inside the first area, up to the size asked for.
  const size_t second = img.second.size();
  if (image_bytes > img.first.size() + second) img.first.resize(image_bytes - second, 0);
  return with_header(img, 1);
}

std::string effect_list_text(const std::vector<EffectListEntry>& entries) {
  std::string s = "; effect files: file, pool, the names the game asks for\r\n";
  for (const auto& e : entries) {
    s += e.file + " " + e.pool + " ";
    for (size_t i = 0; i < e.names.size(); i++) s += (i ? ", " : "") + e.names[i];
    s += "\r\n";
  }
  return s;
}

bool effect_list_write(const std::string& path, const std::vector<EffectListEntry>& entries) {
  const std::string s = effect_list_text(entries);
  return writer_put_file(path, std::vector<uint8_t>(s.begin(), s.end()));
}
