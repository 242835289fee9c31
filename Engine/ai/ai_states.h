#pragma once
// The per-frame handlers of the states that play moves rather than walk:
// casting, summoning, being knocked down, stunned or held, hiding and
// sneaking, and the combat handler's checks before its sub-state routine.
// Each runs once a frame for an entity in its state and returns it to its
// previous, resumed or idle state when its move or time is over.
#include "Engine/ai/ai_component.h"

void ai_cast_spell_handler(ai_component* ai);
void ai_summoning_handler(ai_component* ai);
void ai_disabled_handler(ai_component* ai);
void ai_hiding_handler(ai_component* ai);
void ai_sneaking_handler(ai_component* ai);
void ai_combat_handler(ai_component* ai);

// The hidden fraction f of the hiding and sneaking fades gives the
// character's alpha 255 - 128 f.
int ai_fade_alpha(float f);

// What the handlers need of the game above: the party's shared sneak state
// and the release of a cast spell. Unset hooks do nothing.
struct AiStateHooks {
  void (*party_sneak)(bool on) = nullptr;
  bool (*party_sneak_shared)() = nullptr;  // the game-mode flag that makes the party sneak as one
  void (*skill_cooldown)(class living_entity* e, int skill) = nullptr;
};
void ai_set_state_hooks(const AiStateHooks& hooks);

// Installs the handlers above as the AI driver's.
void ai_states_install();
