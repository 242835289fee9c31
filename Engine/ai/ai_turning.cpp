#include "Engine/ai/ai_turning.h"

#include <cmath>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/table_words.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

bool Use_turn_anims = false;
float Turn_scaler = 2.0f;

namespace {

constexpr float kDegrees = 180.0f / 3.14159265f;
constexpr float kPlayedOutSlack = 0.01f;

bool is_turn_move(const Move_info* m, int variation) {
  return m && m->list == MOVE_MISC && m->variation == variation;
}

// Ends the entity's current move at once: its animation fades out with the
// movement blend taking over again.
void stop_current_move(living_entity* e) {
  if (e->instance && e->current_move && e->current_move->anim_slot >= 0)
    e->instance->set_anim_weight(e->current_move->anim_slot, 0.0f);
  e->current_move = nullptr;
  e->current_move_id = -1;
}

// How far the turn move has played, 0-1. Its clock runs at the rate it was
// started with, which the entity's own move timing does not know about.
float progress(const ai_component* ai, const living_entity* e) {
  const float length = e->instance ? e->instance->anim_length(e->current_move->anim_slot) : 0.0f;
  if (length <= 0.0f) return 1.0f;
  const float p = static_cast<float>(frame_clock - e->move_start) * ai->turn_rate / length;
  return p < 0.0f ? 0.0f : (p > 1.0f ? 1.0f : p);
}

}  // namespace

float ai_turn_move_rate(float angle) {
  const float degrees = angle * kDegrees;
  return degrees > 0.0f ? 120.0f / degrees * 0.95f : 1.0f;
}

float ai_turn_move_step(ai_component* ai, float angle, float side, bool may_start) {
  living_entity* e = ai->owner;
  if (!e || !e->character) return -1.0f;
  const int wanted = side > 0.0f ? VARIATION_TURN_RIGHT : VARIATION_TURN_LEFT;
  const int other = side > 0.0f ? VARIATION_TURN_LEFT : VARIATION_TURN_RIGHT;
  const Move_info* current = e->current_move_id >= 0 ? e->current_move : nullptr;
  if (is_turn_move(current, other)) {
    stop_current_move(e);
    current = nullptr;
  }
  if (ai->turn_move >= 0 && ai->turn_move == e->current_move_id && is_turn_move(current, wanted)) {
    const float p = progress(ai, e);
    float step = ai->turn_angle * (p - ai->turn_done);
    ai->turn_done = p;
    if (p >= 1.0f) {
      // Played out: the rounding of the sum is not left for another frame;
      // a point that moved meanwhile is turned to by a new move or at the
      // rate.
      if (angle - step < kPlayedOutSlack) step = angle;
      stop_current_move(e);
      ai->turn_move = -1;
    }
    return step > 0.0f ? step : 0.0f;
  }
  ai->turn_move = -1;
  if (!may_start) return -1.0f;
  const Move_info* m = e->find_move(MOVE_MISC, wanted);
  if (!m) return -1.0f;
  const float rate = ai_turn_move_rate(angle);
  const int id = e->play_move(m, rate, false, true, 0);
  if (id < 0) return -1.0f;
  ai->turn_move = id;
  ai->turn_angle = angle;
  ai->turn_rate = rate;
  ai->turn_done = 0.0f;
  return 0.0f;
}

void ai_turn_move_done(ai_component* ai) {
  living_entity* e = ai->owner;
  if (ai->turn_move >= 0 && e && e->current_move_id == ai->turn_move) stop_current_move(e);
  ai->turn_move = -1;
}

namespace {

CONSOLE_BOOL_VARIABLE(cc_turn_anims, "Turn_anims", "Toggles Use_turn_anims", Use_turn_anims);

ConsoleCommand cc_turn_scaler("turn_scaler", "Set the turn scaler", [] {
  console_get_arg(ARG_FLOAT | ARG_INT | ARG_NONE);
  if (Console_run) {
    if (Console_arg.type & ARG_NONE) {
      console_printf("Usage: turn_scaler <value>\n");
      return;
    }
    Turn_scaler = Console_arg.float_value;
  }
  if (Console_status) console_printf("Turn scaler is %.3f\n", Turn_scaler);
});

}  // namespace
