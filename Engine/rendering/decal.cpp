// Decals on the level.
#include "Engine/rendering/decal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint8_t Face_mask[DECAL_FACE_MASK_BYTES];
std::vector<int> Mask_offset;  // first bit per instance, -1 none

bool takes_decals(const LevelMeshInstance& mi) { return (mi.flags & (MI_GROUND | MI_DECALS)) != 0; }

}  // namespace

int decal_mask_layout() {
  Mask_offset.assign(static_cast<size_t>(std::max(Level.instance_count, 0)), -1);
  std::memset(Face_mask, 0, sizeof Face_mask);
  int bytes = 0, placed = 0;
  for (int i = 0; i < Level.instance_count; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    if (!takes_decals(mi) || !mi.mesh) continue;
    const int run = (mi.mesh->face_count + 7) / 8;
    // A level with more decal faces than the mask holds would have its later
    // runs written past the mask's end; those instances simply take none.
    if (bytes + run > DECAL_FACE_MASK_BYTES) continue;
    Mask_offset[static_cast<size_t>(i)] = bytes * 8;
    bytes += run;
    placed++;
  }
  return placed;
}

void decal_mask_clear() { std::memset(Face_mask, 0, sizeof Face_mask); }

int decal_mask_offset(int instance) {
  if (instance < 0 || instance >= static_cast<int>(Mask_offset.size())) return -1;
  return Mask_offset[static_cast<size_t>(instance)];
}

void decal_mask_set(int instance, int face) {
  const int base = decal_mask_offset(instance);
  if (base < 0 || face < 0 || face >= Level.instances[instance].mesh->face_count) return;
  const int bit = base + face;
  Face_mask[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
}

bool decal_mask_test(int instance, int face) {
  const int base = decal_mask_offset(instance);
  if (base < 0 || face < 0 || face >= Level.instances[instance].mesh->face_count) return false;
  const int bit = base + face;
  return (Face_mask[bit >> 3] >> (bit & 7)) & 1;
}
