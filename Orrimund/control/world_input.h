#pragma once
// World input: each gameplay frame the mouse and keys become one input
// record that turns and zooms the game camera; when no screen element is
// under the mouse, a ray from the mouse finds what lies under it, the target
// is classified into an action code with a highlight and a cursor, and a
// click carries the action out (select, talk, attack, pick up, open, walk).
// Keys and mouse come through WorldInputDevices so tests can script them;
// what other screens and systems do with an action comes through
// WorldInputHooks, each of which may be left null.
#include <cstdint>

#include "quarn/math/vector.h"

class game_object;
class living_entity;

// Input record bits.
constexpr uint32_t IR_RIGHT_DOWN = 0x1;
constexpr uint32_t IR_RIGHT_UP = 0x2;
constexpr uint32_t IR_CLICK = 0x4;
constexpr uint32_t IR_CTRL = 0x8;
constexpr uint32_t IR_TRAVEL = 0x10;
constexpr uint32_t IR_SHIFT = 0x20;
constexpr uint32_t IR_ALT = 0x40;
constexpr uint32_t IR_TELEPORT = 0x40000000u;
constexpr uint32_t IR_STUDY = 0x80000000u;

struct InputRecord {
  uint32_t bits = 0;
  int32_t x = 0, y = 0;
};
extern InputRecord Input_record;

// Action codes of target_classify.
enum TargetCode {
  TC_NONE = 0, TC_MEMBER = 1, TC_TALK = 2, TC_ENEMY = 3, TC_POINT = 4, TC_CREATURE = 5, TC_GOLD = 6,
  TC_CONTAINER = 7, TC_DOOR = 8, TC_LEVEL_ITEM = 9, TC_LOCK_PICK = 10, TC_TRADE = 11, TC_MERCHANT = 12
};

// What the HUD and screens aim: -1 nothing, 0 a creature, 1 a ground point,
// 2 a lock.
constexpr int TARGETING_NONE = -1;
constexpr int TARGETING_CREATURE = 0;
constexpr int TARGETING_POINT = 1;
constexpr int TARGETING_LOCK = 2;
extern int Hud_targeting;

// What a targeting click completes, set by the HUD and screens with
// Hud_targeting: a party-inventory item, an equipped item of the hero in
// control, or a skill; `spell` is the spell whose target rules the aim
// follows (-1 none).
struct item_instance;
struct HudPending {
  // The bag entry and, when known, its instance: the entry is found again
  // by the instance, since the bag may change before the click.
  int inventory_entry = -1;
  item_instance* item = nullptr;
  int equipped_slot = -1;
  int skill = -1;
  int spell = -1;
};
extern HudPending Hud_pending;
// Clears the targeting mode and what it would complete.
void hud_targeting_clear();

constexpr int HOLD_TO_TRAVEL_MS = 400;
constexpr float REACH_GOLD = 3.0f;  // gold and containers
constexpr float REACH_ITEM = 5.0f;  // level items and trade partners
constexpr float PICK_FAR = 15.0f;   // creatures farther from the hero are not picked
constexpr float PICK_HEIGHT = 3.0f;
constexpr int WALK_ORDER_PRIORITY = 999999;

// The byte states of the click machine, and the pick state.
struct WorldInputState {
  bool held_click = false;
  bool walk_marker = true;
  bool travel_armed = false;
  int ray_counter = 0;
  int mesh = -1;
  vector hit{0, 0, 0};
  int face = -1;
  int object = 0;  // picked object handle, 0 none
  int remembered_object = 0;
  int remembered_door = -1;
  vector walk_marker_pos{0, 0, 0};
  int study_object = 0;  // developer study click
  int last_code = TC_NONE;
  int view_w = 0, view_h = 0;  // the 3D view the mouse ray was taken in
  bool steering = false;       // hold to travel moves the hero
  vector steer_dir{0, 0, 0};
  float steer_speed = 0;
  bool spot_valid = false;     // the cursor spot of the last aimed frame
};
extern WorldInputState World_input;

struct WorldInputDevices {
  bool (*key_down)(int scan_code);
  double (*key_fraction)(int scan_code);  // held share of the time since the last frame
  bool (*mouse_down)(int button);
  int (*mouse_down_count)(int button);  // presses since the last frame
  int (*mouse_up_count)(int button);    // releases since the last frame
  int (*mouse_down_time)(int button);   // ms the button has been down
  void (*mouse_pos)(int* x, int* y);
  int (*wheel)();               // wheel movement since the last frame
  bool (*over_screen_element)();
};
// Null restores the keyboard and mouse.
void world_input_set_devices(const WorldInputDevices* devices);

struct WorldInputHooks {
  // A conversation person of this name exists; start the dialogue.
  bool (*conversation_exists)(const char* name) = nullptr;
  bool (*conversation_start)(const char* name) = nullptr;
  bool (*dialogue_idle)() = nullptr;
  void (*container_open)(game_object* container) = nullptr;
  // A container's lock value; above 0 it is locked.
  float (*container_lock)(game_object* container) = nullptr;
  // Lock picking on what the lock cursor clicked: a container, or a door
  // mesh (container null).
  void (*lock_pick)(game_object* container, int mesh) = nullptr;
  // A skill aimed at a creature (assess, backstab) completes on it.
  void (*skill_on_creature)(int skill, living_entity* target) = nullptr;
  // The level item of a mesh: its name, count, text and state. False when
  // the mesh has none.
  bool (*level_item)(int mesh, const char** name, int* count, const char** text, bool* taken,
                     bool* mesh_flag_80) = nullptr;
  void (*level_item_take)(int mesh) = nullptr;
  void (*level_item_script)(int mesh) = nullptr;
  // Whether the party holds (or wears) an item of that name.
  bool (*party_has_item)(const char* name) = nullptr;
  // A door's key item name (null or empty: none).
  const char* (*door_key)(int mesh) = nullptr;
  void (*feedback)(living_entity* hero, int kind) = nullptr;
  // Spell 69 asks the target's AI whether it may be aimed at.
  bool (*spell_consent)(living_entity* target, int spell) = nullptr;
  // The equipped item of the slot used on a creature.
  void (*use_equipped)(living_entity* hero, int slot, living_entity* target) = nullptr;
  // The member whose HUD portrait was left-clicked this frame (null none).
  living_entity* (*portrait_clicked)() = nullptr;

  // Networked games: whether this machine hosts; a client's request to the
  // host (WI_REQ_*, with the object's network id or the door's index); the
  // host's announcements; whether another player uses a container; trade
  // with another player's hero; the buy and sell screen on a merchant; and
  // whether a shopkeeper has the name (who may be talked to there).
  bool (*net_host)() = nullptr;
  void (*net_request)(int request, int value) = nullptr;
  void (*net_announce_gold)(game_object* gold) = nullptr;
  void (*net_announce_container)(game_object* container) = nullptr;
  void (*net_door_state)(int mesh) = nullptr;
  bool (*net_container_in_use)(game_object* container) = nullptr;
  void (*open_trade)(living_entity* other) = nullptr;
  void (*open_merchant)(living_entity* person) = nullptr;
  bool (*shopkeeper_exists)(const char* name) = nullptr;
};
// A client's requests to the host.
constexpr int WI_REQ_ITEM = 2;
constexpr int WI_REQ_CONTAINER = 3;
constexpr int WI_REQ_DOOR_CLOSE = 4;
constexpr int WI_REQ_DOOR_OPEN = 5;
// The hooks the running game uses beside the dialogue's: the container
// screen, door keys from the party's goods.
WorldInputHooks world_input_game_hooks();
void world_input_set_hooks(const WorldInputHooks& hooks);
// The hooks as set, for a service that fills in its own.
const WorldInputHooks& world_input_hooks();

// Frame entry: keys to the screens, then the record, the camera input and
// the camera update (nothing more while a modal screen is open).
void world_input_frame(float dt);
// The pick and the action, from the camera's eye along the mouse ray.
void world_input_actions(InputRecord& record, const vector& camera, const vector& ray);

void input_record_build(InputRecord& record);
// A right click during a swing times the chain skill of the slot its
// modifier picks (Shift 1, Ctrl 2, Alt 3, Caps Lock 0, else the member's).
void chain_input(const InputRecord& record);
void camera_input_from_mouse(const InputRecord& record, int screen_width);

// The nearest accepted level hit along the ray (direction scaled by far):
// its mesh instance, hit point and face index; -1 when none.
int ray_pick_level(const vector& origin, const vector& direction, float far, vector* hit, int* face);

// A candidate of pick_object: an object, its centre and its pick radius.
struct PickCandidate {
  game_object* object;
  vector centre;
  float radius;
};
game_object* pick_object_among(const PickCandidate* candidates, int count, const vector& camera, const vector& hit);
game_object* pick_object(const vector& camera, const vector& hit);

// The action code of a picked object or mesh for the selected hero; *valid
// tells whether a pending aimed target is acceptable.
int target_classify(game_object* object, int mesh, const vector& hit, bool* valid);

bool can_talk(const living_entity* person);
bool attack_order(living_entity* target);
bool talk_to(living_entity* npc);
void door_use(int mesh);
void level_item_examine(int mesh);
bool walk_order(InputRecord& record, const vector& point, int mesh);
void container_use(game_object* container);
void gold_pick_up(game_object* gold);
// Whether the spell may be aimed at the creature by the hero.
bool spell_target_valid(int spell, const living_entity* hero, const living_entity* target);
// Holding the button after a walk order steers the hero toward the floor
// under the mouse, faster the farther the mouse is from the view's middle.
bool hold_travel_steer(const vector& camera, const vector& ray, const InputRecord& record);
// The spot under an aimed cursor: checks the point when asked and lays the
// valid or the invalid decal there; returns the validity.
bool cursor_spot(int valid_bitmap, int invalid_bitmap, int mesh, int face, const vector& point, bool check);
// Which ground an aimed point may lie on, by the surface kind (0-7) of the
// face under it: types 0 to 4 by default, 1, 2 and 5 for spell 38.
void pick_filter_for_spell(int spell);
void pick_filter_clear();
bool pick_filter_accepts(int surface);

// Console "slew": the game camera detached and flown freely.
extern bool Slew_mode;

// Highlight colours (r, g, b).
extern const float Highlight_valid[3], Highlight_invalid[3], Highlight_friend[3], Highlight_mesh[3];
