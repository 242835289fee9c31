#pragma once
// What living entities ask of the world around them: the level's floor,
// obstacles and surfaces, the level in play, effects, sounds, the party,
// dialogue and bosses, and the network. Each service is one hook that the
// owning subsystem fills at start-up; an unset hook answers as a plain
// single-player game on an empty level would (no floor, no obstacles, no
// effects, every entity local). The world test kit fills them with its
// flat level and recording fakes.
#include <cstdint>

#include "quarn/math/vector.h"

class living_entity;
struct Character_info;
struct Move_info;
struct Item_info;

struct FloorHit {
  float height = -10000.0f;
  int mesh = -1;
  int poly = -1;
  vector normal{0, 1, 0};
};

// Floor probe candidates, tried in order while nothing was found.
enum FloorCandidates {
  FLOOR_CURRENT_POLY = 1,  // the polygon the entity stood on
  FLOOR_LAYER_MESHES = 2,  // the meshes of its layer
  FLOOR_FLAGGED_MESHES = 3,  // meshes flagged 0x40 outside the layer
  FLOOR_ALL_MESHES = 4
};

constexpr int MESH_NO_LAYER = -2;

struct EntityWorldHooks {
  // Level: a vertical ray from `top` down `length`; the highest hit of the
  // candidate set wins. False when nothing is hit.
  bool (*floor_ray)(const vector& top, float length, int candidates, int layer, int mesh, int poly,
                    FloorHit* hit) = nullptr;
  // The layer of a mesh; MESH_NO_LAYER when it has none.
  int (*mesh_layer)(int mesh) = nullptr;
  const char* (*mesh_name)(int mesh) = nullptr;
  // Obstacles crossed by a sphere swept from start to end (0 = clear).
  int (*obstacle_query)(const vector& start, const vector& end, float radius, uint32_t flags, int layer) = nullptr;
  // Moves a point off the obstacles for a size class.
  void (*push_out_of_obstacles)(vector* pos, int size_class, int layer) = nullptr;
  // The straight move from `from` to `to` crosses an obstacle edge: the
  // crossing point and the slide point beyond it.
  bool (*obstacle_crossing)(const vector& from, const vector& to, int size_class, int layer, vector* crossing,
                            vector* slide) = nullptr;
  bool (*point_walkable)(const vector& point, int layer) = nullptr;
  // The surface (0-4) of a floor polygon, for footsteps.
  int (*surface_of)(int mesh, int poly) = nullptr;
  void (*light_at)(const vector& point, int* r, int* g, int* b) = nullptr;
  // A party start point of slot 0..3 of the level: position, heading, layer.
  bool (*party_start)(int slot, vector* pos, float* heading, int* layer) = nullptr;
  // The level index in play (-1 none) and whether it is a town.
  int (*level_index)() = nullptr;
  bool (*is_town_level)() = nullptr;
  // The far distance in force (0 none) and whether a sphere is outside the
  // view; both answer "visible" when unset.
  float (*far_distance)() = nullptr;
  bool (*sphere_outside_view)(const vector& centre, float radius) = nullptr;
  vector (*camera_position)() = nullptr;
  // The width in pixels of a text in the speech font.
  int (*text_width)(const char* text) = nullptr;
};

struct EntityEffectHooks {
  // Attaches a named effect to an entity; the effect handle, -1 on failure.
  int (*attach)(living_entity* e, const char* effect, int tag) = nullptr;
  // Places a named effect at a point.
  int (*place)(const char* effect, const vector& pos) = nullptr;
  bool (*alive)(int effect) = nullptr;
  void (*kill)(int effect) = nullptr;
  // Removes the status visuals attached to an entity.
  void (*remove_status_visuals)(living_entity* e) = nullptr;
  // The shared timed effect (status 7) and status effect of a kind (8).
  int (*attach_timed)(living_entity* e) = nullptr;
  int (*attach_status)(living_entity* e, int kind) = nullptr;
  bool (*has_status_kind)(const living_entity* e, int kind) = nullptr;
  // The effect an equipped item shows of its own while it is worn; without
  // it the item's effect is attached as any other.
  int (*item_effect)(living_entity* e, const Item_info* item) = nullptr;
};

struct EntitySoundHooks {
  // Plays a sound at a point; the channel, -1 none.
  int (*play_3d)(int sound, const vector& pos) = nullptr;
  void (*set_rate)(int channel, float factor) = nullptr;
  void (*fade_out)(int channel, int ms) = nullptr;
  bool (*playing)(int channel) = nullptr;
};

// The party and the shell: the party members' records, the selected
// character, dialogue, bosses.
struct EntityGameHooks {
  // Whether the entity has a party record and whether it allows a stat.
  bool (*has_party_record)(const living_entity* e) = nullptr;
  bool (*party_allows_stat)(const living_entity* e, int stat) = nullptr;
  // Teardown: the record forgets the entity; a summon's record is freed.
  void (*party_forget)(living_entity* e) = nullptr;
  void (*party_free_summon)(living_entity* e) = nullptr;
  // kill_summon: dismisses the summoned members other than the selected.
  int (*dismiss_summons)() = nullptr;
  living_entity* (*selected)() = nullptr;
  bool (*dialogue_is_idle)() = nullptr;
  float (*boss_radius)(const living_entity* e) = nullptr;
  float (*boss_height)(const living_entity* e) = nullptr;
  // Pages in the item a kind-206 entity carries.
  void (*page_carried_item)(living_entity* e, int item_index) = nullptr;
  // Bosses choose their spells themselves.
  bool (*boss_wants_spell)(living_entity* e, float* range) = nullptr;
  // The cast cooldown of a spell: running, and started by a cast (its
  // length follows the cast effect's frames).
  bool (*cooldown_running)(const living_entity* e, int spell) = nullptr;
  void (*cooldown_start)(living_entity* e, int spell, int cast_effect) = nullptr;
  // The cast effect of a spell on its caster (its launch tracking too);
  // the effect handle, -1 none.
  int (*cast_effect)(living_entity* e, int spell) = nullptr;
  // Loads the animations of a weapon class for a type.
  void (*set_weapon_class)(Character_info* type, int weapon_class) = nullptr;
  // The stat-screen pose: a move's animation loaded into the stat-screen
  // arena (its slot, -1 when it cannot be had), and dropped again.
  int (*load_statscreen_anim)(Character_info* type, Move_info* move) = nullptr;
  void (*unload_statscreen_anim)(Character_info* type, int slot) = nullptr;
};

// The network facade: in single-player every entity is local and the
// senders do nothing; multiplayer installs its senders here.
struct EntityNetHooks {
  bool (*entity_is_local)(const living_entity* e) = nullptr;
  bool (*is_host)() = nullptr;
  bool (*is_client)() = nullptr;
  int (*player_count)() = nullptr;
  void (*send_set_sts)(living_entity* e, int id, int duration, int spell, float strength, int source) = nullptr;
  void (*send_clr_sta)(living_entity* e, int id, bool end_effect) = nullptr;
  void (*send_adj_aps)(living_entity* e, int value) = nullptr;
};

void entity_set_world_hooks(const EntityWorldHooks& h);
void entity_set_effect_hooks(const EntityEffectHooks& h);
void entity_set_sound_hooks(const EntitySoundHooks& h);
void entity_set_game_hooks(const EntityGameHooks& h);
void entity_set_net_hooks(const EntityNetHooks& h);
const EntityWorldHooks& entity_world();
const EntityEffectHooks& entity_effects();
const EntitySoundHooks& entity_sounds();
const EntityGameHooks& entity_game();
const EntityNetHooks& entity_net();

// The network facade the entity code calls.
bool multi_entity_is_local(const living_entity* e);
bool multi_is_host();
bool multi_is_client();
int multi_player_count();
void multi_send_set_sts(living_entity* e, int id, int duration, int spell, float strength, int source);
void multi_send_clr_sta(living_entity* e, int id, bool end_effect);
void multi_send_adj_aps(living_entity* e, int value);
