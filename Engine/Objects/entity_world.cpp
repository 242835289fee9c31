#include "Engine/Objects/entity_world.h"

#include "Engine/Objects/entity_model.h"
#include "Engine/gameflags.h"

namespace {
EntityWorldHooks World;
EntityEffectHooks Effects;
EntitySoundHooks Sounds;
EntityGameHooks Game;
EntityNetHooks Net;
EntityModelMaker Model_maker = nullptr;
}  // namespace

void entity_set_world_hooks(const EntityWorldHooks& h) { World = h; }
void entity_set_effect_hooks(const EntityEffectHooks& h) { Effects = h; }
void entity_set_sound_hooks(const EntitySoundHooks& h) { Sounds = h; }
void entity_set_game_hooks(const EntityGameHooks& h) { Game = h; }
void entity_set_net_hooks(const EntityNetHooks& h) { Net = h; }
const EntityWorldHooks& entity_world() { return World; }
const EntityEffectHooks& entity_effects() { return Effects; }
const EntitySoundHooks& entity_sounds() { return Sounds; }
const EntityGameHooks& entity_game() { return Game; }
const EntityNetHooks& entity_net() { return Net; }

void entity_model_set_maker(EntityModelMaker maker) { Model_maker = maker; }
EntityModel* entity_model_create(Character_info* type, bool summon) {
  return Model_maker ? Model_maker(type, summon) : nullptr;
}

// Single-player answers stand until the network layer installs its own.
bool multi_entity_is_local(const living_entity* e) {
  if (Net.entity_is_local && game_is_networked()) return Net.entity_is_local(e);
  return true;
}
bool multi_is_host() { return game_is_networked() && Net.is_host && Net.is_host(); }
bool multi_is_client() { return game_is_networked() && Net.is_client && Net.is_client(); }
int multi_player_count() { return game_is_networked() && Net.player_count ? Net.player_count() : 1; }
void multi_send_set_sts(living_entity* e, int id, int duration, int spell, float strength, int source) {
  if (game_is_networked() && Net.send_set_sts) Net.send_set_sts(e, id, duration, spell, strength, source);
}
void multi_send_clr_sta(living_entity* e, int id, bool end_effect) {
  if (game_is_networked() && Net.send_clr_sta) Net.send_clr_sta(e, id, end_effect);
}
void multi_send_adj_aps(living_entity* e, int value) {
  if (game_is_networked() && Net.send_adj_aps) Net.send_adj_aps(e, value);
}
