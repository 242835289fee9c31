#include "Engine/ai/ai_component.h"

namespace {
AiHooks Hooks;

void clear_queue(ai_component* ai) {
  for (ai_action& a : ai->queue) a = ai_action{};
  ai->current_action = -1;
}
}  // namespace

void ai_set_hooks(const AiHooks& hooks) { Hooks = hooks; }
const AiHooks& ai_hooks() { return Hooks; }

void ai_init(ai_component* ai) {
  if (Hooks.init) return Hooks.init(ai);
  living_entity* owner = ai->owner;
  *ai = ai_component{};
  ai->owner = owner;
}

void ai_init_for_spawn(ai_component* ai) {
  if (Hooks.init_for_spawn) return Hooks.init_for_spawn(ai);
  clear_queue(ai);
  ai->state = AI_STATE_IDLE;
  ai->sub_state = 0;
}

void ai_shutdown(ai_component* ai) {
  if (Hooks.shutdown) return Hooks.shutdown(ai);
  clear_queue(ai);
  ai->state = AI_STATE_INACTIVE;
}

void ai_reset_to_idle(ai_component* ai) {
  if (Hooks.reset_to_idle) return Hooks.reset_to_idle(ai);
  ai->state = AI_STATE_IDLE;
  ai->sub_state = 0;
}

void ai_reset_to_inactive(ai_component* ai) {
  if (Hooks.reset_to_inactive) return Hooks.reset_to_inactive(ai);
  ai->state = AI_STATE_INACTIVE;
  ai->sub_state = 0;
}

void ai_set_behaviour(ai_component* ai, int value) {
  if (Hooks.set_behaviour) return Hooks.set_behaviour(ai, value);
  ai->behaviour = value;
}

void ai_do_action(ai_component* ai, int action, int target, int arg, uint32_t flags) {
  if (Hooks.do_action) return Hooks.do_action(ai, action, target, arg, flags);
  for (ai_action& a : ai->queue) {
    if (a.type != AI_ACTION_NONE) continue;
    a.type = action;
    a.target = target;
    a.arg = arg;
    a.flags = flags;
    return;
  }
}

void ai_turn_toward(ai_component* ai, const vector& point, int flag) {
  if (Hooks.turn_toward) Hooks.turn_toward(ai, point, flag);
}

void ai_travel_to(ai_component* ai, const vector& point) {
  if (Hooks.travel_to) return Hooks.travel_to(ai, point);
  ai->state = AI_STATE_TRAVELING;
  ai->sub_state = 0;
}

bool ai_is_busy(const ai_component* ai) {
  if (Hooks.is_busy) return Hooks.is_busy(ai);
  return ai->state == AI_STATE_COMBAT || ai->state == AI_STATE_CAST_SPELL;
}

bool ai_has_queued(const ai_component* ai, int type) {
  for (const ai_action& a : ai->queue) {
    if (a.type == type) return true;
  }
  return false;
}
