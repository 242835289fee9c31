#pragma once
// Marks on the ground for one frame at a time: the point the controlled
// hero walks to, the turning ring under it, and the marker of a ground
// target. Every mark is a lifetime-0 decal, so callers place it again each
// frame before the world is drawn.

#include "quarn/math/vector.h"

class living_entity;

// The walk-to marker's bitmap, set at every level start.
void travel_decal_set_bitmap(int bitmap);
// The marker at the end of the hero's path while it travels under an order
// of priority 999999; nothing otherwise.
void travel_decal_add(const living_entity* hero);

// The ring bitmap for a character size: the small one only for "medium"
// (1); every other size, small included, takes the large ring.
const char* selection_ring_bitmap_name(int size);
// Turns the ring by 90 degrees a second and lays it under the hero.
void selection_ring_add(const living_entity* hero, float frametime);
float selection_ring_angle();

// The marker of a ground target: the valid or the invalid bitmap, turned
// toward the target from the reference point (0 without one), scaled so
// that it keeps about the same size on screen.
struct GroundTarget {
  vector point;
  bool valid;
  const vector* reference;  // null when none is kept
  float extent_a = 1.0f, extent_b = 1.0f;  // of the pending target area
};
// The angle (degrees, 0 .. 360, from +x toward +z) and the two sizes the
// marker is laid with.
void ground_target_marker_shape(const GroundTarget& t, float camera_distance, float tan_fov, float* angle,
                                float* size_a, float* size_b);
int ground_target_marker_add(const GroundTarget& t, int valid_bitmap, int invalid_bitmap, float camera_distance,
                             float tan_fov);
