#pragma once
// The party's side of a hero's summoned creature: Ruvizo lends it part of
// his maximum hit points, kept on his record while it lives and given back
// when it goes; when it dies (killed, or banished) its member record is
// freed and the summoning cooldown starts. When Ruvizo himself falls, his
// summon leaves the party (the death code turns it against the heroes).
class living_entity;
struct DeathHooks;

// A hero's summon joins the party on a record of its own; with every record
// taken it fights beside the party unlisted.
void party_summon_join(living_entity* caster, living_entity* summon);
// The first member of kind 0 in the party, else out of it; null when none.
living_entity* party_summoner();
// The summon took this much of the caster's maximum hit points.
void party_summon_lend(living_entity* caster, float amount);
// The lent hit points go back to the summoner's maximum.
void party_transfer_pending_bonus();
// A dead summon's member record is freed (its entity stays in the world).
void party_summon_free_record(living_entity* summon);
// Fills the death code's summon hooks with the above.
void party_summon_death_hooks(DeathHooks* d);
