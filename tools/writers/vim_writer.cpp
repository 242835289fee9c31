// Writer of .vim meshes.
#include "tools/writers/vim_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/writers/byte_put.h"

namespace {

struct Block {
  std::vector<uint8_t> b;
  void u32_at(size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void u16_at(size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void f32_at(size_t at, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    u32_at(at, u);
  }
  void grow(size_t n) {
    if (b.size() < n) b.resize(n, 0);
  }
};

size_t align16(size_t v) { return (v + 15) & ~static_cast<size_t>(15); }

void put_str(std::vector<uint8_t>& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

}  // namespace

std::vector<uint8_t> vim_build(const VimWriterMesh& m) {
  const bool morph = (m.flags & 1) != 0;
  Block blk;
  size_t off = align16(m.groups.size() * 48);
  blk.grow(off);
  struct Sizes {
    uint16_t vc, fc, pos, face, uv, skin, dup;
  };
  std::vector<Sizes> sizes;
  for (size_t g = 0; g < m.groups.size(); ++g) {
    const VimWriterGroup& gr = m.groups[g];
    const size_t rec = g * 48;
    Sizes s{};
    s.vc = static_cast<uint16_t>(gr.positions.size());
    s.fc = static_cast<uint16_t>(gr.faces.size());
    s.pos = static_cast<uint16_t>(s.vc * 12);
    s.face = static_cast<uint16_t>(s.fc * 16);
    s.uv = static_cast<uint16_t>(s.vc * 8);
    s.skin = static_cast<uint16_t>(gr.skin.empty() ? 0 : s.vc * 8);
    s.dup = static_cast<uint16_t>(s.vc * 2);
    sizes.push_back(s);
    auto place = [&](size_t bytes) {
      const size_t at = off;
      off = align16(off + bytes);
      blk.grow(off);
      return at;
    };
    const size_t p = place(s.pos), n = place(s.pos), uv = place(s.uv), f = place(s.face), d = place(s.dup);
    for (size_t v = 0; v < s.vc; ++v) {
      for (int k = 0; k < 3; ++k) {
        blk.f32_at(p + v * 12 + k * 4, gr.positions[v][k]);
        blk.f32_at(n + v * 12 + k * 4, v < gr.normals.size() ? gr.normals[v][k] : (k == 1 ? 1.0f : 0.0f));
      }
      for (int k = 0; k < 2; ++k) blk.f32_at(uv + v * 8 + k * 4, v < gr.uvs.size() ? gr.uvs[v][k] : 0.0f);
      blk.u16_at(d + v * 2, static_cast<uint16_t>(v < gr.dup_map.size() ? gr.dup_map[v] : -1));
    }
    for (size_t i = 0; i < s.fc; ++i) {
      for (int k = 0; k < 3; ++k) blk.u32_at(f + i * 16 + k * 4, gr.faces[i].v[k]);
      blk.u16_at(f + i * 16 + 12, static_cast<uint16_t>(gr.faces[i].flags));
    }
    size_t sk = 0, mm = 0;
    if (s.skin) {
      sk = place(s.skin);
      for (size_t v = 0; v < s.vc; ++v) {
        for (int k = 0; k < 8; ++k) blk.b[sk + v * 8 + k] = gr.skin[v][k];
      }
    }
    if (morph) {
      mm = place(static_cast<size_t>(m.morph_vertex_count) * 2);
      for (int i = 0; i < m.morph_vertex_count; ++i) {
        blk.u16_at(mm + i * 2, static_cast<uint16_t>(i < static_cast<int>(gr.morph_map.size()) ? gr.morph_map[i] : -1));
      }
    }
    // The reference fields hold offsets into the block (0 for none).
    blk.u32_at(rec + 0, static_cast<uint32_t>(p));
    blk.u32_at(rec + 4, static_cast<uint32_t>(n));
    blk.u32_at(rec + 8, static_cast<uint32_t>(uv));
    blk.u32_at(rec + 12, static_cast<uint32_t>(f));
    blk.u32_at(rec + 16, static_cast<uint32_t>(d));
    blk.u32_at(rec + 20, static_cast<uint32_t>(sk));
    blk.u32_at(rec + 24, static_cast<uint32_t>(gr.bitmap_slot));
    blk.u32_at(rec + 28, static_cast<uint32_t>(mm));
    const uint16_t vals[7] = {s.vc, s.fc, s.pos, s.face, s.uv, s.skin, s.dup};
    for (int k = 0; k < 7; ++k) blk.u16_at(rec + 32 + 2 * k, vals[k]);
  }
  // Bones, bone tags and tags follow unaligned.
  blk.grow(off + m.bones.size() * 160 + m.bone_tags.size() * 56 + m.tags.size() * 96);
  for (const VimWriterBone& bone : m.bones) {
    std::memcpy(&blk.b[off], bone.name.c_str(), std::min<size_t>(bone.name.size(), 79));
    for (int k = 0; k < 12; ++k) blk.f32_at(off + 80 + 4 * k, bone.inverse_rest[k]);
    blk.u32_at(off + 128, static_cast<uint32_t>(bone.parent));
    for (int k = 0; k < 3; ++k) blk.f32_at(off + 132 + 4 * k, bone.point[k]);
    blk.u32_at(off + 144, static_cast<uint32_t>(bone.value));
    off += 160;
  }
  for (const VimWriterBoneTag& tag : m.bone_tags) {
    for (int k = 0; k < 12; ++k) blk.f32_at(off + 4 + 4 * k, tag.local[k]);
    blk.u32_at(off + 52, static_cast<uint32_t>(tag.parent));
    off += 56;
  }
  for (const VimWriterTag& tag : m.tags) {
    std::memcpy(&blk.b[off], tag.name.c_str(), std::min<size_t>(tag.name.size(), 67));
    for (int k = 0; k < 4; ++k) blk.f32_at(off + 68 + 4 * k, tag.rotation[k]);
    for (int k = 0; k < 3; ++k) blk.f32_at(off + 84 + 4 * k, tag.position[k]);
    off += 96;
  }

  std::vector<uint8_t> out;
  put_u32(out, static_cast<uint32_t>(m.version));
  put_u32(out, static_cast<uint32_t>(m.flags));
  put_u32(out, static_cast<uint32_t>(m.morph_vertex_count));
  put_u16(out, static_cast<uint16_t>(m.groups.size()));
  for (float c : m.centre) put_f32(out, c);
  put_f32(out, m.radius);
  put_u32(out, static_cast<uint32_t>(blk.b.size()));
  out.insert(out.end(), blk.b.begin(), blk.b.end());
  put_u32(out, static_cast<uint32_t>(m.spare));
  for (const Sizes& s : sizes) {
    // File order differs from the record order.
    for (uint16_t v : {s.vc, s.fc, s.pos, s.face, s.dup, s.skin, s.uv}) put_u16(out, v);
  }
  put_u32(out, static_cast<uint32_t>(m.bones.size()));
  put_u32(out, static_cast<uint32_t>(m.root_bone));
  put_u32(out, static_cast<uint32_t>(m.bone_tags.size()));
  for (const auto& t : m.bone_tags) put_str(out, t.name);
  put_u32(out, static_cast<uint32_t>(m.tags.size()));
  put_u32(out, static_cast<uint32_t>(m.bitmaps.size()));
  for (const auto& b : m.bitmaps) put_str(out, b);
  return out;
}

bool writer_put_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

bool vim_write_file(const std::string& path, const VimWriterMesh& mesh) {
  return writer_put_file(path, vim_build(mesh));
}
