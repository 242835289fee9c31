#pragma once
// A spell the player chose for the hero in control (a hot button of the
// HUD, the spells screen): whether it can be cast now, and the cast, which
// arms the cursor for a spell that wants a creature or a ground point and
// otherwise queues it in the hero's AI.
class living_entity;

bool spell_use_can_cast(living_entity* caster, int spell);
// False (nothing done) when it cannot be cast now.
bool spell_use_cast(living_entity* caster, int spell);
