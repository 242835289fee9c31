// Marks on the ground for one frame at a time.
#include "Orrimund/ground_marks.h"

#include <algorithm>
#include <cmath>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/rendering/decal.h"
#include "quarn/bmpman/bmpman.h"

namespace {

int Travel_bitmap = -1;
float Ring_angle = 0.0f;

}  // namespace

void travel_decal_set_bitmap(int bitmap) { Travel_bitmap = bitmap; }

void travel_decal_add(const living_entity* hero) {
  if (!hero) return;
  const ai_component& ai = hero->ai;
  if (!ai_is_traveling_sub0(&ai) || ai.queue[0].priority != 999999) return;
  vector end;
  if (!ai_get_path_end(&ai, &end)) return;
  decal_add(Travel_bitmap, end, vector(0.5f, 0.0f, 0.0f), vector(0.0f, 0.0f, 0.5f), 0, false, 0, 0.75f);
}

const char* selection_ring_bitmap_name(int size) {
  return size == 1 ? "cursorspot-focus.tga" : "cursorspot-focus-large.tga";
}

void selection_ring_add(const living_entity* hero, float frametime) {
  Ring_angle -= 90.0f * frametime;
  if (Ring_angle < 0.0f) Ring_angle += 360.0f;
  if (!hero) return;
  const int size = hero->character ? hero->character->size : 1;
  const int bitmap = bm_load(selection_ring_bitmap_name(size));
  decal_add_rotated(bitmap, hero->pos, Ring_angle, 1.5f, 1.5f);
}

float selection_ring_angle() { return Ring_angle; }

void ground_target_marker_shape(const GroundTarget& t, float camera_distance, float tan_fov, float* angle,
                                float* size_a, float* size_b) {
  *angle = 0.0f;
  if (t.reference) {
    const float dx = t.point.x - t.reference->x, dz = t.point.z - t.reference->z;
    if (dx != 0.0f || dz != 0.0f) {
      float a = std::atan2(dz, dx) * 57.29578f;
      if (a < 0.0f) a += 360.0f;
      *angle = a;
    }
  }
  const float ea = t.extent_a > 0.0f ? t.extent_a : 1.0f, eb = t.extent_b > 0.0f ? t.extent_b : 1.0f;
  const float s = 0.2f * camera_distance * tan_fov;
  const float k = std::clamp(std::min(s / ea, s / eb), 0.05f, 1.0f);
  *size_a = k * ea;
  *size_b = k * eb;
}

int ground_target_marker_add(const GroundTarget& t, int valid_bitmap, int invalid_bitmap, float camera_distance,
                             float tan_fov) {
  float angle = 0.0f, a = 1.0f, b = 1.0f;
  ground_target_marker_shape(t, camera_distance, tan_fov, &angle, &a, &b);
  // A valid target shows the target marker, an invalid one the other.
  return decal_add_rotated(t.valid ? valid_bitmap : invalid_bitmap, t.point, angle, a, b);
}
