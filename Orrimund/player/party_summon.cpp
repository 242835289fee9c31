#include "Orrimund/player/party_summon.h"

#include "Engine/Objects/entity_death.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/summons.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "Orrimund/player/party.h"

namespace {

PlayerRecord* summoner_record() {
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (living_entity* e = member_entity(p); e && e->character && e->character->kind == 0) return p;
  for (PlayerRecord* p = party_out_first(); p; p = party_out_next(p))
    if (living_entity* e = member_entity(p); e && e->character && e->character->kind == 0) return p;
  return nullptr;
}

}  // namespace

void party_summon_join(living_entity* caster, living_entity* summon) {
  if (!caster || !summon || party_record_count() >= MAX_PLAYER_RECORDS) return;
  PlayerRecord* r = player_slot_alloc();
  r->type = summon->character ? static_cast<int>(summon->character - Character_infos) : -1;
  r->entity = summon->handle;
  r->member_flags = 2 | (game_flags_test(GF_SOLO) ? 4 : 0);
  summon->type = OBJ_PLAYER;
  party_sort();
}

living_entity* party_summoner() {
  PlayerRecord* r = summoner_record();
  return r ? member_entity(r) : nullptr;
}

void party_summon_lend(living_entity* caster, float amount) {
  if (PlayerRecord* r = caster ? party_find_member(caster->handle) : nullptr) r->pending_bonus = amount;
}

void party_transfer_pending_bonus() {
  PlayerRecord* r = summoner_record();
  living_entity* e = r ? member_entity(r) : nullptr;
  if (!e) return;
  e->max_hp_base += r->pending_bonus;
  r->pending_bonus = 0.0f;
}

void party_summon_free_record(living_entity* summon) {
  if (!summon) return;
  if (PlayerRecord* r = party_find_member(summon->handle)) player_slot_free(r, false);
}

void party_summon_death_hooks(DeathHooks* d) {
  d->summoned_creature = [] { return entity_from_handle(summon_current()); };
  d->free_player_record = party_summon_free_record;
  d->forget_summon = summon_forget;
  d->transfer_pending_bonus = party_transfer_pending_bonus;
  d->summon_cooldown = [] { party_start_skill_cooldown(party_summoner(), 27); };
}
