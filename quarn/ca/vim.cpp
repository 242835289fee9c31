#include "quarn/ca/vim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/ca_internal.h"
#include "quarn/os/memory.h"
#include "quarn/os/stringpool.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "vertex arrays are used in place from the little-endian file block");
static_assert(sizeof(vector) == 12 && sizeof(transform) == 48, "file records hold packed floats");

using ca_detail::get_f32;
using ca_detail::get_i32;
using ca_detail::get_u32;

namespace {

constexpr int BLOCK_ALIGN = 16;

int32_t g_saved_bitmaps[VIM_MAX_BITMAPS];
int32_t g_saved_bitmap_count = 0;

int align_up(long long v) { return static_cast<int>((v + BLOCK_ALIGN - 1) & ~static_cast<long long>(BLOCK_ALIGN - 1)); }

// A refusal: says which file and why, once, on the standard output where the
// loaders' other lines go.
bool refuse(const char* why) {
  std::printf("VIM REFUSED : %s\n", why);
  return false;
}

void* alloc_zeroed(size_t n) {
  void* p = mem_alloc(n ? n : 1);
  if (p) {
    std::memset(p, 0, n ? n : 1);
  }
  return p;
}

// Offsets of one group's arrays in the block; -1 for an absent array.
struct GroupLayout {
  int positions, normals, uvs, faces, dup, skin, morph;
};

void read_transform(const uint8_t* p, transform& t) {
  for (int i = 0; i < 9; ++i) {
    t.orient.m(i) = get_f32(p + 4 * i);
  }
  t.pos.set(get_f32(p + 36), get_f32(p + 40), get_f32(p + 44));
}

// Lays the groups, bones, bone tags and tags out in the block, checking that
// every array lies inside it and that every index the drawer and the poser
// follow stays inside its array.
bool build_records(VimMesh* mesh, const uint16_t (*values)[7], const char (*tag_names)[VIM_BONE_TAG_NAME_MAX + 1]) {
  const int groups = mesh->group_count;
  const long long size = mesh->data_size;
  uint8_t* block = mesh->data;
  long long off = align_up(static_cast<long long>(groups) * VIM_GROUP_BYTES);
  if (off > size && groups > 0) {
    return refuse("group records run past the data block");
  }
  auto take = [&](long long bytes, int& at) {
    at = static_cast<int>(off);
    off += bytes;
    if (off > size) {
      return false;
    }
    off = align_up(off);
    return true;
  };
  const int bones = mesh->bone_part.bone_count;
  for (int g = 0; g < groups; ++g) {
    VimGroup& gr = mesh->groups[g];
    // File order: vertex, face, position, face bytes, duplicate, skin, uv.
    gr.vertex_count = values[g][0];
    gr.face_count = values[g][1];
    gr.position_bytes = values[g][2];
    gr.face_bytes = values[g][3];
    gr.dup_bytes = values[g][4];
    gr.skin_bytes = values[g][5];
    gr.uv_bytes = values[g][6];
    const int vc = gr.vertex_count;
    if (vc > VIM_MAX_GROUP_VERTS || gr.face_count > VIM_MAX_GROUP_FACES) {
      return refuse("a group has more vertices or faces than a mesh can draw");
    }
    if (gr.position_bytes < vc * 12 || gr.uv_bytes < vc * 8 || gr.dup_bytes < vc * 2 ||
        gr.face_bytes < gr.face_count * VIM_FACE_BYTES || (gr.skin_bytes != 0 && gr.skin_bytes < vc * 8)) {
      return refuse("a group's array sizes are too small for its counts");
    }
    GroupLayout l{};
    if (!take(gr.position_bytes, l.positions) || !take(gr.position_bytes, l.normals) ||
        !take(gr.uv_bytes, l.uvs) || !take(gr.face_bytes, l.faces) || !take(gr.dup_bytes, l.dup)) {
      return refuse("a group's arrays run past the data block");
    }
    l.skin = -1;
    if (gr.skin_bytes != 0 && !take(gr.skin_bytes, l.skin)) {
      return refuse("a group's skin weights run past the data block");
    }
    l.morph = -1;
    if ((mesh->flags & VIM_FLAG_MORPH) && !take(static_cast<long long>(mesh->morph_vertex_count) * 2, l.morph)) {
      return refuse("a group's morph map runs past the data block");
    }
    const uint8_t* rec = block + g * VIM_GROUP_BYTES;
    gr.bitmap_slot = get_i32(rec + 24);
    gr.positions = reinterpret_cast<const vector*>(block + l.positions);
    gr.normals = reinterpret_cast<const vector*>(block + l.normals);
    gr.uvs = reinterpret_cast<const float*>(block + l.uvs);
    gr.faces = reinterpret_cast<const VimFace*>(block + l.faces);
    gr.dup_map = reinterpret_cast<const int16_t*>(block + l.dup);
    gr.skin = l.skin >= 0 ? block + l.skin : nullptr;
    gr.morph_map = l.morph >= 0 ? reinterpret_cast<const int16_t*>(block + l.morph) : nullptr;
    for (int f = 0; f < gr.face_count; ++f) {
      const VimFace& face = gr.faces[f];
      if (face.v[0] >= static_cast<uint32_t>(vc) || face.v[1] >= static_cast<uint32_t>(vc) ||
          face.v[2] >= static_cast<uint32_t>(vc)) {
        return refuse("a face names a vertex outside its group");
      }
    }
    for (int v = 0; v < vc; ++v) {
      const int d = gr.dup_map[v];
      if (d > v) {
        return refuse("a duplicate-map entry points before the group's first vertex");
      }
      if (gr.skin) {
        for (int k = 0; k < 4; ++k) {
          if (gr.skin[v * 8 + 4 + k] >= bones && (gr.skin[v * 8 + k] != 0 || bones > 0)) {
            return refuse("a skin weight names a bone the mesh does not have");
          }
        }
      }
    }
    if (gr.morph_map) {
      for (int m = 0; m < mesh->morph_vertex_count; ++m) {
        if (gr.morph_map[m] >= vc) {
          return refuse("a morph-map entry names a vertex outside its group");
        }
      }
    }
  }

  // Bones and bone tags follow without alignment.
  const long long bone_off = off;
  const long long bone_tag_off = bone_off + static_cast<long long>(bones) * VIM_BONE_BYTES;
  const int bone_tags = mesh->bone_part.bone_tag_count;
  mesh->bone_tag_offset = static_cast<int32_t>(bone_tag_off);
  long long tag_off = bone_tag_off + static_cast<long long>(bone_tags) * VIM_BONE_TAG_BYTES;
  if (tag_off > size || tag_off + static_cast<long long>(mesh->tag_count) * VIM_TAG_BYTES > size) {
    return refuse("bones or tags run past the data block");
  }
  for (int b = 0; b < bones; ++b) {
    const uint8_t* rec = block + bone_off + static_cast<long long>(b) * VIM_BONE_BYTES;
    VimBone& bone = mesh->bone_part.bones[b];
    if (!memchr(rec, 0, VIM_BONE_NAME_MAX)) {
      return refuse("a bone name is longer than its field");
    }
    std::memcpy(bone.name, rec, VIM_BONE_NAME_MAX);
    read_transform(rec + 80, bone.inverse_rest);
    bone.parent = get_i32(rec + 128);
    bone.point.set(get_f32(rec + 132), get_f32(rec + 136), get_f32(rec + 140));
    bone.value = get_i32(rec + 144);
    if (bone.parent >= bones) {
      return refuse("a bone's parent is not in the mesh");
    }
    if (bone.parent < 0) {
      bone.parent = -1;
    }
  }
  // A parent chain that loops would never end when a pose walks it.
  for (int b = 0; b < bones; ++b) {
    int p = mesh->bone_part.bones[b].parent;
    for (int steps = 0; p >= 0; ++steps) {
      if (steps > bones) {
        return refuse("the bones' parents form a loop");
      }
      p = mesh->bone_part.bones[p].parent;
    }
  }
  if (mesh->bone_part.root_bone >= bones || (bones > 0 && mesh->bone_part.root_bone < 0)) {
    if (bones > 0) {
      return refuse("the root bone is not in the mesh");
    }
  }
  for (int t = 0; t < bone_tags; ++t) {
    const uint8_t* rec = block + bone_tag_off + static_cast<long long>(t) * VIM_BONE_TAG_BYTES;
    VimBoneTag& tag = mesh->bone_part.bone_tags[t];
    read_transform(rec + 4, tag.local);
    tag.parent = get_i32(rec + 52);
    if (tag.parent < 0 || tag.parent >= bones) {
      return refuse("a bone tag's parent is not in the mesh");
    }
    tag.name = ca_detail::names().find_or_add(tag_names[t]);
  }
  for (int t = 0; t < mesh->tag_count; ++t) {
    const uint8_t* rec = block + tag_off + static_cast<long long>(t) * VIM_TAG_BYTES;
    VimTag& tag = mesh->tags[t];
    if (!memchr(rec, 0, VIM_TAG_NAME_MAX)) {
      return refuse("a tag name is longer than its field");
    }
    std::memcpy(tag.name, rec, VIM_TAG_NAME_MAX);
    tag.rotation.set(get_f32(rec + 68), get_f32(rec + 72), get_f32(rec + 76), get_f32(rec + 80));
    tag.position.set(get_f32(rec + 84), get_f32(rec + 88), get_f32(rec + 92));
  }
  return true;
}

// Frees what a body read allocated, leaving the record empty.
void drop_body(VimMesh* mesh) {
  if (!(mesh->flags & VIM_FLAG_IN_ARENA)) {
    mem_free(mesh->data);
    mem_free(mesh->groups);
    mem_free(mesh->bone_part.bones);
    mem_free(mesh->bone_part.bone_tags);
    mem_free(mesh->tags);
  }
  mesh->data = nullptr;
  mesh->groups = nullptr;
  mesh->bone_part.bones = nullptr;
  mesh->bone_part.bone_tags = nullptr;
  mesh->tags = nullptr;
  mesh->group_count = 0;
  mesh->bone_part.bone_count = 0;
  mesh->bone_part.bone_tag_count = 0;
  mesh->tag_count = 0;
  mesh->data_size = 0;
}

bool read_bitmap_names(ReadStream& s, VimMesh* mesh) {
  const int count = s.read_int();
  if (s.error() != 0) {
    return refuse("the file ends before its bitmap names");
  }
  if (count < 0 || count > VIM_MAX_BITMAPS) {
    return refuse("more bitmaps than a mesh has slots");
  }
  // All names are read and checked before any bitmap is loaded, so a refused
  // file loads nothing; a name the bitmap manager cannot type would be fatal
  // there.
  char names[VIM_MAX_BITMAPS][VIM_BITMAP_NAME_MAX + 1];
  for (int i = 0; i < count; ++i) {
    if (!ca_detail::read_bounded_string(s, names[i], VIM_BITMAP_NAME_MAX)) {
      return refuse("a bitmap name is cut short or too long");
    }
    if (bm_get_type_from_ext(names[i]) == BM_TYPE_NONE) {
      return refuse("a bitmap name is not of a bitmap file type");
    }
  }
  for (int i = 0; i < count; ++i) {
    mesh->bitmaps[i] = bm_load(names[i], -1);
  }
  mesh->bitmap_count = count;
  return true;
}

void clear_bitmaps(VimMesh* mesh) {
  for (int32_t& b : mesh->bitmaps) {
    b = -1;
  }
  mesh->bitmap_count = 0;
}

}  // namespace

namespace ca_detail {

StringPool& names() {
  static StringPool pool;
  if (!pool.buffer()) {
    pool.alloc(5120);
  }
  return pool;
}

const char* pooled_exact(const char* text) {
  if (!text) return nullptr;
  StringPool& pool = names();
  for (const char* p = pool.buffer(); p < pool.buffer() + pool.used(); p += std::strlen(p) + 1) {
    if (std::strcmp(p, text) == 0) return p;
  }
  return pool.add(text);
}

bool read_bounded_string(ReadStream& s, char* buffer, int max) {
  for (int n = 0;; ++n) {
    char c;
    if (s.read(&c, 1) != 1) {
      buffer[n] = 0;
      return false;
    }
    if (c == 0) {
      buffer[n] = 0;
      return true;
    }
    if (n >= max) {
      buffer[n] = 0;
      return false;
    }
    buffer[n] = c;
  }
}

}  // namespace ca_detail

VimMesh* vim_alloc() {
  const bool in_arena = mem_arena_active();
  auto* mesh = static_cast<VimMesh*>(alloc_zeroed(sizeof(VimMesh)));
  if (!mesh) {
    return nullptr;
  }
  clear_bitmaps(mesh);
  mesh->bone_part.root_bone = 0;
  if (in_arena) {
    mesh->flags |= VIM_FLAG_IN_ARENA;
  }
  return mesh;
}

void vim_free(VimMesh* mesh) {
  if (!mesh || (mesh->flags & VIM_FLAG_IN_ARENA)) {
    return;
  }
  drop_body(mesh);
  mem_free(mesh);
}

int vim_read_header(ReadStream& s, VimHeader* h) {
  h->version = s.read_int();
  h->flags = s.read_int();
  h->morph_vertex_count = s.read_int();
  h->group_count = s.read_ushort();
  s.read_vector(&h->centre);
  h->radius = s.read_float();
  h->data_size = s.read_int();
  if (s.error() != 0) {
    h->version = 0;
  }
  return h->version;
}

int vim_read_body(ReadStream& s, VimMesh* mesh, bool bitmaps_only, int /*spare*/, const VimHeader& h) {
  if (h.data_size < 0 || h.data_size > VIM_MAX_DATA_SIZE || h.morph_vertex_count < 0 ||
      h.morph_vertex_count > 32767) {
    return refuse("the header's sizes are out of range");
  }
  const int groups = h.group_count;
  if (bitmaps_only) {
    if (s.seek(h.data_size + 4 + groups * 14, 1) != 0) {
      return refuse("the file ends inside the mesh data");
    }
    const int bones = s.read_int();
    s.read_int();
    const int bone_tags = s.read_int();
    if (bones < 0 || bone_tags < 0 || bone_tags > 65535) {
      return refuse("bone counts out of range");
    }
    char name[VIM_BONE_TAG_NAME_MAX + 1];
    for (int t = 0; t < bone_tags; ++t) {
      if (!ca_detail::read_bounded_string(s, name, VIM_BONE_TAG_NAME_MAX)) {
        return refuse("a bone-tag name is cut short or too long");
      }
    }
    s.read_int();
    return read_bitmap_names(s, mesh) && s.error() == 0 ? 1 : 0;
  }

  drop_body(mesh);
  // Whether the record lives in an arena is decided here, never by the file:
  // a file that claimed it would make its mesh unfreeable.
  mesh->flags |= static_cast<uint32_t>(h.flags) & ~VIM_FLAG_IN_ARENA;
  mesh->morph_vertex_count = h.morph_vertex_count;
  mesh->centre = h.centre;
  mesh->radius = h.radius;
  mesh->data = static_cast<uint8_t*>(alloc_zeroed(static_cast<size_t>(h.data_size)));
  if (!mesh->data) {
    return 0;
  }
  mesh->data_size = h.data_size;
  if (h.data_size > 0 && s.read(mesh->data, h.data_size) != h.data_size) {
    drop_body(mesh);
    return refuse("the file ends inside the data block");
  }
  mesh->spare = s.read_int();
  uint16_t(*values)[7] = new uint16_t[groups > 0 ? groups : 1][7];
  for (int g = 0; g < groups; ++g) {
    for (int k = 0; k < 7; ++k) {
      values[g][k] = s.read_ushort();
    }
  }
  const int bones = s.read_int();
  const int root = s.read_int();
  const int bone_tags = s.read_int();
  bool ok = s.error() == 0;
  if (!ok) {
    refuse("the file ends inside the group sizes");
  } else if (bones < 0 || bone_tags < 0 || static_cast<long long>(bones) * VIM_BONE_BYTES > h.data_size ||
             static_cast<long long>(bone_tags) * VIM_BONE_TAG_BYTES > h.data_size) {
    ok = refuse("bone counts do not fit the data block");
  }
  char(*tag_names)[VIM_BONE_TAG_NAME_MAX + 1] = nullptr;
  if (ok) {
    tag_names = new char[bone_tags > 0 ? bone_tags : 1][VIM_BONE_TAG_NAME_MAX + 1];
    for (int t = 0; ok && t < bone_tags; ++t) {
      if (!ca_detail::read_bounded_string(s, tag_names[t], VIM_BONE_TAG_NAME_MAX)) {
        ok = refuse("a bone-tag name is cut short or too long");
      }
    }
  }
  int tags = 0;
  if (ok) {
    tags = s.read_int();
    if (s.error() != 0 || tags < 0 || static_cast<long long>(tags) * VIM_TAG_BYTES > h.data_size) {
      ok = refuse("the tag count does not fit the data block");
    }
  }
  if (ok) {
    mesh->group_count = static_cast<uint16_t>(groups);
    mesh->groups = static_cast<VimGroup*>(alloc_zeroed(sizeof(VimGroup) * (groups > 0 ? groups : 1)));
    mesh->bone_part.bone_count = bones;
    mesh->bone_part.root_bone = root;
    mesh->bone_part.bones = static_cast<VimBone*>(alloc_zeroed(sizeof(VimBone) * (bones > 0 ? bones : 1)));
    mesh->bone_part.bone_tag_count = bone_tags;
    mesh->bone_part.bone_tags =
        static_cast<VimBoneTag*>(alloc_zeroed(sizeof(VimBoneTag) * (bone_tags > 0 ? bone_tags : 1)));
    mesh->tag_count = tags;
    mesh->tags = tags > 0 ? static_cast<VimTag*>(alloc_zeroed(sizeof(VimTag) * tags)) : nullptr;
    ok = mesh->groups && mesh->bone_part.bones && mesh->bone_part.bone_tags && (tags == 0 || mesh->tags) &&
         build_records(mesh, values, tag_names);
  }
  delete[] values;
  delete[] tag_names;
  if (ok) {
    clear_bitmaps(mesh);
    ok = read_bitmap_names(s, mesh);
  }
  if (!ok) {
    drop_body(mesh);
    return 0;
  }
  return 1;
}

VimMesh* vim_load_stream(ReadStream& s, int spare) {
  VimHeader h;
  if (vim_read_header(s, &h) < VIM_VERSION) {
    refuse("not a version 6 mesh");
    return nullptr;
  }
  VimMesh* mesh = vim_alloc();
  if (!mesh) {
    return nullptr;
  }
  if (!vim_read_body(s, mesh, false, spare, h)) {
    vim_free(mesh);
    return nullptr;
  }
  return mesh;
}

VimMesh* vim_load(const char* name, int spare) {
  if (!name) {
    return nullptr;
  }
  char file[VFILE_MAX_PATH];
  vfile_make_name(file, name, "vim");
  std::printf("VIF LOADING : %s\n", name);
  FileHandle fh;
  if (fh.open(file, VF_READ, VFILE_ANY_TYPE) != VF_OK) {
    // Not shown to the user: the caller decides what a missing mesh means.
    return nullptr;
  }
  ReadStream s;
  s.open_file(&fh);
  VimMesh* mesh = vim_load_stream(s, spare);
  if (!mesh) {
    std::printf("VIM REFUSED : %s\n", file);
  }
  fh.close();
  return mesh;
}

bool vim_reload_bitmaps(const char* name, VimMesh* mesh) {
  if (!name || !mesh) {
    return false;
  }
  char file[VFILE_MAX_PATH];
  vfile_make_name(file, name, "vim");
  FileHandle fh;
  if (fh.open(file, VF_READ, VFILE_ANY_TYPE) != VF_OK) {
    return false;
  }
  ReadStream s;
  s.open_file(&fh);
  VimHeader h;
  bool ok = vim_read_header(s, &h) >= VIM_VERSION && vim_read_body(s, mesh, true, -1, h) == 1;
  fh.close();
  return ok;
}

namespace {

// The block with each place that held a pointer written as the offset it
// points at (0 for none), so that saved files never depend on where a block
// happened to sit in memory.
void normalised_block(const VimMesh* mesh, uint8_t* out) {
  std::memcpy(out, mesh->data, static_cast<size_t>(mesh->data_size));
  const uint8_t* base = mesh->data;
  auto offset_of = [&](const void* p) -> uint32_t {
    return p ? static_cast<uint32_t>(static_cast<const uint8_t*>(p) - base) : 0u;
  };
  for (int g = 0; g < mesh->group_count; ++g) {
    uint8_t* rec = out + g * VIM_GROUP_BYTES;
    const VimGroup& gr = mesh->groups[g];
    ca_detail::put_u32(rec + 0, offset_of(gr.positions));
    ca_detail::put_u32(rec + 4, offset_of(gr.normals));
    ca_detail::put_u32(rec + 8, offset_of(gr.uvs));
    ca_detail::put_u32(rec + 12, offset_of(gr.faces));
    ca_detail::put_u32(rec + 16, offset_of(gr.dup_map));
    ca_detail::put_u32(rec + 20, offset_of(gr.skin));
    ca_detail::put_u32(rec + 28, offset_of(gr.morph_map));
    const uint16_t vals[8] = {gr.vertex_count, gr.face_count, gr.position_bytes, gr.face_bytes,
                              gr.uv_bytes,     gr.skin_bytes, gr.dup_bytes,      0};
    for (int k = 0; k < 7; ++k) {
      rec[32 + 2 * k] = static_cast<uint8_t>(vals[k]);
      rec[33 + 2 * k] = static_cast<uint8_t>(vals[k] >> 8);
    }
  }
  // Bone-tag names live in the string pool, not in the block.
  for (int t = 0; t < mesh->bone_part.bone_tag_count; ++t) {
    ca_detail::put_u32(out + mesh->bone_tag_offset + t * VIM_BONE_TAG_BYTES, 0);
  }
}

}  // namespace

int vim_save(const VimMesh* mesh, const char* name, int path_type) {
  if (!mesh || !name) {
    return 0;
  }
  const char* bitmap_names[VIM_MAX_BITMAPS] = {};
  for (int i = 0; i < mesh->bitmap_count && i < VIM_MAX_BITMAPS; ++i) {
    bitmap_names[i] = bm_get_filename(mesh->bitmaps[i]);
    if (!bitmap_names[i]) {
      return 0;  // checked before the file is touched, so the old one stays
    }
  }
  char file[VFILE_MAX_PATH];
  vfile_make_name(file, name, "vim");
  FileHandle fh;
  if (fh.open(file, VF_WRITE, path_type) != VF_OK) {
    return 0;
  }
  fh.write_int(VIM_VERSION);
  fh.write_int(static_cast<int32_t>(mesh->flags & ~VIM_FLAG_IN_ARENA));
  fh.write_int(mesh->morph_vertex_count);
  fh.write_ushort(mesh->group_count);
  fh.write_vector(mesh->centre);
  fh.write_float(mesh->radius);
  fh.write_int(mesh->data_size);
  if (mesh->data_size > 0) {
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(mesh->data_size)));
    if (!block) {
      fh.close();
      return 0;
    }
    normalised_block(mesh, block);
    fh.write(block, mesh->data_size);
    std::free(block);
  }
  fh.write_int(mesh->spare);
  for (int g = 0; g < mesh->group_count; ++g) {
    const VimGroup& gr = mesh->groups[g];
    fh.write_ushort(gr.vertex_count);
    fh.write_ushort(gr.face_count);
    fh.write_ushort(gr.position_bytes);
    fh.write_ushort(gr.face_bytes);
    fh.write_ushort(gr.dup_bytes);
    fh.write_ushort(gr.skin_bytes);
    fh.write_ushort(gr.uv_bytes);
  }
  fh.write_int(mesh->bone_part.bone_count);
  fh.write_int(mesh->bone_part.root_bone);
  fh.write_int(mesh->bone_part.bone_tag_count);
  for (int t = 0; t < mesh->bone_part.bone_tag_count; ++t) {
    fh.write_string(mesh->bone_part.bone_tags[t].name ? mesh->bone_part.bone_tags[t].name : "");
  }
  fh.write_int(mesh->tag_count);
  fh.write_int(mesh->bitmap_count);
  for (int i = 0; i < mesh->bitmap_count && i < VIM_MAX_BITMAPS; ++i) {
    fh.write_string(bitmap_names[i]);
  }
  // A failed write leaves the error set; the close then drops the temporary
  // file and the old mesh stays as it was.
  return fh.close() == VF_OK ? 1 : 0;
}

int vim_find_tag(const VimMesh* mesh, const char* name) {
  if (!mesh || !name) {
    return -1;
  }
  for (int i = 0; i < mesh->tag_count; ++i) {
    if (strcasecmp(mesh->tags[i].name, name) == 0) {
      return i;
    }
  }
  return -1;
}

void vim_get_tag(const VimMesh* mesh, int index, vector* position, matrix* orientation) {
  if (!mesh || index < 0 || index >= mesh->tag_count) {
    return;
  }
  if (position) {
    *position = mesh->tags[index].position;
  }
  if (orientation) {
    mesh->tags[index].rotation.to_matrix(*orientation);
  }
}

void vim_copy_bitmaps(VimMesh* dest, const VimMesh* src) {
  if (!dest || !src) {
    return;
  }
  for (int i = 0; i < src->bitmap_count && i < VIM_MAX_BITMAPS; ++i) {
    dest->bitmaps[i] = src->bitmaps[i];
  }
}

void vim_save_bitmaps(const VimMesh* mesh) {
  if (!mesh) {
    return;
  }
  std::memcpy(g_saved_bitmaps, mesh->bitmaps, sizeof(g_saved_bitmaps));
  g_saved_bitmap_count = mesh->bitmap_count;
}

void vim_restore_bitmaps(VimMesh* mesh) {
  if (!mesh || g_saved_bitmap_count <= 0) {
    return;
  }
  std::memcpy(mesh->bitmaps, g_saved_bitmaps, sizeof(g_saved_bitmaps));
  mesh->bitmap_count = g_saved_bitmap_count;
}

bool vim_bitmaps_valid(const VimMesh* mesh) {
  if (!mesh) {
    return false;
  }
  for (int i = 0; i < mesh->bitmap_count; ++i) {
    if (mesh->bitmaps[i] < 0) {
      return false;
    }
  }
  return true;
}
