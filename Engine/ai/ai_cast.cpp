#include "Engine/ai/ai_cast.h"

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/spell_cast.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/characterinfo/table_words.h"
#include "Engine/gameflags.h"

namespace {

constexpr int SUB_AT_ONCE = 39, SUB_AT_TARGET = 40, SUB_AT_POINT = 41;

void back_to_previous(ai_component* ai, bool clear_target) {
  if (clear_target) ai->target = -1;
  const int state = ai->prev_state >= 0 ? ai->prev_state : AI_STATE_IDLE;
  const int sub = ai->prev_sub_state >= 0 ? ai->prev_sub_state : 0;
  if (state == AI_STATE_CAST_SPELL) ai_core_reset_to_idle(ai);
  else ai_set_state(ai, state, sub);
}

// Turning toward what the spell is aimed at; true while still turning.
bool turning(ai_component* ai, living_entity* e) {
  if (ai->sub_state == SUB_AT_TARGET) {
    living_entity* t = entity_from_handle(ai->target);
    if (!t) {
      back_to_previous(ai, false);
      return true;
    }
    return t != e && ai_step_toward(ai, t->pos);
  }
  if (ai->sub_state == SUB_AT_POINT) return ai_step_toward(ai, ai->spell_point);
  return false;
}

}  // namespace

void ai_cast_spell_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (!(ai->flags & AIF_SPELL_STARTED)) {
    if (turning(ai, e)) return;
    e->set_move_mode(0.0f);
    if (e->instance && e->instance->motion_speed() > 0.1f) return;
    const int move = e->cast_spell(ai->spell, game_is_networked() ? 1 : 0);
    if (move < 0) {
      back_to_previous(ai, true);
      return;
    }
    ai->special_move = move;
    ai->last_spell = ai->spell;
    ai->flags |= AIF_SPELL_STARTED | AIF_UNINTERRUPTIBLE;
    return;
  }
  if (e->move_tag_state(TRIGGER_IMPACT_START) == 1) {
    const vector* at = ai->sub_state == SUB_AT_POINT ? &ai->spell_point : nullptr;
    spell_cast(e, ai->spell, ai->target, at, nullptr, nullptr, SS_CAST);
  }
  if (ai->special_move < 0 || e->move_finished(ai->special_move)) {
    ai->flags &= ~(AIF_UNINTERRUPTIBLE | AIF_SPELL_STARTED);
    ai->special_move = -1;
    back_to_previous(ai, true);
  }
}
