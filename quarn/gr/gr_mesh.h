#pragma once
// Drawing a .vim mesh: every vertex is morphed, skinned, transformed, lit
// and projected here on the CPU into fixed scratch arrays, and the active
// renderer is handed whole indexed triangle lists per group.
//
// The rule a caller must know: set the mesh (and, for a posed character, its
// skin transforms) first, then call gr_mesh_render inside a 3D frame; a group
// above GR_MESH_MAX_VERTS vertices or GR_MESH_MAX_FACES faces is never drawn
// (the mesh loader refuses such files).
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct VimMesh;
struct VimGroup;
struct MorphTrack;
class skeleton;
struct BaseCharacter;
class character_instance;

// Scratch capacity: vertices of one group, faces of one group.
#define GR_MESH_MAX_VERTS 2000
#define GR_MESH_MAX_FACES 4000

// Filled by the caller.
struct MeshDrawRecord {
  uint32_t flags = 0;            // bit 0: do not draw the mesh
  int32_t shadow = 0;            // non-zero and not -1: draw the shadow mesh (by the character code)
  int32_t alpha = 255;           // 0..255; 0 is invisible
  const int32_t* bitmaps = nullptr;  // override list of VIM_MAX_BITMAPS handles by bitmap slot, or null
  uint8_t r = 255, g = 255, b = 255;  // colour of the overlay pass
  int32_t hide_mask = 0;         // faces with (mask << 6) & flags are skipped
};
#define MESH_DRAW_HIDDEN 1

// Makes an instance the current skinned character (null, null ends it): its
// skin transforms pose the mesh and the morph block of its root or cycle
// animation moves the morph vertices, as its owner last advanced them
// (process, then setup_matrices).
void gr_mesh_set_character(BaseCharacter* base, character_instance* instance);
// Without an instance: one skin transform per bone (bone rest inverse, then
// the posed bone), or null to draw unskinned.
void gr_mesh_set_skin(const transform* skin, int bone_count);
// The animation whose morph block moves the current character's morph
// vertices, and its clock in ticks (null: none). Drawn only while skinned.
void gr_mesh_set_morph(skeleton* anim, int clock);
void gr_mesh_set_current(VimMesh* mesh);
VimMesh* gr_mesh_get_current();
bool gr_mesh_has_current();
// The second pass drawn over every group (-1: none).
void gr_mesh_set_overlay(int bitmap, int alpha);

// Draws the current mesh at a position and orientation (a 3D frame must be
// started). The record's alpha is faded by distance first. While the
// screen's tint is on (gr_set_tint) every vertex colour becomes the mean of
// its red, green and blue times the tint factors.
void gr_mesh_render(const vector& position, const matrix& orient, MeshDrawRecord& record);

// Alpha faded by the view depth of a world point.
int gr_mesh_distance_alpha(int alpha, const vector& world);
int gr_fog_alpha(int alpha, float depth);
// 255 when unfogged, down to 0 at the fog's end.
int gr_fog_value(float depth);

// The environment map kept with the mesh drawer ("refmap01.tga").
int gr_envmap_load();
int gr_envmap_handle();

// Morph-key position of one track at f, in key frames (as the draw
// computes it; the track's search cursor moves on), and f itself from the
// clock; equal first and last ticks give f = 0, the first key.
float gr_mesh_morph_fraction(float clock, float first_tick, float last_tick, int key_count);
vector gr_mesh_morph_position(MorphTrack& track, float f, int key_count);

// The CPU side of one group, for the renderers and for tests: what
// gr_mesh_render computes before submission. Positions are screen x, screen
// y and the depth value; texture coordinates (u w, v w, 0, w).
struct GrMeshScratch {
  float position[GR_MESH_MAX_VERTS][3];
  uint8_t colour[GR_MESH_MAX_VERTS][4];
  float tex[GR_MESH_MAX_VERTS][4];
  uint8_t visible[GR_MESH_MAX_VERTS];
  float w[GR_MESH_MAX_VERTS];
  vector view[GR_MESH_MAX_VERTS];
  vector object[GR_MESH_MAX_VERTS];  // morphed and skinned, for the back-face test
  vector normal[GR_MESH_MAX_VERTS];
  uint16_t index[3 * GR_MESH_MAX_FACES];
  int index_count;
};
const GrMeshScratch& gr_mesh_scratch();
// Fills the scratch arrays for one group of the current mesh inside the
// current object frame (lights already gathered); false when the group is
// not drawn (no faces, slot below 0, or beyond the scratch capacity).
// `far_limit` drops vertices at |screen| >= 2048 (the Glide and Direct3D rule).
bool gr_mesh_prepare_group(const VimGroup& group, const MeshDrawRecord& record, bool far_limit);
