#pragma once
// The records of an effect definition that are not numbered elements:
// material tracks (what emitter items and the level's environment take their
// look from), the environment selector, and camera elements.
//
// The rule a caller must know: these are read straight from the image on
// every use, through its bounds-checked accessors; an index or record that
// does not lie in the image answers "none", never a read outside it.
#include <cstdint>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_image.h"
#include "quarn/geom/mesh_effect.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

// Material track (76 bytes, the definition's array at offset 68): a
// mesh-effect material, whose bytes 8..10 give the track's colour (red,
// green, blue); its layer 1 gives the bitmap frames and its third curve the
// opacity.
constexpr int MATERIAL_TRACK_COLOUR = 8;
bool effect_material_track(const EffectImage& img, uint32_t def, int index, MeshMaterial& out);
// What emitter items take from the track `material` of their definition at
// a time in effect frames (or at a fraction of life, normalised): bitmap
// frame, colour and opacity. False, with `out` untouched, when the
// definition has no such track.
bool effect_material_track_sample(const EffectImage& img, uint32_t def, int material, float time, bool normalised,
                                  EffectItemLook& out);
// A bitmap of an effect by name: an empty or "$" name gives -1 (no bitmap,
// a handle the manager never hands out); a failed load is tried once more.
int effect_bitmap_load_named(const char* name);
// Loads the layer and environment bitmaps of the material at `at` by name
// into the image.
void effect_material_load_bitmaps(EffectImage& img, uint32_t at);
// Checks a definition's material tracks and camera elements when its image
// arrives: a curve or key stream outside the image refuses it.
bool effect_tracks_check(const EffectImage& img, uint32_t def, char* err, int err_size);

// Environment selector (one record of EFFECT_ENVIRONMENT_SELECTOR_SIZE bytes
// at definition offset 64):
//   0 i32 index of the material track the level's environment follows
//         (negative, or past the track count: none)
//   4..19 zero
// The selected track, or -1.
int effect_environment_track(const EffectImage& img, uint32_t def);

// Camera element (100 bytes at definition offset 56), keyed like a node
// element so both share one reader:
//   0 u32 own name, 4 u32 parent name
//   8 u32 bit 0 enabled, bit 1 drives the camera
//  12 u16 key count: frames 0..count-1 carry keys, later frames hold the last
//  14 u16 zero
//  16 position: three key tracks (8.8 units)
//  52 orientation: four key tracks (a quaternion, x 16383)
constexpr int CAMERA_FLAGS = 8;
constexpr int CAMERA_KEYS = 12;
constexpr uint32_t CAMERA_ENABLED = 1u << 0;
constexpr uint32_t CAMERA_DRIVES = 1u << 1;
// The first camera element of the definition that drives the camera, at a
// frame, placed in the parent's frame when one is given. False when none
// drives (an element needs its enabled and drive bits and at least one key).
bool effect_cameras_evaluate(const EffectImage& img, uint32_t def, float frame, const vector* parent_pos,
                             const matrix* parent_orient, vector& pos, matrix& orient);
