#pragma once
// Meshes (.vim): the drawable body of a character kind or an effect. A mesh
// is read in one piece: the file's raw data block is kept exactly as it was
// read (so that a save gives the same bytes back), and native records for the
// groups, bones and tags are built beside it at load. The vertex arrays the
// groups point at live inside the raw block; everything a caller indexes
// through them (face vertex indices, duplicate-map steps, skin bone indices,
// morph-map entries, parent bones) has been checked at load, so a mesh that
// loaded is safe to draw and pose.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

class ReadStream;

constexpr int VIM_VERSION = 6;
constexpr int VIM_MAX_BITMAPS = 6;
constexpr int VIM_GROUP_BYTES = 48;
constexpr int VIM_FACE_BYTES = 16;
constexpr int VIM_BONE_BYTES = 160;
constexpr int VIM_BONE_TAG_BYTES = 56;
constexpr int VIM_TAG_BYTES = 96;
constexpr int VIM_BONE_NAME_MAX = 80;    // the name field before the transform
constexpr int VIM_TAG_NAME_MAX = 68;
constexpr int VIM_BONE_TAG_NAME_MAX = 127;
constexpr int VIM_BITMAP_NAME_MAX = 511;

constexpr uint32_t VIM_FLAG_MORPH = 1;      // groups carry morph maps
constexpr uint32_t VIM_FLAG_IN_ARENA = 8;   // never freed on its own

// The mesh drawer transforms a group at a time in fixed scratch arrays; a
// file with a larger group is refused when it loads.
constexpr int VIM_MAX_GROUP_VERTS = 2000;
constexpr int VIM_MAX_GROUP_FACES = 4000;

constexpr int VIM_FACE_TWO_SIDED = 32;
constexpr int VIM_FACE_HIDE_SHIFT = 6;

// One triangle: vertex indices into its group (checked below the group's
// vertex count), the flag word (bit 5 two-sided, bits 6 and up hide groups).
struct VimFace {
  uint32_t v[3];
  int16_t flags;
  uint16_t unused;
};
static_assert(sizeof(VimFace) == VIM_FACE_BYTES, "faces are drawn straight from the file's block");

// A group of vertices and faces sharing one bitmap. Arrays point into the
// mesh's raw block; counts are per vertex unless named otherwise.
struct VimGroup {
  const vector* positions;
  const vector* normals;
  const float* uvs;              // 2 per vertex
  const VimFace* faces;
  const int16_t* dup_map;        // <0: own vertex; n>=1: copy of vertex i-n
  const uint8_t* skin;           // null, or 8 per vertex: 4 weights (/16), 4 bone indices
  int32_t bitmap_slot;           // negative: not drawn
  const int16_t* morph_map;      // null, or morph vertex count entries (<0: not here)
  uint16_t vertex_count;
  uint16_t face_count;
  uint16_t position_bytes;
  uint16_t face_bytes;
  uint16_t uv_bytes;
  uint16_t skin_bytes;
  uint16_t dup_bytes;
};

struct VimBone {
  char name[VIM_BONE_NAME_MAX];  // always terminated
  transform inverse_rest;        // mesh space into the bone's frame
  int32_t parent;                // negative for the root; otherwise a bone earlier in the chain
  vector point;
  int32_t value;
};

struct VimBoneTag {
  const char* name;              // pooled
  transform local;               // relative to the parent bone
  int32_t parent;
};

struct VimTag {
  char name[VIM_TAG_NAME_MAX];   // always terminated
  quaternion rotation;
  vector position;
};

// The skeleton description a base character keeps from its mesh.
struct VimBonePart {
  int32_t bone_count;
  VimBone* bones;
  int32_t bone_tag_count;
  VimBoneTag* bone_tags;
  int32_t root_bone;
};

struct VimMesh {
  int32_t data_size;
  uint8_t* data;                 // the raw block as read (owned)
  VimGroup* groups;
  uint16_t group_count;
  int32_t bitmaps[VIM_MAX_BITMAPS];
  int32_t bitmap_count;
  uint32_t flags;
  int32_t morph_vertex_count;
  int32_t spare;
  VimBonePart bone_part;
  vector centre;
  float radius;
  VimTag* tags;
  int32_t tag_count;
  int32_t bone_tag_offset;       // where the bone-tag records start in the block
};

struct VimHeader {
  int32_t version;
  int32_t flags;
  int32_t morph_vertex_count;
  uint16_t group_count;
  vector centre;
  float radius;
  int32_t data_size;
};

// Largest data block a mesh may declare; anything larger is refused before
// it is allocated.
constexpr int32_t VIM_MAX_DATA_SIZE = 16 * 1024 * 1024;

VimMesh* vim_alloc();
void vim_free(VimMesh* mesh);

// The version read (a short stream reads as 0).
int vim_read_header(ReadStream& stream, VimHeader* header);
// 1, or 0 when the block cannot be had or the body is refused (a message on
// the standard output says why).
int vim_read_body(ReadStream& stream, VimMesh* mesh, bool bitmaps_only, int spare, const VimHeader& header);
// The mesh, or null (bad version, refused body).
VimMesh* vim_load_stream(ReadStream& stream, int spare = -1);
// "VIF LOADING : <name>" on the standard output; null when the file does not
// open or is refused.
VimMesh* vim_load(const char* name, int spare = -1);
// Rereads only the bitmap names from the file and loads them into the mesh.
bool vim_reload_bitmaps(const char* name, VimMesh* mesh);
// 1 when the whole file was written (and replaced the old one), else 0.
int vim_save(const VimMesh* mesh, const char* name, int path_type);

int vim_find_tag(const VimMesh* mesh, const char* name);
void vim_get_tag(const VimMesh* mesh, int index, vector* position, matrix* orientation);
// The same, under the name weapon code uses.
inline void vim_get_tag_transform(const VimMesh* mesh, int index, vector* position, matrix* orientation) {
  vim_get_tag(mesh, index, position, orientation);
}

void vim_copy_bitmaps(VimMesh* dest, const VimMesh* src);
void vim_save_bitmaps(const VimMesh* mesh);
void vim_restore_bitmaps(VimMesh* mesh);
// True when every bitmap handle is valid (handle 0 is a valid handle); true
// for a mesh with no bitmaps, false for a null mesh.
bool vim_bitmaps_valid(const VimMesh* mesh);
