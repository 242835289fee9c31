#include "Engine/ai/predict_move.h"

#include <algorithm>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"

void predict_move_end_position(const ai_component* ai, vector* out, float factor) {
  const living_entity* e = ai ? ai->owner : nullptr;
  if (!e) {
    *out = vector{0.0f, 0.0f, 0.0f};
    return;
  }
  const float d = e->get_anim_distance() * factor;
  vector p = e->pos + e->orient.forward * d;
  if (Path_graph.loaded) {
    const int cls = std::clamp(e->size_class(), 0, PFG_SIZE_CLASSES - 1);
    if (path_sector_at(cls, p.x, p.z) < 0) {
      // Off the ground: pushed out of the walls of the sector it stands in.
      const int s = path_sector_at(cls, e->pos.x, e->pos.z);
      if (s >= 0) path_push_out_of_obstacles(p, cls, s);
    }
  }
  *out = p;
}
