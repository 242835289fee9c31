#pragma once
// Living entities: every creature in the world (heroes, summons, monsters,
// bosses, townsfolk) is a living_entity in one static array of 175, on
// exactly one of two lists between set-up and teardown: the live list or
// the dead list. Each carries its character type, a posed model, an AI and
// a combat part, point pools, 18 status-effect slots, ten equipment slots,
// a team and a unique name "<type>#<n>".
//
// Handles, never pointers, are kept from frame to frame (objects.h). The
// world around an entity (level, effects, sound, party, network) is reached
// through the hooks of entity_world.h, its model through entity_model.h.
#include <cstdint>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_component.h"
#include "Engine/characterinfo/characterinfo.h"

#define MAX_LIVING_ENTIITES 175
#define NUM_STATUS_EFFECTS 18
#define NUM_EQUIPMENT_SLOTS 10
#define NUM_STANDARD_ANIMS 18
#define NUM_STATS 84
#define ENTITY_NAME_LEN 32
#define FLOAT_TEXT_LEN 10
#define NUM_FADE_RECORDS 5
#define SPEECH_TEXT_LEN 256
#define STAT_ABSENT (-999999.0f)

class EntityModel;
struct item_instance;
struct Item_info;

// Equipment slots, numbered from 0 everywhere.
enum EquipmentSlot {
  EQ_NECK = 0, EQ_RING1 = 1, EQ_RING2 = 2, EQ_HANDS = 3, EQ_FEET = 4, EQ_WEAPON = 5, EQ_SHIELD = 6, EQ_TORSO = 7,
  EQ_LEGS = 8, EQ_WEAPON2 = 9
};

enum EntityState : uint32_t {
  ES_COMBAT_READY = 0x1, ES_HELD = 0x2, ES_HELD_BY_SCRIPT = 0x4, ES_DEAD = 0x8, ES_AI_DISABLED = 32,
  ES_CONTROL_IMMUNE = 64, ES_DOWN = 128, ES_SUMMONED = 0x100, ES_SPEED_OVERRIDE = 0x200, ES_AI_INTERRUPTED = 0x400,
  ES_OWN_MODEL = 0x800, ES_FREE_MOVE = 0x1000, ES_DAMAGED = 0x4000, ES_DEATH_KIND = 0x8000,
  ES_KEEP_MODEL = 0x40000, ES_SPELL_PARALYSED = 0x80000, ES_ON_FLOOR = 0x100000, ES_ALT_ARM = 0x2000000,
  ES_CORPSE_ALIGNED = 0x4000000, ES_THROTTLED = 0x8000000, ES_THROTTLED_LAST = 0x10000000,
  ES_NO_FLOOR_FOLLOW = 0x80000000u
};

// The 18 standard movement animations, in lookup order.
enum StandardAnim {
  SA_STAND, SA_NORM_WALK, SA_NORM_RUN, SA_READY, SA_WALK, SA_RUN, SA_STAND_HURT, SA_NORM_WALK_HURT,
  SA_NORM_RUN_HURT, SA_READY_HURT, SA_WALK_HURT, SA_RUN_HURT, SA_SNEAK_READY, SA_HIDE_READY, SA_TRIPPED_LIEDOWN,
  SA_CLOAKED_READY, SA_CLOAKED_SNEAK, SA_STATSCREEN
};
extern const char* const Standard_anim_names[NUM_STANDARD_ANIMS];

enum StatusId {
  STATUS_BLIND = 0, STATUS_SILENCE = 1, STATUS_FAITH = 2, STATUS_CURSE = 3, STATUS_BLESS = 4, STATUS_REGEN = 5,
  STATUS_POWER = 6, STATUS_TIMED_FX = 7, STATUS_FADED = 8, STATUS_SLEEP = 9, STATUS_PARALYZE = 10,
  STATUS_POISON = 11, STATUS_CRIPPLE = 12, STATUS_SLOW = 13, STATUS_DOT_A = 14, STATUS_DOT_B = 15,
  STATUS_TURNED = 16, STATUS_SPELL_TICK = 17
};
enum StatusMode { STATUS_INACTIVE = -1, STATUS_TIMED = 0, STATUS_EQUIPMENT = 1, STATUS_NOT_CURABLE = 2 };
extern const char* const Status_names[NUM_STATUS_EFFECTS];  // null: no text

struct status_effect_slot {
  int32_t mode = STATUS_INACTIVE;
  int32_t end_time = -1;  // game clock ms; active while set
  int32_t visual = -1;
  int32_t source = -1;
  int32_t origin = -1;  // spell id, or the granting item's pool index
  int32_t period_timer = -1;
  int32_t period = 0;
  float strength = 0.0f;
  const item_instance* granting_item = nullptr;
};

inline constexpr float Entity_size_radius[4] = {0.15f, 0.47f, 1.0f, 99.9f};
inline constexpr float Entity_size_height[4] = {0.9f, 1.8f, 2.5f, 99.9f};

class living_entity : public game_object {
 public:
  void deinit() override;

  // ---- creation and lists
  void setup(int object_type, int char_index, const vector& pos, const matrix& orient, int level);

  // ---- names, teams
  const char* get_name() const { return name; }
  void set_name(const char* text);
  void get_display_name(char* out, int size) const;
  bool is_hero() const;
  int get_team() const { return team; }
  void set_team(int t);
  bool is_hostile_to(const game_object* other) const;

  // ---- statistics
  void compute_stats();
  bool has_stat(int i) const;
  float get_stat(int i) const;
  float equipment_stat_bonus(int i) const;
  float equipment_resist_bonus(int damage_class) const;
  int equipment_point_bonus(int kind) const;
  float equipment_speed_factor() const;
  int get_max_points(int kind) const;
  float get_resistance(int damage_class) const;
  // Of v's skeleton points, the one nearest to where a's current blow lands
  // (the point its move names on its weapon, carried by its hand, or the
  // hand itself): the bone with *at its world position; -1 when a plays no
  // move, its weapon's model lacks the point, or v has no points.
  static int nearest_hit_point(const living_entity* a, const living_entity* v, vector* at);
  // By the type's size class; bosses ask the boss module. Inline, since the
  // collision between entities asks them for every pair.
  float get_radius() const { return type == OBJ_BOSS ? boss_radius() : Entity_size_radius[size_class()]; }
  float get_height() const { return type == OBJ_BOSS ? boss_height() : Entity_size_height[size_class()]; }

  // ---- state and AI
  void set_held(int arg);
  void clear_held();
  void set_ai_enabled(bool on);
  void ai_do_action(int action, int target, int arg, uint32_t flags);
  void face_point(float x, float y, float z, int flags);
  void move_to_offset(float dx, float dy, float dz);
  living_entity* get_mount() const;
  living_entity* get_rider() const;
  bool is_mount() const { return (link_flags & 2) != 0; }
  bool is_rider() const { return (link_flags & 1) != 0; }
  bool is_moving() const;
  bool is_weak() const;
  bool is_engaged() const;
  bool is_alive_type() const { return obj_is_living_entity(this); }
  bool is_boss() const { return type == OBJ_BOSS; }
  bool is_summoned_form() const { return summoned_form; }

  // ---- hit points, action points, death and experience (entity_death.cpp).
  // change_hp is the one routine that changes hit points: negative amounts
  // are damage; false when this change killed the entity.
  bool change_hp(float amount, int attacker, int arg = 0, int arg2 = 0);
  void change_ap(float amount);
  bool kill(int move_id);
  void die();
  void resurrect();
  void add_experience(int amount, bool auto_distribute, bool forced);
  void drop_loot();
  void align_corpse();
  void start_cooldown(int spell, float base, float extra);
  bool is_on_cooldown(int spell) const;

  // ---- spell hits (spell_hits.cpp): an outcome record applied here.
  void apply_spell_effect(const struct SpellHitRecord& record);
  // A spell decided and applied here (single-player casts, specials,
  // missiles): position and orientation may be null; amount scales the
  // drains 62 and 63; named picks the hit effect by name (else preloaded).
  void get_hit_by_spell(int spell, int caster, const vector* pos, const matrix* orient, int source,
                        const Item_info* item, float amount, bool named);

  // ---- the save record (entity_save.cpp): at most `size` bytes; the
  // length written or read, -1 when the record does not fit or is refused.
  int save(uint8_t* buffer, int size) const;
  int load(const uint8_t* buffer, int size);

  // ---- status effects
  void apply_status_effect(int id, int duration_ms, int spell, float strength, int source, bool not_curable);
  void apply_item_status_effect(int id, const item_instance* item, float strength);
  void refresh_item_status_effects();
  void cure_status_effect(int id, bool force, bool end_effect);
  void cure_all_status_effects();
  bool has_status_effect(int id) const;
  bool has_curable_status_effect(int id) const;
  int get_status_effect_time(int id) const;
  float get_status_effect_strength(int id) const;
  void set_status_effect_strength(int id, float value);
  void set_status_effect_visual(int id, int handle);

  // ---- moves and animation
  int play_move(const Move_info* move, float speed, bool layered, bool reset, int flags);
  const Move_info* find_move(int kind, int id) const;
  float get_move_progress(int move_id) const;
  // The fraction of a move still to play (0 when it is not the current one).
  float get_move_remaining(int move_id) const { return 1.0f - get_move_progress(move_id); }
  bool get_move_time_left(int move_id, float* seconds);
  bool move_finished(int move_id) { return !get_move_time_left(move_id, nullptr); }
  const Move_info* get_current_move();
  bool move_has_tag(int kind) const;
  float time_to_tag(int kind) const;
  void mark_tag_done(int kind);
  int move_tag_state(int kind);
  const Move_info* pick_talk_move() const;
  int get_move_effect() const { return move_effect; }
  void setup_standard_anims();
  void update_animation(float frametime);
  bool is_culled(float factor) const;
  float anim_speed_at(float speed_setting);
  void show_floating_text(const char* text, float seconds, uint8_t r, uint8_t g, uint8_t b);
  void show_speech_text(const char* text, float seconds);
  uint8_t get_fade_alpha();

  // ---- appearance
  void set_skin(int variant);
  void apply_hero_texture(int layer, const char* file_name);
  void refresh_hero_textures(bool alternate, bool force);
  int select_armour_model() const;

  // ---- placement and queries
  bool place_at_party_start(int slot);
  void place_at_point(const vector& p, float heading, int new_layer);
  // A navpoint's position, heading and layer (the level scripts own them).
  void place_at_navpoint(const vector& p, float heading, int new_layer) { place_at_point(p, heading, new_layer); }
  void settle_on_floor();
  // What the AI calls after placing an entity exactly: the floor again.
  void update_mesh_state() { settle_on_floor(); }
  void check_floor_layer();
  bool can_see_point(const vector& point) const;
  bool can_see(const game_object* other) const;
  float distance_to(const living_entity* other, bool flat, int tag) const;
  bool collide_with_entities(const vector& point_or_offset, vector* out, bool relative) const;
  void set_speed_scale(float scale, bool override_scale);

  // ---- movement and upkeep
  float get_anim_distance() const;
  void get_velocity(vector* out) const;
  float get_speed() const;
  void set_move_mode(float speed) { desired_speed = move_speed = speed; }
  void set_movement_anim();
  void set_anim_rate(float speed);
  float get_stopping_distance(vector* out_velocity) const;
  float distance_to_reach_speed(float v) const;
  void move(vector* out_delta, const vector* plane);
  bool collide_move(vector* delta);
  void upkeep();
  void status_frame();
  void retire_corpse();
  void process_dead(float frametime);
  void find_foot_bones();
  void update_footsteps();
  void play_footstep(const vector& pos, bool left);
  int start_knockdown(int variation);
  bool wants_spell(float* range);
  bool can_cast_spell(int spell);
  int cast_spell(int spell, int flag);

  int size_class() const {
    const int s = character ? character->size : 1;
    return s >= 0 && s < 4 ? s : 1;
  }
  float boss_radius() const;
  float boss_height() const;

  // ---- the record (order as in the game's record where it matters)
  int32_t team = 0;
  double move_start = 0.0;
  uint8_t tag_done[3] = {};
  int32_t death_move_id = -1;
  const Move_info* death_move = nullptr;
  status_effect_slot status[NUM_STATUS_EFFECTS];
  int32_t ap_regen_timer = -1;
  uint32_t hostile_mask = 0;
  char name[ENTITY_NAME_LEN] = {};
  EntityModel* instance = nullptr;
  living_entity* next_entity = nullptr;
  living_entity* prev_entity = nullptr;
  uint32_t state = 0;
  ai_component ai;
  combat_state combat;
  int32_t anim[NUM_STANDARD_ANIMS] = {};
  float max_hp_base = 0.0f;
  float hp = 0.0f;
  uint16_t max_ap_base = 0;
  int16_t ap = 0;
  int16_t level = 1;
  uint32_t experience = 0;
  uint8_t hit_by_player = 0;
  int32_t move_effect = -1;
  uint8_t stats[NUM_STATS] = {};
  int32_t emitter = -1;
  int32_t move_sound = -1;
  vector floor_normal{0, 1, 0};
  uint16_t floor_mesh = 65535;
  uint16_t floor_poly = 65535;
  int32_t layer = -1;
  float move_speed = 0.0f;
  float speed_scale_default = 1.0f, speed_scale_slow = 0.5f, speed_scale = 1.0f;
  vector velocity{0, 0, 0};
  int32_t current_move_id = -1;
  const Move_info* current_move = nullptr;
  int32_t mount_link = -1;
  // Per tag-defined attack position of the type: the handle of the
  // attacker holding it, -1 free.
  int32_t attack_tag_holders[NUM_ATTACK_TAGS] = {-1, -1, -1, -1, -1, -1, -1, -1};
  uint32_t link_flags = 0;
  int32_t damage_shown = 0;
  float damage_timer = 0.0f;
  char float_text[FLOAT_TEXT_LEN + 1] = {};
  uint8_t float_rgb[3] = {};
  float float_time = 0.0f;
  float corpse_tilt = 0.0f;
  Character_info* character = nullptr;
  int32_t stance_anim = -1, stance_anim_saved = -1;
  item_instance* equipment[NUM_EQUIPMENT_SLOTS] = {};
  int32_t anim_skip_count = 0;

  // Movement (the movement step, the blend and the timers).
  float anim_distance = 0.0f;
  float desired_speed = 0.0f;
  float speedup_rate = 0.0f, slowdown_rate = 0.0f;
  float walk_speed = 0.0f, run_speed = 0.0f;
  float move_blend = 0.0f;
  float stance_blend = 0.0f;
  float frame_step = 0.0f;
  float position_bonus_timer = 0.0f;
  float floor_light = 1.0f;
  int16_t foot_bones[2] = {-1, -1};
  int32_t special_move_id = -1;
  float speed_factor = 1.0f;
  // Read by the spell outcome: a bonus to skill casts from the caster.
  float skill_cast_bonus = 0.0f;
  // Read by the save record: this entity is a summoned creature's form of a
  // player character.
  bool summoned_form = false;
  // Read by the death and loot code: the item a kind-206 entity carries.
  int32_t carried_item = -1;
  // How many times a level drain (spell 13) has taken hold on it; casters
  // choosing the drain spare those it has already worn down.
  uint16_t level_drains = 0;
  // The prop tags of the type resolved for this entity.
  bool prop_tags_resolved = false;
};

// The study (debug) object of the console commands; teardown clears it.
extern living_entity* Study_object;
// Console switches of the module.
extern bool Players_immortal;
extern float Chance_to_drop_gold;
extern bool No_resist;
extern bool Use_spell_ap;
extern bool Bloodspots;
extern bool Debug_death;

// The records, and the sentinels of the two lists (never in the array).
extern living_entity Living_entities[MAX_LIVING_ENTIITES];
living_entity* entity_live_list();
living_entity* entity_dead_list();
// First and next of a list, null at the sentinel.
living_entity* entity_first(living_entity* list);
living_entity* entity_next(living_entity* list, living_entity* e);
int entity_count(living_entity* list);
void entity_list_append(living_entity* list, living_entity* e);
void entity_list_unlink(living_entity* e);

// Creates an entity of an object type (4, 5, 7, 9) from a character type;
// fatal when all MAX_LIVING_ENTIITES records are in use.
living_entity* living_entity_create(int object_type, int char_index, const vector& pos, const matrix& orient,
                                    int layer, int level, bool no_placement);
// Tears every entity down and empties both lists (level end, tests).
void living_entities_reset();
living_entity* entity_from_handle(int32_t handle);
living_entity* entity_find_by_name(const char* name);
// A new move id: one global counter, reset to 0 should it turn negative.
int entity_next_move_id();
// The AP an entity regains every 7,500 ms: a tenth of its maximum, at least 1.
int entity_ap_regen_amount(const living_entity* e);

// Speech texts over entities, counted down by the object frame.
struct SpeechText {
  char text[SPEECH_TEXT_LEN] = {};
  int32_t entity = -1;
  float time_left = 0.0f;
};
extern SpeechText Speech_texts[NUM_SPEECH_SLOTS];
void speech_texts_frame(float frametime);

struct FadeRecord {
  int32_t entity = -1;
  int32_t move_id = -1;
  float fraction = 0.0f;
};
extern FadeRecord Fade_records[NUM_FADE_RECORDS];
// Registers a fade; false when all five are in use.
bool entity_add_fade(living_entity* e, int move_id, float fraction);

// The object frame's entity steps: upkeep-and-move of the live list (the
// AI driver runs it per entity once the AI exists), footsteps, the dead.
void entities_live_frame(float frametime);
void entities_footsteps_frame(float frametime);
void entities_dead_frame(float frametime);
