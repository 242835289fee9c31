#pragma once
// Turning on the spot with the type's own turn moves: a standing creature
// that has far to turn plays its turn-left or turn-right move, sped up for
// short turns, and its heading follows the move's progress so the feet and
// the body agree. Off by default; types without the moves turn at their
// rates as before.
#include "Engine/ai/ai_component.h"

extern bool Use_turn_anims;  // Turn_anims
extern float Turn_scaler;    // turn_scaler: how much faster a catching-up entity turns

// The playing rate of a turn move for a turn of the given angle (radians):
// the moves turn a third of a circle, played a little slower than that
// would need.
float ai_turn_move_rate(float angle);

// The step (radians) a standing entity turns this frame by its turn move,
// for a remaining angle and a side (+1 right, -1 left); starts the move
// when none runs and may_start is set, stopping one of the other side
// first. A negative result: no turn move applies (none in its table, or the
// move would not start), and the entity turns at its rate.
float ai_turn_move_step(ai_component* ai, float angle, float side, bool may_start);
// Forgets the turn move once the entity faces its point.
void ai_turn_move_done(ai_component* ai);
