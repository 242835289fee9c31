#include "Engine/ai/path_planner.h"

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_search.h"

namespace {

constexpr int AI_PATH_POINTS = static_cast<int>(sizeof(ai_path::points) / sizeof(ai_path::points[0]));

// Appends a point to the chain, starting a new piece when the last is full.
void append(ai_path*& head, ai_path*& tail, const vector& p) {
  if (!tail || tail->count >= AI_PATH_POINTS) {
    ai_path* piece = new ai_path;
    if (tail) tail->next = piece;
    else head = piece;
    tail = piece;
  }
  tail->points[tail->count++] = p;
}

}  // namespace

int path_size_class_for_radius(float radius) {
  for (int c = 0; c < PFG_SIZE_CLASSES - 1; c++)
    if (radius <= Entity_size_radius[c] + 0.001f) return c;
  return PFG_SIZE_CLASSES - 1;
}

ai_path* path_planner(const vector& start, int, const vector& goal, int, float radius, bool) {
  return path_planner_for_class(start, goal, path_size_class_for_radius(radius));
}

ai_path* path_planner_for_class(const vector& start, const vector& goal, int cls) {
  ai_path* head = nullptr;
  ai_path* tail = nullptr;
  append(head, tail, start);
  if (!Path_graph.loaded) {
    append(head, tail, goal);
    return head;
  }
  const int s0 = path_sector_toward(cls, start, goal);
  vector to = goal;
  const int s1 = path_sector_at(cls, goal.x, goal.z);
  // A goal off the ground is searched from the start's sector, so the
  // search can pull it back toward the start.
  PathNode* path = s0 >= 0 ? find_path(start, s0, to, s1 >= 0 ? s1 : s0, cls, 0.0f) : nullptr;
  if (!path) {
    ai_path_free(head);
    return nullptr;
  }
  for (PathNode* n = path; n; n = n->next)
    append(head, tail, vector{n->x, n->next ? start.y : to.y, n->z});
  path_free(path);
  return head;
}

void path_planner_install() { ai_set_planner(path_planner); }
