#pragma once
// Decals on the level: the face mask that tells which faces of which
// instances a decal touches this frame. Only instances that take decals
// (flag 0x40 or 0x400) have a run of bits in it.
//
// The rule a caller must know: the mask is laid out once per level
// (decal_mask_layout, after the level loads) and cleared every frame before
// decals mark it; an instance past the mask's end gets no decals.
#include <cstdint>

#include "Engine/s3d/s3d.h"

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
