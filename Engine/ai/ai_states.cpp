#include "Engine/ai/ai_states.h"

#include <cmath>
#include <cstdio>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/spell_cast.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/engagement.h"
#include "Engine/characterinfo/table_words.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

namespace {

AiStateHooks Hooks;

constexpr uint32_t ES_SNEAKING = 0x400;
constexpr int FADE_MS = 500;
constexpr int HOLD_MS = 10001;
constexpr int STATUS_UNTARGETABLE = STATUS_TURNED;
constexpr int MOVE_FALL = 142, MOVE_GET_UP = 144, MOVE_STUN = 145;
constexpr int MOVE_SNEAK_IN = 39, MOVE_SNEAK_OUT = 40;
constexpr int SNEAK_STAT = 22;
constexpr int SNEAK_SKILL_COOLDOWN = 22;

int32_t now() { return timer_game_clock; }
living_entity* resolve(int handle) { return handle < 0 ? nullptr : entity_from_handle(handle); }
bool gone(const living_entity* e) { return !e || (e->state & ES_DEAD) || e->type == OBJ_FREE; }
int ms_in_state(const ai_component* ai) { return now() - ai->state_timer; }

void back_to_previous(ai_component* ai) {
  const int s = ai->prev_state, sub = ai->prev_sub_state;
  if (s < 0 || s == ai->state) ai_reset_to_idle(ai);
  else ai_set_state(ai, s, sub);
}

// The move the handler started has reached its end tag (tag 6), or ended
// without one.
bool move_done(living_entity* e, int move) {
  if (move < 0 || e->move_finished(move)) return true;
  return e->move_has_tag(6) && e->move_tag_state(6) == 1;
}

void set_alpha(living_entity* e, float hidden) {
  if (e->instance) e->instance->set_alpha(static_cast<uint8_t>(ai_fade_alpha(hidden)));
}

// A knock-down, stun or get-up move: started on the phase's first frame
// (special_move unset), true once it has run its course.
bool play_phase_move(ai_component* ai, int number) {
  living_entity* e = ai->owner;
  if (ai->special_move < 0) {
    const Move_info* m = e->find_move(MOVE_MISC, number);
    const int id = m ? e->play_move(m, 1.0f, false, true, 0) : -1;
    if (id < 0) return true;
    ai->special_move = id;
    ai->disable_timer = now();
    return false;
  }
  if (!move_done(e, ai->special_move)) return false;
  ai->special_move = -1;
  return true;
}

}  // namespace

void ai_set_state_hooks(const AiStateHooks& hooks) { Hooks = hooks; }

int ai_fade_alpha(float f) {
  f = std::fmax(0.0f, std::fmin(1.0f, f));
  return static_cast<int>(255.0f - 128.0f * f);
}

// ---- casting ----------------------------------------------------------------------

void ai_cast_spell_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (!(ai->flags & AIF_SPELL_STARTED)) {
    if (ai->sub_state == 40) {
      living_entity* t = resolve(ai->target);
      if (!t) {
        back_to_previous(ai);
        return;
      }
      if (t != e && ai_step_toward(ai, t->pos)) return;
    } else if (ai->sub_state == 41) {
      if (ai_step_toward(ai, ai->spell_point)) return;
    }
    e->set_move_mode(0.0f);
    // It casts once it has come to rest.
    if (e->instance && e->instance->motion_speed() > 0.1f) return;
    const int id = e->cast_spell(ai->spell, 0);
    if (id < 0) {
      ai->target = -1;
      back_to_previous(ai);
      return;
    }
    ai->special_move = id;
    ai->last_spell = ai->spell;
    ai->flags |= AIF_SPELL_STARTED | AIF_UNINTERRUPTIBLE;
    return;
  }
  if (e->move_has_tag(7) && e->move_tag_state(7) == 1) {
    const vector* at = ai->sub_state == 41 ? &ai->spell_point : nullptr;
    spell_cast(e, ai->spell, ai->target, at, nullptr, nullptr, ai->spell_value);
  }
  if (!e->move_finished(ai->special_move)) return;
  // A move without a release point still casts its spell at its end.
  if (!e->move_has_tag(7) && ai->spell >= 0) {
    const vector* at = ai->sub_state == 41 ? &ai->spell_point : nullptr;
    spell_cast(e, ai->spell, ai->target, at, nullptr, nullptr, ai->spell_value);
  }
  ai->flags &= ~(AIF_UNINTERRUPTIBLE | AIF_SPELL_STARTED);
  ai->special_move = -1;
  ai->target = -1;
  back_to_previous(ai);
}

// ---- summoning --------------------------------------------------------------------

void ai_summoning_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (!move_done(e, ai->special_move)) return;
  e->state &= ~ES_HELD;
  ai->special_move = -1;
  ai_set_state(ai, AI_STATE_IDLE, 0);
}

// ---- knocked down, stunned, held -----------------------------------------------------

void ai_disabled_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  switch (ai->sub_state) {
    case 44:
      if (ai->special_move < 0 && !e->find_move(MOVE_MISC, MOVE_FALL)) {
        ai_reset_to_idle(ai);
        return;
      }
      if (play_phase_move(ai, MOVE_FALL)) {
        ai->sub_state = 45;
        ai->state_timer = now();
      }
      break;
    case 45:
      if (ms_in_state(ai) >= ai->knock_down_ms) {
        ai->sub_state = 46;
        ai->special_move = -1;
        ai->disable_timer = -1;
      }
      break;
    case 46:
      if (play_phase_move(ai, MOVE_GET_UP)) {
        ai->flags &= ~AIF_UNINTERRUPTIBLE;
        ai_reset_to_idle(ai);
      }
      break;
    case 47:
    case 48:
      if (play_phase_move(ai, MOVE_STUN) && ms_in_state(ai) >= ai->knock_down_ms) {
        ai->flags &= ~AIF_UNINTERRUPTIBLE;
        const bool paralyse = ai->sub_state == 48;
        back_to_previous(ai);
        if (paralyse) e->apply_status_effect(STATUS_PARALYZE, ai->knock_down_ms, -1,
                                             static_cast<float>(ai->spell_value), -1, false);
      }
      break;
    case 49:
      if (ms_in_state(ai) >= HOLD_MS) {
        e->clear_held();
        ai->flags &= ~AIF_UNINTERRUPTIBLE;
        ai_reset_to_idle(ai);
      }
      break;
    default:
      ai_reset_to_idle(ai);
  }
}

// ---- hiding -------------------------------------------------------------------------

void ai_hiding_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  float f = 1.0f;
  switch (ai->sub_state) {
    case 9:
      e->set_move_mode(0.0f);
      f = std::fmin(1.0f, ms_in_state(ai) * (1.0f / FADE_MS));
      if (f >= 1.0f) {
        ai->sub_state = 10;
        ai->state_timer = now();
      }
      ai->visibility = 1.0f - f;
      break;
    case 10:
      ai->visibility = 0.0f;
      break;
    case 11: {
      const float in = std::fmin(1.0f, ms_in_state(ai) * (1.0f / FADE_MS));
      ai->visibility = in;
      f = 1.0f - in;
      if (in >= 1.0f) {
        ai->flags &= ~AIF_UNINTERRUPTIBLE;
        ai_queue_remove_type(ai, 16);
        const int s = ai->resume_state, sub = ai->resume_sub_state;
        // Leaving HIDING by its own fade: no second fade may start.
        ai->state = AI_STATE_IDLE;
        if (s >= 0 && s != AI_STATE_HIDING) ai_set_state(ai, s, sub);
        else ai_reset_to_idle(ai);
      }
      break;
    }
    default:
      ai_reset_to_idle(ai);
  }
  set_alpha(e, f);
}

// ---- sneaking -------------------------------------------------------------------------

void ai_sneaking_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (ai->state != AI_STATE_SNEAKING) {
    set_alpha(e, 1.0f);
    return;
  }
  const bool leaving = ai->sub_state == 13;
  if (ai->disable_timer < 0) {
    if (!leaving) {
      ai->sneak_timer = -1;
      e->state |= ES_SNEAKING;
      if (Hooks.party_sneak_shared && Hooks.party_sneak_shared()) ai->flags |= AIF_PARTY_SNEAK;
      else if (Hooks.party_sneak) Hooks.party_sneak(true);
    }
    ai->disable_timer = now();
    const Move_info* m = e->find_move(MOVE_MISC, leaving ? MOVE_SNEAK_OUT : MOVE_SNEAK_IN);
    ai->special_move = m ? e->play_move(m, 1.0f, false, true, 0) : -1;
    ai->flags = (ai->flags | AIF_UNINTERRUPTIBLE) & ~AIF_MOVE_HALF_DONE;
    ai->visibility = leaving ? 0.0f : 1.0f;
  }
  const bool done = ai->special_move < 0 || e->move_finished(ai->special_move);
  if (!done && !(ai->flags & AIF_MOVE_HALF_DONE) && e->get_move_progress(ai->special_move) >= 0.5f) {
    ai->flags |= AIF_MOVE_HALF_DONE;
    ai->visibility = leaving ? 1.0f : 0.0f;
  }
  if (done) {
    ai->flags &= ~AIF_UNINTERRUPTIBLE;
    ai->special_move = -1;
    if (leaving) {
      e->state &= ~ES_SNEAKING;
      if (e->type == OBJ_PLAYER && Hooks.skill_cooldown) Hooks.skill_cooldown(e, SNEAK_SKILL_COOLDOWN);
      const bool resume = ai->sneak_timer >= 0 && ai->resume_state >= 0;
      ai->sneak_timer = ai->disable_timer = -1;
      e->set_move_mode(0.0f);
      if (!(ai->flags & AIF_PARTY_SNEAK) && Hooks.party_sneak) Hooks.party_sneak(false);
      ai->flags &= ~AIF_PARTY_SNEAK;
      ai->visibility = 1.0f;
      if (resume) ai_set_state(ai, ai->resume_state, ai->resume_sub_state);
      else ai_reset_to_idle(ai);
    } else {
      ai->sneak_timer = timestamp_set(now(), static_cast<int>(e->get_stat(SNEAK_STAT) * 10000.0f));
      ai->disable_timer = -1;
      ai->visibility = 0.0f;
      ai_reset_to_idle(ai);
    }
  }
  const float hidden = ai->state == AI_STATE_SNEAKING ? 1.0f - ai->visibility : 1.0f;
  set_alpha(e, hidden);
}

// ---- combat -----------------------------------------------------------------------------

void ai_combat_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || (e->state & ES_HELD)) return;
  living_entity* t = resolve(ai->target);
  if (ai->sub_state != 14) {
    if (gone(t)) {
      ai_reset_to_idle(ai);
      return;
    }
    if (e->team == 0 && t->team == 0 && !t->has_status_effect(STATUS_UNTARGETABLE)) {
      ai_reset_to_idle(ai);
      return;
    }
    if (!(ai->flags & AIF_FIGHT_SLEEPER) &&
        (t->has_status_effect(STATUS_SLEEP) || t->has_status_effect(STATUS_UNTARGETABLE))) {
      ai_queue_remove_attacks(ai);
      ai_reset_to_idle(ai);
      return;
    }
  }
  if (ai_combat_dispatch(ai) || ai->sub_state != 14) return;
  // The stance switch: it takes up or lays down its weapons, then goes on
  // as its stance says.
  if (!ai_combat_stance(ai)) return;
  ai->flags &= ~(AIF_UNINTERRUPTIBLE | AIF_MOVE_HALF_DONE);
  if (e->type == OBJ_PLAYER) ai->distance = 0;
  if (!(e->state & ES_COMBAT_READY)) {
    ai_queue_remove_attacks(ai);
    ai_reset_to_idle(ai);
  } else if (resolve(ai->target) && !gone(resolve(ai->target))) {
    ai_engage(ai, ai->target);
  } else {
    ai_reset_to_idle(ai);
  }
}

void ai_states_install() {
  AiDriverHooks h = ai_driver_hooks();
  h.handlers[AI_STATE_CAST_SPELL] = ai_cast_spell_handler;
  h.handlers[AI_STATE_SUMMONING] = ai_summoning_handler;
  h.handlers[AI_STATE_DISABLED] = ai_disabled_handler;
  h.handlers[AI_STATE_HIDING] = ai_hiding_handler;
  h.handlers[AI_STATE_SNEAKING] = ai_sneaking_handler;
  h.handlers[AI_STATE_COMBAT] = ai_combat_handler;
  ai_set_driver_hooks(h);
}
