#pragma once
// Decals on the level: bitmaps projected onto level faces inside a box
// (blood under struck creatures, rings and markers), from a pool of 32
// shared by the whole level, and the face mask that tells which faces of
// which instances a decal touches this frame. Only instances that take
// decals (flag 0x40 or 0x400) have a run of bits in the mask.
//
// The rules a caller must know: the mask is laid out once per level
// (decal_mask_layout, after the level loads) and cleared every frame before
// decals mark it; an instance past the mask's end gets no decals. A decal of
// lifetime 0 lasts for the frame it was placed in: the scene pass draws it
// and decal_end_frame removes it.
#include <cstdint>

#include "Engine/s3d/s3d.h"
#include "quarn/math/vector.h"

constexpr int MAX_DECALS = 32;
constexpr uint32_t DECAL_LIFETIME_MASK = 0x1FFFFFFFu;  // ms; 0 this frame only
constexpr uint32_t DECAL_BUILT = 1u << 29;
constexpr uint32_t DECAL_IN_USE = 1u << 30;
constexpr uint32_t DECAL_LIT = 1u << 31;

struct Decal {
  int32_t created = 0;  // game clock, ms
  int bitmap = -1;
  vector pos;           // the box's centre
  float radius = 0.0f;  // |right + up + depth|
  vector normal;        // right x up, normalised
  uint32_t state = 0;   // lifetime | built | in use | lit
  bool persistent = false;  // kept for the callers that ask for it
  int light_word = 0;
  float depth_scale = 0.0f;
  plane planes[6];      // facing out of the box
  int plane_count = 0;
  bool active = false;
  int u_plane = 0, v_plane = 0;  // the planes the texture coordinates run from
  float u_scale = 0.0f, v_scale = 0.0f;
  int next = -1, prev = -1;  // free or used ring
};

// Places a decal: right and up are half extents of the box, which reaches
// depth_scale x the longer of them to either side along their normal.
// Returns its index; when all are in use the one with least lifetime left
// is taken over.
int decal_add(int bitmap, const vector& pos, const vector& right, const vector& up, int lifetime_ms, bool lit,
              int light_word, float depth_scale, bool persistent = false);
void decal_remove(int decal);
void decal_pool_reset();
const Decal* decal_get(int decal);
int decal_used_count();
// The decals in use in order of lifetime left, smallest first.
int decal_expiry_order(int* out, int capacity);
// A decal's alpha at a time: 255, then falling to 0 over its last second.
int decal_alpha(const Decal& d, int32_t now);
// The texture coordinates of a world point in a decal's box.
void decal_uv(const Decal& d, const vector& p, float* u, float* v);
// Marks the faces of an instance that a decal in use may land on; returns
// how many decals touch the instance.
int decal_mark_faces(int instance);
// Draws the decals on one instance (positions: the mesh's own or its
// animated ones), removing those whose time is up.
void decal_draw_on_mesh(int instance, const vector* positions);
// Removes every decal of lifetime 0.
void decal_end_frame();
// A one-frame decal 2 x size_a by 2 x size_b lying flat, turned by an angle
// in degrees about the vertical (the selection ring, ground markers).
int decal_add_rotated(int bitmap, const vector& pos, float angle_deg, float size_a, float size_b);
// The two axes decal_add_rotated hands decal_add.
void decal_rotated_axes(float angle_deg, float size_a, float size_b, vector* first, vector* second);

// One bit per face, 65,536 faces in all.
constexpr int DECAL_FACE_MASK_BYTES = 8192;

// Gives every decal-taking instance its run (whole bytes, instance order).
// Returns the number of instances that found room.
int decal_mask_layout();
void decal_mask_clear();
// The first bit of an instance's run; -1 when it has none.
int decal_mask_offset(int instance);
// Marks and reads one face of an instance; a face outside the run is
// never marked.
void decal_mask_set(int instance, int face);
bool decal_mask_test(int instance, int face);
