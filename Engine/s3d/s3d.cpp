// The level file: one routine per record serves reading and writing, and the
// load checks everything it takes from the file before using it.
#include "Engine/s3d/s3d.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Engine/s3d/level_objects.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/console.h"
#include "quarn/os/memory.h"
#include "quarn/vfile/vfile.h"

LevelData Level;
bool S3d_load_lightmaps = true;

namespace {

bool Test_meshes_on_load = false;
bool P3D_files = false;

CONSOLE_BOOL_VARIABLE(Cmd_load_lightmaps, "load_lightmaps", "Toggles S3d_load_lightmaps",
                      S3d_load_lightmaps);
CONSOLE_BOOL_VARIABLE(Cmd_test_meshes, "test_meshes_on_load", "Toggles Test_meshes_on_load",
                      Test_meshes_on_load);
CONSOLE_BOOL_VARIABLE(Cmd_p3d_files, "p3d_files", "Toggles P3D_files", P3D_files);

void set_lightmap_off(bool on) {
  for (int i = 0; i < Level.instance_count; i++) {
    if (on) Level.instances[i].flags |= MI_LIGHTMAP_OFF;
    else Level.instances[i].flags &= ~MI_LIGHTMAP_OFF;
  }
}
ConsoleCommand Cmd_lmap_off("lmap_off", "", [] { set_lightmap_off(true); });
ConsoleCommand Cmd_lmap_reset("lmap_reset", "", [] { set_lightmap_off(false); });

alignas(16) uint8_t Level_arena_block[S3D_ARENA_SIZE];
MemArena Level_arena;

bool has_prefix(const char* s, const char* prefix) {
  return s && strncasecmp(s, prefix, std::strlen(prefix)) == 0;
}

// Where a load or a write stands: the file, the level, the shared pools and
// their cursors, and why it failed.
struct S3dIo {
  FileHandle* fh;
  bool reading;
  LevelData* L;
  const char* section;
  bool failed;

  LevelFace* face_pool;
  InstanceFace* iface_pool;
  vector* point_pool;
  vector* normal_pool;
  vector2* uv_pool;
  int16_t* value_pool;
  uint8_t* color_pool;
  int32_t* int_pool;
  int64_t face_cur, iface_cur, point_cur, vert_cur, color_cur, int_cur;
};

bool fail(S3dIo& io, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
bool fail(S3dIo& io, const char* fmt, ...) {
  if (io.failed) return false;
  io.failed = true;
  char why[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(why, sizeof why, fmt, ap);
  va_end(ap);
  std::printf("Level %s refused (%s): %s\n", io.L->file_name ? io.L->file_name : "?", io.section, why);
  return false;
}

// False (with the message) when the handle reports a read error.
bool io_ok(S3dIo& io) {
  if (io.failed) return false;
  if (io.reading && io.fh->error()) return fail(io, "the file ends inside a record");
  return true;
}

void* arena_alloc(S3dIo& io, int64_t count, int64_t size) {
  if (count <= 0) return nullptr;
  const int64_t bytes = count * size;
  void* p = bytes <= static_cast<int64_t>(S3D_ARENA_SIZE) ? Level_arena.alloc(static_cast<uint32_t>(bytes))
                                                        : nullptr;
  if (!p) fail(io, "%lld bytes do not fit in the level memory", static_cast<long long>(bytes));
  return p;
}

template <typename T>
T* take(S3dIo& io, T* pool, int64_t& cursor, int64_t total, int64_t count, const char* what) {
  if (count <= 0) return nullptr;
  if (count > total - cursor) {
    fail(io, "more %s than the header's total of %lld", what, static_cast<long long>(total));
    return nullptr;
  }
  T* p = pool + cursor;
  cursor += count;
  return p;
}

void serialize_name(S3dIo& io, const char** field, int size, bool keep = true) {
  if (!io.reading) {
    io.fh->write_counted_string(*field ? *field : "");
    return;
  }
  char buf[S3D_VERTEX_ANIM_NAME_LENGTH];
  io.fh->read_counted_string(buf, std::min<int>(size, sizeof buf));
  if (!io_ok(io) || !keep) return;
  if (static_cast<int>(std::strlen(buf)) + 1 > io.L->strings.free_bytes()) {
    fail(io, "the names do not fit in the level's string pool");
    return;
  }
  *field = io.L->strings.add(buf);
}

// The large arrays of a level move through one buffer: read or written a
// field at a time through the file handle they would cost many times the
// disk read. Fields keep their order and little-endian form either way.
template <bool Reading>
class Codec {
 public:
  explicit Codec(uint8_t* p) : p_(p) {}
  void u16(uint16_t& v) {
    if constexpr (Reading) v = static_cast<uint16_t>(p_[0] | (p_[1] << 8));
    else p_[0] = static_cast<uint8_t>(v), p_[1] = static_cast<uint8_t>(v >> 8);
    p_ += 2;
  }
  void u32(uint32_t& v) {
    if constexpr (Reading) {
      v = uint32_t(p_[0]) | (uint32_t(p_[1]) << 8) | (uint32_t(p_[2]) << 16) | (uint32_t(p_[3]) << 24);
    } else {
      for (int k = 0; k < 4; k++) p_[k] = static_cast<uint8_t>(v >> (8 * k));
    }
    p_ += 4;
  }
  void i16(int16_t& v) {
    uint16_t u = static_cast<uint16_t>(v);
    u16(u);
    v = static_cast<int16_t>(u);
  }
  void i32(int32_t& v) {
    uint32_t u = static_cast<uint32_t>(v);
    u32(u);
    v = static_cast<int32_t>(u);
  }
  void f32(float& v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    u32(u);
    std::memcpy(&v, &u, 4);
  }
  void vec(vector& v) {
    f32(v.x);
    f32(v.y);
    f32(v.z);
  }

 private:
  uint8_t* p_;
};

// `count` records of `size` bytes, each read or written by fn(codec, i).
// `direct`, when given, is the destination array whose memory already has
// the file's layout: on a little-endian machine a read lands there at once,
// sparing a copy and a decode of every field.
template <typename Fn>
bool bulk(S3dIo& io, int64_t count, int64_t size, Fn fn, void* direct = nullptr) {
  if (io.failed) return false;
  if (count <= 0) return true;
  static std::vector<uint8_t> buffer;
  const int64_t bytes = count * size;
  if (bytes > 0x7FFFFFFF) return fail(io, "an array of %lld bytes", static_cast<long long>(bytes));
  if constexpr (std::endian::native == std::endian::little) {
    if (io.reading && direct) {
      if (io.fh->read(direct, static_cast<int>(bytes)) != bytes) return fail(io, "the file ends inside a record");
      return io_ok(io);
    }
  }
  buffer.resize(static_cast<size_t>(bytes));
  if (io.reading && io.fh->read(buffer.data(), static_cast<int>(bytes)) != bytes)
    return fail(io, "the file ends inside a record");
  if (io.reading) {
    Codec<true> c(buffer.data());
    for (int64_t i = 0; i < count; i++) fn(c, i);
  } else {
    Codec<false> c(buffer.data());
    for (int64_t i = 0; i < count; i++) fn(c, i);
    io.fh->write(buffer.data(), static_cast<int>(bytes));
  }
  return io_ok(io);
}

bool serialize_vectors(S3dIo& io, vector* v, int64_t n) {
  static_assert(sizeof(vector) == 12);
  return bulk(io, n, 12, [v](auto& c, int64_t i) { c.vec(v[i]); }, v);
}

bool serialize_floats(S3dIo& io, float* v, int64_t n) {
  return bulk(io, n, 4, [v](auto& c, int64_t i) { c.f32(v[i]); }, v);
}

bool serialize_ushorts(S3dIo& io, uint16_t* v, int64_t n) {
  return bulk(io, n, 2, [v](auto& c, int64_t i) { c.u16(v[i]); }, v);
}

bool serialize_ints(S3dIo& io, int32_t* v, int64_t n) {
  return bulk(io, n, 4, [v](auto& c, int64_t i) { c.i32(v[i]); }, v);
}

// ---- Header and textures --------------------------------------------------

void serialize_header(FileHandle* fh, S3dHeader* h) {
  int32_t* ints[] = {&h->version, &h->mesh_count, &h->instance_count, &h->node_count,
                     &h->point_list_count, &h->named_points_count, &h->light_count,
                     &h->vis_group_count, &h->movable_count, &h->lightmap_count, &h->texture_count,
                     &h->vertex_anim_count, &h->total_faces, &h->total_instance_faces,
                     &h->total_vertices, &h->total_points, &h->int_pool_size, &h->color_bytes,
                     &h->texture_block_size, &h->surface_count};
  for (int32_t* v : ints) fh->serialize_int(v);
  for (float& f : h->ambient) fh->serialize_float(&f);
}

bool check_header(S3dIo& io, const S3dHeader& h) {
  const int32_t* counts = &h.mesh_count;
  for (int i = 0; i < 19; i++)
    if (counts[i] < 0) return fail(io, "a negative count in the header");
  if (h.instance_count > 0x7FFF || h.movable_count > 0x7FFF)
    return fail(io, "more instances than the level can hold");
  if (h.lightmap_count > 0x7FFFFF) return fail(io, "more lightmaps than a face can name");
  return true;
}

bool serialize_textures(S3dIo& io) {
  LevelData& L = *io.L;
  io.section = "textures";
  int32_t size = L.texture_block_size;
  io.fh->serialize_int(&size);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (size != L.header.texture_block_size) return fail(io, "the name block size differs from the header");
    L.texture_block = static_cast<char*>(arena_alloc(io, size, 1));
    if (size > 0 && !L.texture_block) return false;
  }
  if (size > 0) io.fh->serialize_bytes(L.texture_block, size);
  if (!io_ok(io)) return false;
  if (io.reading) {
    // Every name must end inside the block, or bm_load would read past it.
    int at = 0;
    for (int i = 0; i < L.texture_count; i++) {
      const void* end = at < size ? std::memchr(L.texture_block + at, 0, size - at) : nullptr;
      if (!end) return fail(io, "texture name %d is not terminated inside the block", i);
      at = static_cast<int>(static_cast<const char*>(end) - L.texture_block) + 1;
    }
    L.texture_handles = take(io, io.int_pool, io.int_cur, L.header.int_pool_size, L.texture_count,
                             "pool ints");
    if (io.failed) return false;
    for (int i = 0; i < L.texture_count; i++) L.texture_handles[i] = -1;
    load_progress_tick();
  }
  return true;
}

// ---- Lightmaps ----------------------------------------------------------------

bool serialize_lightmaps(S3dIo& io) {
  LevelData& L = *io.L;
  io.section = "lightmaps";
  if (io.reading) {
    L.lightmap_handles = take(io, io.int_pool, io.int_cur, L.header.int_pool_size, L.lightmap_count,
                              "pool ints");
    L.lightmap_pixels = static_cast<uint16_t**>(arena_alloc(io, L.lightmap_count, sizeof(uint16_t*)));
    L.lightmap_sizes = static_cast<int16_t*>(arena_alloc(io, L.lightmap_count, 2 * sizeof(int16_t)));
    if (io.failed) return false;
    for (int i = 0; i < L.lightmap_count; i++) {
      L.lightmap_handles[i] = -1;
      L.lightmap_pixels[i] = nullptr;
    }
  }
  for (int i = 0; i < L.lightmap_count; i++) {
    int16_t* wh = &L.lightmap_sizes[2 * i];
    io.fh->serialize_short(&wh[0]);
    io.fh->serialize_short(&wh[1]);
    if (!io_ok(io)) return false;
    const int w = wh[0], h = wh[1];
    if (w < 1 || h < 1) return fail(io, "lightmap %d is %d by %d", i, w, h);
    const int bytes = w * h * 2;
    if (!io.reading) {
      std::vector<uint16_t> blank;
      uint16_t* px = L.lightmap_pixels[i];
      if (!px) {
        blank.assign(size_t(w) * h, 0);
        px = blank.data();
      }
      if (!serialize_ushorts(io, px, int64_t(w) * h)) return false;
      continue;
    }
    if (!S3d_load_lightmaps) {
      if (io.fh->seek(bytes, 1) != 0) return fail(io, "the file ends inside lightmap %d", i);
      continue;
    }
    if (bytes > S3D_LIGHTMAP_MAX_BYTES) return fail(io, "Lightmap too big to be loaded!");
    // Each lightmap keeps its own pixels: the renderer's texture cache may
    // upload it again long after the load.
    uint16_t* pixels = static_cast<uint16_t*>(arena_alloc(io, w * h, 2));
    if (!pixels) return false;
    if (!serialize_ushorts(io, pixels, int64_t(w) * h)) return false;
    L.lightmap_pixels[i] = pixels;
    L.lightmap_handles[i] = bm_create(BM_FORMAT_1555, w, h, pixels);
    if (L.lightmap_handles[i] >= 0) gr_preload(L.lightmap_handles[i], 1);
  }
  load_progress_tick();
  return true;
}

// ---- Meshes and collision trees ---------------------------------------------

bool serialize_mesh(S3dIo& io, LevelMesh& m) {
  serialize_name(io, &m.name, S3D_NAME_LENGTH);
  io.fh->serialize_int(&m.kind);
  io.fh->serialize_int(&m.vertex_count);
  io.fh->serialize_int(&m.face_count);
  io.fh->serialize_int(&m.extra_count);
  io.fh->serialize_vector(&m.center);
  io.fh->serialize_float(&m.radius);
  if (!io_ok(io)) return false;
  const int V = m.vertex_count, F = m.face_count, E = m.extra_count;
  if (io.reading) {
    if (V < 0 || F < 0 || E < 0) return fail(io, "mesh %s has a negative count", m.name);
    if (V > S3D_MAX_MESH_VERTICES)
      return fail(io, "mesh %s has %d vertices, more than the level renderer's %d", m.name, V,
                  S3D_MAX_MESH_VERTICES);
    m.positions = take(io, io.point_pool, io.point_cur, io.L->header.total_points, V, "points");
    const int64_t vert_start = io.vert_cur;
    m.normals = take(io, io.normal_pool, io.vert_cur, io.L->header.total_vertices, V, "mesh vertices");
    if (m.normals) {
      m.uvs = io.uv_pool + vert_start;
      m.values = io.value_pool + vert_start;
    }
    m.faces = take(io, io.face_pool, io.face_cur, io.L->header.total_faces, F, "faces");
    m.extra = static_cast<int32_t*>(arena_alloc(io, E, 4));
    if (io.failed) return false;
  }
  if (V > 0) {
    serialize_vectors(io, m.positions, V);
    serialize_vectors(io, m.normals, V);
    static_assert(sizeof(vector2) == 8);
    bulk(
        io, V, 8,
        [&m](auto& c, int64_t i) {
          c.f32(m.uvs[i].x);
          c.f32(m.uvs[i].y);
        },
        m.uvs);
    bulk(io, V, 2, [&m](auto& c, int64_t i) { c.i16(m.values[i]); }, m.values);
  }
  static_assert(sizeof(LevelFace) == 20 && offsetof(LevelFace, v) == 2 && offsetof(LevelFace, normal) == 8);
  bulk(
      io, F, 20,
      [&m](auto& c, int64_t i) {
        LevelFace& f = m.faces[i];
        c.u16(f.flags);
        for (uint16_t& v : f.v) c.u16(v);
        c.vec(f.normal);
      },
      m.faces);
  if (!io_ok(io)) return false;
  if (io.reading) {
    for (int i = 0; i < F; i++) {
      LevelFace& f = m.faces[i];
      for (uint16_t v : f.v)
        if (v >= V) return fail(io, "face %d of mesh %s uses vertex %d of %d", i, m.name, v, V);
      f.normal = s3d_face_normal(m.positions, f);
    }
    m.box_min = m.box_max = V > 0 ? m.positions[0] : vector{0.0f, 0.0f, 0.0f};
    for (int i = 1; i < V; i++) {
      const vector& p = m.positions[i];
      m.box_min.set(std::min(m.box_min.x, p.x), std::min(m.box_min.y, p.y), std::min(m.box_min.z, p.z));
      m.box_max.set(std::max(m.box_max.x, p.x), std::max(m.box_max.y, p.y), std::max(m.box_max.z, p.z));
    }
  }
  if (!serialize_ints(io, m.extra, E)) return false;
  load_progress_tick();
  return true;
}

// A child or face reference that points outside the tree, or a child that
// is not after its parent (a cycle would never end the walk), refuses it.
bool check_tree(S3dIo& io, const LevelMesh& m) {
  const CollisionTree& t = m.tree;
  for (uint32_t i = 0; i < t.node_count; i++) {
    const CollisionNode& n = t.nodes[i];
    const uint32_t c = n.word2 & 0xFFFF;
    const bool first = n.word0 & CNODE_FIRST_CHILD, second = n.word0 & CNODE_SECOND_CHILD;
    if (first || second) {
      const uint32_t last = c + (first && second ? 1 : 0);
      if (c <= i || last >= t.node_count)
        return fail(io, "node %u of mesh %s has child %u of %u", i, m.name, c, t.node_count);
    }
    const uint32_t ref = (n.word2 >> 16) & 0x7FFF;
    if (n.word2 & CNODE_FACE_LIST) {
      if (ref >= t.face_list_length || ref + 1u + t.face_list[ref] > t.face_list_length)
        return fail(io, "node %u of mesh %s lists faces past the list's end", i, m.name);
      for (uint32_t k = 0; k < t.face_list[ref]; k++)
        if (t.face_list[ref + 1 + k] >= static_cast<uint32_t>(m.face_count))
          return fail(io, "node %u of mesh %s lists face %u of %d", i, m.name, t.face_list[ref + 1 + k],
                      m.face_count);
    } else if (ref != CNODE_NO_FACE && ref >= static_cast<uint32_t>(m.face_count)) {
      return fail(io, "node %u of mesh %s names face %u of %d", i, m.name, ref, m.face_count);
    }
  }
  return true;
}

bool serialize_tree(S3dIo& io, LevelMesh& m) {
  CollisionTree& t = m.tree;
  io.fh->serialize_uint(&t.node_count);
  io.fh->serialize_uint(&t.second_count);
  io.fh->serialize_uint(&t.face_list_length);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (t.node_count > 0xFFFF || t.face_list_length > 0x7FFF)
      return fail(io, "the tree of mesh %s is larger than its references reach", m.name);
    t.nodes = static_cast<CollisionNode*>(arena_alloc(io, t.node_count, sizeof(CollisionNode)));
    t.face_list = static_cast<uint16_t*>(arena_alloc(io, t.face_list_length, 2));
    if (io.failed) return false;
  }
  static_assert(sizeof(CollisionNode) == 12);
  bulk(
      io, t.node_count, 12,
      [&t](auto& c, int64_t i) {
        c.u32(t.nodes[i].word0);
        c.f32(t.nodes[i].d);
        c.u32(t.nodes[i].word2);
      },
      t.nodes);
  if (!serialize_ushorts(io, t.face_list, t.face_list_length)) return false;
  return !io.reading || check_tree(io, m);
}

// ---- Instances ------------------------------------------------------------------

void check_orientation(const LevelMeshInstance& mi) {
  const matrix& m = mi.orient;
  bool bad = false;
  for (int i = 0; i < 3; i++) {
    if (std::fabs(m.row(i).length() - 1.0f) > 0.03f) bad = true;
    if (std::fabs(vector::dot(m.row(i), m.row((i + 1) % 3))) > 0.03f) bad = true;
  }
  if (bad) std::printf("WARNING: mesh '%s' may have an invalid orientation matrix!\n", mi.name);
}

bool serialize_instance(S3dIo& io, LevelMeshInstance& mi) {
  LevelData& L = *io.L;
  serialize_name(io, &mi.name, S3D_NAME_LENGTH);
  const char* discarded = "";
  serialize_name(io, &discarded, S3D_NAME_LENGTH, false);
  io.fh->serialize_int(&mi.mesh_index);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (mi.mesh_index < 0 || mi.mesh_index >= L.mesh_count)
      return fail(io, "instance %s uses mesh %d of %d", mi.name, mi.mesh_index, L.mesh_count);
    mi.mesh = &L.meshes[mi.mesh_index];
    mi.faces = take(io, io.iface_pool, io.iface_cur, L.header.total_instance_faces, mi.mesh->face_count,
                    "instance faces");
    mi.colors = take(io, io.color_pool, io.color_cur, L.header.color_bytes,
                     int64_t(mi.mesh->vertex_count) * 3, "colour bytes");
    if (io.failed) return false;
  }
  const int F = mi.mesh->face_count, V = mi.mesh->vertex_count;
  const bool old_layout = io.fh->version() < S3D_VERSION_LIGHTMAP_UV_AFTER;
  // Older files put the six corner coordinates in front of every face.
  static std::vector<float> old_uvs;
  if (old_layout) {
    old_uvs.assign(size_t(F) * 6, 0.0f);
    if (!io.reading && mi.lightmap_uvs)
      for (int i = 0; i < F; i++)
        if (instance_face_lightmap(mi.faces[i]) >= 0)
          std::memcpy(&old_uvs[6 * i], mi.lightmap_uvs + 6 * i, 6 * sizeof(float));
  }
  const bool reading = io.reading;
  bulk(io, F, old_layout ? 32 : 8, [&](auto& c, int64_t i) {
    if (old_layout)
      for (int k = 0; k < 6; k++) c.f32(old_uvs[6 * i + k]);
    InstanceFace& f = mi.faces[i];
    int32_t word = static_cast<int32_t>(f.lightmap << 8) >> 8;
    int16_t high = static_cast<int8_t>(f.lightmap >> 24);
    c.u16(f.texture);
    c.i32(word);
    c.i16(high);
    if (reading) f.lightmap = (static_cast<uint32_t>(word) & 0xFFFFFF) | (static_cast<uint32_t>(high & 0xFF) << 24);
  });
  if (!io_ok(io)) return false;
  // They are kept, as the newer layout keeps them, for faces with a lightmap.
  if (io.reading && old_layout) {
    for (int i = 0; i < F; i++) {
      if (instance_face_lightmap(mi.faces[i]) < 0) continue;
      if (!mi.lightmap_uvs) {
        mi.lightmap_uvs = static_cast<float*>(arena_alloc(io, F, 24));
        if (!mi.lightmap_uvs) return false;
        std::memset(mi.lightmap_uvs, 0, size_t(F) * 24);
      }
      std::memcpy(mi.lightmap_uvs + 6 * i, &old_uvs[6 * i], 6 * sizeof(float));
    }
  }
  if (io.reading) {
    for (int i = 0; i < F; i++) {
      const InstanceFace& f = mi.faces[i];
      if (f.texture > L.texture_count)
        return fail(io, "instance %s face %d uses texture %d of %d", mi.name, i, f.texture, L.texture_count);
      const int lm = instance_face_lightmap(f);
      if (lm >= L.lightmap_count)
        return fail(io, "instance %s face %d uses lightmap %d of %d", mi.name, i, lm, L.lightmap_count);
    }
  }
  if (V > 0) io.fh->serialize_bytes(mi.colors, V * 3);
  if (!old_layout && F > 0 && instance_face_lightmap(mi.faces[0]) >= 0) {
    if (io.reading) {
      mi.lightmap_uvs = static_cast<float*>(arena_alloc(io, F, 24));
      if (!mi.lightmap_uvs) return false;
    }
    serialize_floats(io, mi.lightmap_uvs, int64_t(F) * 6);
  }
  io.fh->serialize_vector(&mi.pos);
  io.fh->serialize_matrix(&mi.orient);
  io.fh->serialize_vector(&mi.bound_center);
  io.fh->serialize_vector(&mi.bound_min);
  io.fh->serialize_vector(&mi.bound_max);
  int32_t sector = mi.sector[0];
  io.fh->serialize_int(&sector);
  io.fh->serialize_uint(&mi.flags);
  if (!io_ok(io)) return false;
  if (!io.reading) return true;
  mi.sector[0] = static_cast<int8_t>(sector & 0xFF);
  check_orientation(mi);
  return true;
}

// What the load derives for an instance once its fields are in.
void instance_fixups(LevelMeshInstance& mi, bool glide, bool ocean) {
  mi.flags = s3d_name_flags(mi.name, mi.flags, glide, ocean);
  bool textured = false;
  for (int i = 0; i < mi.mesh->face_count; i++)
    if (mi.faces[i].texture) textured = true;
  if (textured) mi.flags &= ~MI_UNTEXTURED;
  else mi.flags |= MI_UNTEXTURED;
  mi.flags &= ~(MI_VIS_SEEN | MI_VIS_MEMBER);
  if ((mi.flags & MI_NO_LIGHTMAP_FILE) || !S3d_load_lightmaps)
    for (int i = 0; i < mi.mesh->face_count; i++)
      mi.faces[i].lightmap = (mi.faces[i].lightmap & 0xFF000000u) | S3D_LIGHTMAP_NONE;
}

// ---- Lists, nodes, movables, lights, groups, surfaces, vertex animation ----

bool serialize_point_list(S3dIo& io, LevelPointList& p) {
  io.fh->serialize_int(&p.count);
  io.fh->serialize_int(&p.value);
  io.fh->serialize_bytes(p.bytes, 4);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (p.count < 0) return fail(io, "a negative point count");
    p.points = take(io, io.point_pool, io.point_cur, io.L->header.total_points, p.count, "points");
    if (io.failed) return false;
  }
  serialize_vectors(io, p.points, p.count);
  return io_ok(io);
}

bool serialize_node(S3dIo& io, LevelNode& n) {
  serialize_name(io, &n.name, S3D_NAME_LENGTH);
  io.fh->serialize_quaternion(&n.orient);
  io.fh->serialize_vector(&n.pos);
  return io_ok(io);
}

bool serialize_named_points(S3dIo& io, LevelNamedPoints& p) {
  serialize_name(io, &p.name, S3D_NAME_LENGTH);
  io.fh->serialize_int(&p.value);
  io.fh->serialize_int(&p.count);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (p.count < 0) return fail(io, "list %s has a negative point count", p.name);
    p.points = take(io, io.point_pool, io.point_cur, io.L->header.total_points, p.count, "points");
    if (io.failed) return false;
  }
  serialize_vectors(io, p.points, p.count);
  return io_ok(io);
}

bool serialize_movable(S3dIo& io, LevelMovableMesh& m, int index) {
  io.fh->serialize_int(&m.instance);
  io.fh->serialize_short(&m.named_points);
  io.fh->serialize_short(&m.second_index);
  io.fh->serialize_float(&m.travel_time);
  io.fh->serialize_vector(&m.closed_pos);
  io.fh->serialize_quaternion(&m.closed_orient);
  io.fh->serialize_vector(&m.open_pos);
  io.fh->serialize_quaternion(&m.open_orient);
  if (!io_ok(io)) return false;
  if (!io.reading) return true;
  const LevelData& L = *io.L;
  if (m.instance < 0 || m.instance >= L.instance_count)
    return fail(io, "movable %d names instance %d of %d", index, m.instance, L.instance_count);
  // The lookups search by instance, so the file must keep them in order.
  if (index > 0 && m.instance <= L.movables[index - 1].instance)
    return fail(io, "movable %d is out of instance order", index);
  if (m.named_points < -1 || m.named_points >= L.named_points_count)
    return fail(io, "movable %d names point list %d of %d", index, m.named_points, L.named_points_count);
  m.stamp.invalidate();
  m.floor_point.zero();
  m.state = 0;
  m.runtime_f[0] = m.runtime_f[1] = 0.0f;
  m.runtime_i = 0;
  std::memset(m.runtime_b, 0, sizeof m.runtime_b);
  m.open_sound = m.close_sound = -1;
  m.name = L.instances[m.instance].name;
  m.open_sound_info = m.close_sound_info = DoorSound{nullptr, 0, 0, 0};
  m.door_flags = 0;
  m.lock_value = 0.0f;
  m.key_item = -1;
  return true;
}

bool serialize_light(S3dIo& io, LevelLight& l) {
  io.fh->serialize_int(&l.type);
  io.fh->serialize_quaternion(&l.orient);
  io.fh->serialize_vector(&l.pos);
  io.fh->serialize_vector(&l.color);
  float* floats[] = {&l.intensity, &l.angle_a, &l.angle_b, &l.near_range, &l.far_range};
  for (float* f : floats) io.fh->serialize_float(f);
  io.fh->serialize_int(&l.flags);
  io.fh->serialize_float(&l.value);
  io.fh->serialize_int(&l.texture);
  if (!io_ok(io)) return false;
  if (io.reading && (l.texture < -1 || l.texture >= io.L->texture_count))
    return fail(io, "a light uses texture %d of %d", l.texture, io.L->texture_count);
  return true;
}

bool serialize_vis_group(S3dIo& io, VisGroup& g) {
  serialize_name(io, &g.name, S3D_NAME_LENGTH);
  io.fh->serialize_int(&g.count);
  if (!io_ok(io)) return false;
  const LevelData& L = *io.L;
  if (io.reading) {
    if (g.count < 0 || g.count > 0xFFFF) return fail(io, "group %s has %d members", g.name, g.count);
    g.members = take(io, io.int_pool, io.int_cur, L.header.int_pool_size, g.count, "pool ints");
    if (io.failed) return false;
  }
  if (!serialize_ints(io, g.members, g.count) || !io.reading) return io_ok(io);
  const bool vis = has_prefix(g.name, "$vis");
  for (int i = 0; i < g.count; i++) {
    const int m = g.members[i];
    if (m < 0 || m >= L.instance_count) return fail(io, "group %s lists instance %d of %d", g.name, m, L.instance_count);
    if (vis) L.instances[m].flags |= MI_VIS_MEMBER;
  }
  return true;
}

bool serialize_surface(S3dIo& io, LevelSurfaceRecord& s) {
  io.fh->serialize_float(&s.a);
  io.fh->serialize_float(&s.b);
  io.fh->serialize_float(&s.c);
  io.fh->serialize_int(&s.value);
  if (!io_ok(io)) return false;
  if (io.reading) {
    s.a = std::clamp(s.a, 0.0f, 1.0f);
    s.c = std::clamp(s.c, 0.0f, 1.0f);
    s.b = s.b > 0.0f ? std::min(s.b, 0.998f) : 0.0f;
  }
  return true;
}

bool serialize_vertex_anim(S3dIo& io, VertexAnimRecord& r, int index) {
  const LevelData& L = *io.L;
  io.fh->serialize_int(&r.instance);
  float* floats[] = {&r.x_scale, &r.z_scale, &r.amplitude, &r.period};
  for (float* f : floats) io.fh->serialize_float(f);
  serialize_name(io, &r.texture_name, S3D_VERTEX_ANIM_NAME_LENGTH);
  io.fh->serialize_uint(&r.count);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (r.instance < 0 || r.instance >= L.instance_count)
      return fail(io, "record %d names instance %d of %d", index, r.instance, L.instance_count);
    if (index > 0 && r.instance <= L.vertex_anims[index - 1].instance)
      return fail(io, "record %d is out of instance order", index);
    const uint32_t V = static_cast<uint32_t>(L.instances[r.instance].mesh->vertex_count);
    // The renderer reads one weight a vertex of the mesh.
    if (r.count != V) return fail(io, "record %d has %u weights for %u vertices", index, r.count, V);
    r.weights = r.count ? static_cast<float*>(mem_alloc(r.count * sizeof(float))) : nullptr;
  }
  serialize_floats(io, r.weights, r.count);
  if (!io_ok(io)) return false;
  if (io.reading) r.texture = r.texture_name && *r.texture_name ? bm_load(r.texture_name, -1) : -1;
  return true;
}

// ---- Whole-level steps ------------------------------------------------------

void free_heap_parts(LevelData* L) {
  if (L->vis_base.members) mem_free(L->vis_base.members);
  L->vis_base.members = nullptr;
  L->vis_base.count = 0;
  for (int i = 0; i < L->vertex_anim_count && L->vertex_anims; i++) {
    if (L->vertex_anims[i].weights) mem_free(L->vertex_anims[i].weights);
    L->vertex_anims[i].weights = nullptr;
  }
}

void clear_level(LevelData* L) {
  free_heap_parts(L);
  for (int i = 0; i < L->lightmap_count && L->lightmap_handles; i++)
    if (L->lightmap_handles[i] != -1) bm_release(L->lightmap_handles[i]);
  L->strings.free();
  L->flags = 0;
  L->version = 0;
  L->file_name = nullptr;
  std::memset(&L->header, 0, sizeof L->header);
  L->mesh_count = L->instance_count = L->point_list_count = L->node_count = 0;
  L->named_points_count = L->light_count = L->vis_group_count = L->surface_count = 0;
  L->movable_count = L->vertex_anim_count = L->lightmap_count = L->texture_count = 0;
  L->texture_block_size = 0;
  L->meshes = nullptr;
  L->instances = nullptr;
  L->point_lists = nullptr;
  L->nodes = nullptr;
  L->named_points = nullptr;
  L->lights = nullptr;
  L->vis_groups = nullptr;
  L->surfaces = nullptr;
  L->movables = nullptr;
  L->movable_keys = nullptr;
  L->vertex_anims = nullptr;
  L->lightmap_handles = nullptr;
  L->texture_handles = nullptr;
  L->lightmap_pixels = nullptr;
  L->lightmap_sizes = nullptr;
  L->texture_block = nullptr;
  L->vis_base = VisGroup{"$vis_base", 0, nullptr};
  L->ambient.zero();
}

template <typename T>
T* alloc_records(S3dIo& io, int count) {
  T* p = static_cast<T*>(arena_alloc(io, count, sizeof(T)));
  if (p)
    for (int i = 0; i < count; i++) new (&p[i]) T{};
  return p;
}

bool allocate(S3dIo& io) {
  LevelData& L = *io.L;
  const S3dHeader& h = L.header;
  Level_arena.init(Level_arena_block, S3D_ARENA_SIZE, "level");
  io.section = "header";
  L.meshes = alloc_records<LevelMesh>(io, h.mesh_count);
  L.instances = alloc_records<LevelMeshInstance>(io, h.instance_count);
  for (int i = 0; i < h.instance_count && L.instances; i++) L.instances[i].sector[0] = L.instances[i].sector[1] = -1;
  L.nodes = alloc_records<LevelNode>(io, h.node_count);
  L.point_lists = alloc_records<LevelPointList>(io, h.point_list_count);
  L.named_points = alloc_records<LevelNamedPoints>(io, h.named_points_count);
  L.lights = alloc_records<LevelLight>(io, h.light_count);
  L.vis_groups = alloc_records<VisGroup>(io, h.vis_group_count);
  L.surfaces = alloc_records<LevelSurfaceRecord>(io, h.surface_count);
  L.vertex_anims = alloc_records<VertexAnimRecord>(io, h.vertex_anim_count);
  L.movables = alloc_records<LevelMovableMesh>(io, h.movable_count);
  L.movable_keys = alloc_records<MovableKey>(io, h.movable_count);
  io.face_pool = alloc_records<LevelFace>(io, h.total_faces);
  io.iface_pool = alloc_records<InstanceFace>(io, h.total_instance_faces);
  io.point_pool = static_cast<vector*>(arena_alloc(io, h.total_points, sizeof(vector)));
  io.normal_pool = static_cast<vector*>(arena_alloc(io, h.total_vertices, sizeof(vector)));
  io.uv_pool = static_cast<vector2*>(arena_alloc(io, h.total_vertices, sizeof(vector2)));
  io.value_pool = static_cast<int16_t*>(arena_alloc(io, h.total_vertices, 2));
  io.color_pool = static_cast<uint8_t*>(arena_alloc(io, h.color_bytes, 1));
  io.int_pool = static_cast<int32_t*>(arena_alloc(io, h.int_pool_size, 4));
  if (io.failed) return false;
  L.mesh_count = h.mesh_count;
  L.instance_count = h.instance_count;
  L.node_count = h.node_count;
  L.point_list_count = h.point_list_count;
  L.named_points_count = h.named_points_count;
  L.light_count = h.light_count;
  L.vis_group_count = h.vis_group_count;
  L.surface_count = h.surface_count;
  L.vertex_anim_count = h.vertex_anim_count;
  L.movable_count = h.movable_count;
  L.lightmap_count = h.lightmap_count;
  L.texture_count = h.texture_count;
  L.texture_block_size = h.texture_block_size;
  L.ambient.set(h.ambient[0], h.ambient[1], h.ambient[2]);
  return true;
}

// The sections after the header, in file order; shared by load and write.
bool serialize_sections(S3dIo& io) {
  LevelData& L = *io.L;
  if (!serialize_textures(io) || !serialize_lightmaps(io)) return false;
  io.section = "meshes";
  for (int i = 0; i < L.mesh_count; i++)
    if (!serialize_mesh(io, L.meshes[i])) return false;
  io.section = "collision trees";
  for (int i = 0; i < L.mesh_count; i++)
    if (!serialize_tree(io, L.meshes[i])) return false;
  io.section = "mesh instances";
  const bool glide = gr_screen.renderer == GR_GLIDE;
  const bool ocean = L.file_name && strcasecmp(L.file_name, "odrinext.s3d") == 0;
  for (int i = 0; i < L.instance_count; i++) {
    if (!serialize_instance(io, L.instances[i])) return false;
    if (io.reading) {
      instance_fixups(L.instances[i], glide, ocean);
      load_progress_tick();
    }
  }
  if (io.reading)
    for (int i = 0; i < L.instance_count; i++)
      if (s3d_level_name_fixup(L.file_name, L.instances[i].name)) L.instances[i].flags |= MI_DEPTH_BIAS;
  io.section = "point lists";
  for (int i = 0; i < L.point_list_count; i++)
    if (!serialize_point_list(io, L.point_lists[i])) return false;
  io.section = "nodes";
  for (int i = 0; i < L.node_count; i++) {
    if (!serialize_node(io, L.nodes[i])) return false;
    if (io.reading) {
      const char* n = L.nodes[i].name;
      if (has_prefix(n, "$npc") || has_prefix(n, "$hostile") || has_prefix(n, "$player"))
        level_navpoint_add(&L.nodes[i]);
      load_progress_tick();
    }
  }
  io.section = "named point lists";
  for (int i = 0; i < L.named_points_count; i++) {
    if (!serialize_named_points(io, L.named_points[i])) return false;
    if (io.reading) load_progress_tick();
  }
  io.section = "movable meshes";
  for (int i = 0; i < L.movable_count; i++)
    if (!serialize_movable(io, L.movables[i], i)) return false;
  io.section = "lights";
  for (int i = 0; i < L.light_count; i++) {
    if (!serialize_light(io, L.lights[i])) return false;
    if (io.reading) load_progress_tick();
  }
  io.section = "visibility groups";
  for (int i = 0; i < L.vis_group_count; i++) {
    if (!serialize_vis_group(io, L.vis_groups[i])) return false;
    if (io.reading) load_progress_tick();
  }
  io.section = "surfaces";
  for (int i = 0; i < L.surface_count; i++)
    if (!serialize_surface(io, L.surfaces[i])) return false;
  io.section = "vertex animation";
  for (int i = 0; i < L.vertex_anim_count; i++)
    if (!serialize_vertex_anim(io, L.vertex_anims[i], i)) return false;
  return true;
}

bool finish_load(S3dIo& io) {
  LevelData& L = *io.L;
  for (int i = 0; i < L.movable_count; i++) {
    const int np = L.movables[i].named_points;
    L.movable_keys[i] = MovableKey{np >= 0 ? L.named_points[np].name : "", i};
  }
  std::sort(L.movable_keys, L.movable_keys + L.movable_count,
            [](const MovableKey& a, const MovableKey& b) { return strcasecmp(a.name, b.name) < 0; });
  const char* name = L.texture_block;
  for (int i = 0; i < L.texture_count; i++) {
    L.texture_handles[i] = bm_load(name, -1);
    name += std::strlen(name) + 1;
    load_progress_tick();
  }
  std::vector<bool> alpha(L.texture_count);
  for (int t = 0; t < L.texture_count; t++) {
    const int fmt = L.texture_handles[t] >= 0 ? bm_get_format(L.texture_handles[t]) : BM_FORMAT_NONE;
    alpha[t] = fmt == BM_FORMAT_4444 || fmt == BM_FORMAT_1555 || fmt == BM_FORMAT_BGRA32;
  }
  for (int i = 0; i < L.instance_count; i++) {
    LevelMeshInstance& mi = L.instances[i];
    for (int f = 0; f < mi.mesh->face_count; f++) {
      const int s = mi.faces[f].texture;
      if (s && alpha[s - 1]) {
        mi.mesh->faces[f].flags |= FACE_ALPHA;
        mi.flags |= MI_HAS_ALPHA_FACES;
      }
    }
  }
  int outside = 0;
  for (int i = 0; i < L.instance_count; i++)
    if (!(L.instances[i].flags & MI_VIS_MEMBER)) outside++;
  L.vis_base = VisGroup{"$vis_base", 0, nullptr};
  if (outside) {
    L.vis_base.members = static_cast<int32_t*>(mem_alloc(outside * sizeof(int32_t)));
    for (int i = 0; i < L.instance_count; i++)
      if (!(L.instances[i].flags & MI_VIS_MEMBER)) L.vis_base.members[L.vis_base.count++] = i;
  }
  for (int i = 0; i < L.instance_count; i++) L.instances[i].flags &= ~(MI_VIS_SEEN | MI_VIS_MEMBER);
  L.flags |= LEVEL_LOADED;
  return true;
}

}  // namespace

LevelData::LevelData() {
  vertex_anim_count = lightmap_count = 0;
  vertex_anims = nullptr;
  lightmap_handles = nullptr;
  vis_base.members = nullptr;
  clear_level(this);
}

int instance_face_lightmap(const InstanceFace& f) { return static_cast<int32_t>(f.lightmap << 8) >> 8; }

vector s3d_face_normal(const vector* p, const LevelFace& f) {
  const vector e1 = p[f.v[1]] - p[f.v[0]];
  const vector e2 = p[f.v[2]] - p[f.v[1]];
  vector n;
  e1.cross(n, e2);
  // The same sum as vector::length, kept here where the call would cost
  // more than the root on a level's thousands of faces.
  const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(len > 0.0f)) return vector{0.0f, 0.0f, 0.0f};
  return n * (1.0f / len);
}

uint32_t s3d_name_flags(const char* n, uint32_t flags, bool glide, bool ocean_level) {
  if (has_prefix(n, "blackpoly") || has_prefix(n, "shackfloor-black")) flags |= MI_BLACK;
  if (has_prefix(n, "sidewalk") || has_prefix(n, "rubblepile02") || has_prefix(n, "rubblepile01")) {
    flags &= ~MI_DECALS;
    flags |= MI_DEPTH_BIAS;
  }
  if (has_prefix(n, "s1-sewe") || has_prefix(n, "mosaic0")) flags |= MI_NEAR_DEPTH;
  if (glide && has_prefix(n, "Stalag-Small")) flags |= MI_STALAG;
  if (ocean_level && has_prefix(n, "Ocean")) flags |= MI_OCEAN;
  return flags;
}

bool s3d_level_name_fixup(const char* level_file_name, const char* n) {
  static const char* const names[] = {
      "Carpet01-End02", "Carpet01-End02-02", "Carpet01-End02-03", "Carpet01-End07",
      "Carpet01-End15", "Carpet01-End16",    "Carpet01-Tile",     "Carpet01-Tile17",
      "Carpet02-02",    "Tapestry01-01-LCF", "Tapestry01-06-LCF", "Tapestry01-08-LCF"};
  if (!has_prefix(level_file_name, "lpalaceint02")) return false;
  if (!has_prefix(n, "carp") && !has_prefix(n, "tape")) return false;
  for (const char* s : names)
    if (strcasecmp(n, s) == 0) return true;
  return false;
}

int s3d_load(const char* file_name, LevelData* level, int string_pool_size) {
  if (level->flags & LEVEL_LOADED) s3d_unload(level);
  bm_init();  // lightmaps and textures become bitmaps
  FileHandle fh;
  if (fh.open(file_name, VF_READ, VFILE_ANY_TYPE) != 0) return -1;
  clear_level(level);
  level->strings.alloc(string_pool_size);
  level->file_name = level->strings.add(file_name);
  S3dIo io{};
  io.fh = &fh;
  io.reading = true;
  io.L = level;
  io.section = "header";
  char magic[4] = {};
  fh.read(magic, 4);
  bool ok = !fh.error() && std::memcmp(magic, S3D_MAGIC, 4) == 0;
  if (!ok) fail(io, "not a level file");
  if (ok) {
    serialize_header(&fh, &level->header);
    ok = io_ok(io) && check_header(io, level->header);
  }
  if (ok) {
    level->version = level->header.version;
    fh.set_version(level->version);
    ok = allocate(io) && serialize_sections(io);
  }
  fh.close();
  if (ok) ok = finish_load(io);
  if (!ok) {
    clear_level(level);
    return -1;
  }
  return 0;
}

void s3d_unload(LevelData* level) {
  for (int i = 0; i < level->light_count && level->lights; i++) {
    const int t = level->lights[i].texture;
    if (t >= 0 && t < level->texture_count && level->texture_handles[t] >= 0) {
      uint8_t *data, *palette;
      if (bm_lock(level->texture_handles[t], &data, &palette)) bm_unlock(level->texture_handles[t]);
    }
  }
  clear_level(level);
}

void s3d_preload_textures(LevelData* level) {
  for (int i = 0; i < level->texture_count; i++) {
    if (level->texture_handles[i] >= 0) gr_preload(level->texture_handles[i], 0);
    load_progress_tick();
  }
  level->flags |= LEVEL_TEXTURES_PRELOADED;
}

int s3d_write(const char* file_name, int path_type, LevelData* L) {
  S3dHeader& h = L->header;
  std::memset(&h, 0, sizeof h);
  h.version = L->version;
  h.mesh_count = L->mesh_count;
  h.instance_count = L->instance_count;
  h.node_count = L->node_count;
  h.point_list_count = L->point_list_count;
  h.named_points_count = L->named_points_count;
  h.light_count = L->light_count;
  h.vis_group_count = L->vis_group_count;
  h.movable_count = L->movable_count;
  h.lightmap_count = L->lightmap_count;
  h.texture_count = L->texture_count;
  h.vertex_anim_count = L->vertex_anim_count;
  h.texture_block_size = L->texture_block_size;
  h.surface_count = L->surface_count;
  for (int i = 0; i < L->mesh_count; i++) {
    h.total_faces += L->meshes[i].face_count;
    h.total_vertices += L->meshes[i].vertex_count;
    h.total_points += L->meshes[i].vertex_count;
  }
  for (int i = 0; i < L->instance_count; i++) {
    h.total_instance_faces += L->instances[i].mesh->face_count;
    h.color_bytes += L->instances[i].mesh->vertex_count * 3;
  }
  for (int i = 0; i < L->point_list_count; i++) h.total_points += L->point_lists[i].count;
  for (int i = 0; i < L->named_points_count; i++) h.total_points += L->named_points[i].count;
  h.int_pool_size = L->texture_count + L->lightmap_count;
  for (int i = 0; i < L->vis_group_count; i++) h.int_pool_size += L->vis_groups[i].count;
  h.ambient[0] = L->ambient.x;
  h.ambient[1] = L->ambient.y;
  h.ambient[2] = L->ambient.z;

  FileHandle fh;
  if (fh.open(file_name, VF_WRITE, path_type) != 0) return -1;
  fh.set_version(L->version);
  S3dIo io{};
  io.fh = &fh;
  io.reading = false;
  io.L = L;
  io.section = "header";
  fh.write(S3D_MAGIC, 4);
  serialize_header(&fh, &h);
  const bool ok = serialize_sections(io);
  const int err = fh.error();
  const int rc = fh.close();
  return ok && !err && rc == 0 ? 0 : -1;
}
