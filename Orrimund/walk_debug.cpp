// A developer's walk order: "walk_to <x> <z>" gives the controlled hero the
// walk order a click on the ground gives, and prints the way its AI planned.
#include <cstdio>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Orrimund/player/party.h"
#include "quarn/os/console.h"

namespace {

ConsoleCommand cc_walk_to("walk_to", "Orders the controlled hero to walk to a point and prints the planned way", [] {
  if (Console_help) console_printf("Usage: walk_to <x> <z>\n");
  if (!Console_run) return;
  console_get_arg(ARG_FLOAT | ARG_INT);
  const float x = Console_arg.float_value;
  console_get_arg(ARG_FLOAT | ARG_INT);
  const float z = Console_arg.float_value;
  living_entity* e = Selected_entity;
  if (!e) {
    console_printf("No controlled hero\n");
    return;
  }
  const vector goal{x, e->pos.y, z};
  if (ai_queue_add(&e->ai, AI_ACTION_WALK, 999999, 0, -1, &goal, 0, AI_NO_SPELL, 0.0f) < 0) {
    console_printf("Walk order refused\n");
    return;
  }
  ai_queue_execute(&e->ai);
  int n = 0;
  for (const ai_path* p = e->ai.path; p; p = p->next) n += p->count;
  console_printf("Walk order for %s to (%.3f, %.3f): %d points\n", e->get_name(), x, z, n);
  for (const ai_path* p = e->ai.path; p; p = p->next)
    for (int i = 0; i < p->count; i++) console_printf("  point %.3f %.3f\n", p->points[i].x, p->points[i].z);
});

}  // namespace
