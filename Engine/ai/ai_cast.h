#pragma once
// The CAST_SPELL state: the caster turns to its target or spell point,
// stops, starts its cast move once it stands still, releases the spell when
// the move reaches its release tag (7) and goes back to what it did before
// once the move is over. Sub-states: 39 casts at once, 40 at the combat
// target, 41 at the spell point.
#include "Engine/ai/ai_component.h"

void ai_cast_spell_handler(ai_component* ai);
