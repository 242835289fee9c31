#pragma once
// The script runner: the run-time objects a level's tables make and that run
// without a script function being called. Navpoints (named places), exit and
// event triggers the party crosses, shopkeepers with their lists, and script
// characters that walk through their actions. Tables are reset each time a
// level's script data is read; every capacity below is checked while
// reading, and an entry past it is refused with a debug line.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

#define MAX_NAVPOINTS 512
#define MAX_CUTSCENE_NAVPOINTS 128
#define NAVPOINT_NAME_LEN 16
#define MAX_LEVEL_TRIGGERS 32
#define MAX_SHOPKEEPERS 15
#define MAX_SHOP_PAIRS 1000
#define MAX_SCRIPT_CHARACTERS 200
#define MAX_SCRIPT_ACTIONS 32
// "goto" jumps taken in one step of one character: a label followed at once
// by its own goto would otherwise loop for ever.
#define MAX_SCRIPT_JUMPS 16
// Items "replace weapon" and "replace armor" took off characters, kept for
// the cutscene undo.
#define MAX_REPLACED_ITEMS 16
// Automap maps of one level (map numbers 1..count).
#define MAX_AUTOMAP_MAPS 20

enum NavpointType { NAV_LEVEL = 0, NAV_CUTSCENE = 1, NAV_CAMERA = 2, NAV_AMBIENT_SOUND = 3 };

struct Navpoint {
  char name[NAVPOINT_NAME_LEN];
  float heading;
  vector pos;
  int32_t plane;   // layer set of the mesh under the point, -1 none
  float height;    // how far above the ground the given point was
  int32_t type;    // NavpointType
  int32_t level_item;  // index of the level item placed here, -1 none
};

// Both tables: the level's, then the cutscene's; case ignored, first match.
Navpoint* navpoint_find(const char* name);
// False for a null or unknown name; the orientation turns about the
// vertical axis by the heading.
bool navpoint_get_position(const char* name, vector* pos, matrix* orient);
// A navigation node of the level geometry (dropped from 1 unit above).
void navpoint_add_from_node(const char* name, const vector& pos, const matrix& orient);
// A navpoint from a table; drops types 0 and 1 to the ground from 2 units
// above. Null when the table is full.
Navpoint* navpoint_add(bool cutscene, const char* name, int type, int plane, const vector& pos, const matrix& orient);
int navpoint_count(bool cutscene);
Navpoint* navpoint_at(bool cutscene, int index);
void navpoints_reset(bool cutscene);

// Fills the party's four start navpoints of the level position block from
// "$player<entry>-0k", else "$player0k". False, with a message naming the
// level, when the first start is missing: the level cannot be played.
bool level_find_player_starts();
// The start navpoint of party slot 0..3; false when unset.
bool level_player_start(int slot, vector* pos, float* heading, int* plane);

// --- triggers ---------------------------------------------------------------------------
enum TriggerKind { TRIGGER_LOAD_LEVEL = 0, TRIGGER_BOSS = 1, TRIGGER_SOUND = 2 };
enum TriggerShape { TRIGGER_SPLINE = 0, TRIGGER_LOCATION = 1 };
constexpr uint32_t TRIGGER_LOADED = 0x1, TRIGGER_DISABLED = 0x2, TRIGGER_MULTI = 0x4, TRIGGER_FIRED = 0x80000000u;

struct LevelTrigger {
  char name[32];         // the destination level of a "load level" trigger
  const char* script;    // destination script entry, "" when none
  char ref_name[32];
  int32_t kind;
  int32_t shape;
  int32_t index;
  uint32_t flags;
  int32_t plane;         // -1 any
  vector seg[2];         // shape spline: its first segment
  const Navpoint* nav;   // shape location
  float radius;
};
int level_trigger_count();
LevelTrigger* level_trigger_at(int i);

// Leave state: the bits of a fired exit trigger.
constexpr int LEAVE_TOO_FAR = 0x1, LEAVE_HOSTILES = 0x2;
struct LevelLeave {
  int current = -1;  // trigger index waiting for the answer, -1 none
  int bits = 0;
  bool confirmed = false;
  vector step_back{0, 0, 0};
};
extern LevelLeave Level_leave;
// The per-frame exit-trigger test (outside cutscenes).
void level_triggers_check();
// The player's answer to the question of the current trigger.
void level_leave_accept();
void level_leave_refuse();
// Triggers other than "load level" crossed or entered by a move from prev to
// cur; the first hit's kind and index, -1 and -1 when none. A location
// trigger answers once.
void level_trigger_query(const vector& prev, const vector& cur, int* kind, int* index);
// By name, narrowed by script name when given; true when any matched.
bool level_triggers_enable(const char* name, const char* script, bool enable);
bool level_triggers_enable_by_reference(const char* ref_name, bool enable);

// --- shopkeepers --------------------------------------------------------------------------
struct ShopPair {
  int32_t item;
  int32_t price;
};
struct ShopkeeperRecord {
  const char* character;  // "" when the character was not found
  int32_t sell_count;
  const ShopPair* sell;
  int32_t buy_count;
  const ShopPair* buy;
};
ShopkeeperRecord* shopkeeper_find(const char* character);
int shopkeeper_count();
// The level's shopkeeper i in table order; null outside.
const ShopkeeperRecord* shopkeeper_at(int i);

// --- script characters -----------------------------------------------------------------
enum ScriptVerb {
  SV_WALK_TO, SV_RUN_TO, SV_MOVE_THROUGH, SV_WAIT_AT, SV_WANDER, SV_WANDER_FOR, SV_DO_STATE, SV_PLAY_ACTION,
  SV_PLAY_MVF, SV_PLAY_EFFECT, SV_TURN_HOSTILE, SV_WAIT_FOR_GO, SV_SAY, SV_DIE, SV_LABEL, SV_GOTO, SV_NO_BLOCK,
  SV_TRIGGER, SV_TRIGGER_NAV, SV_TRIGGER_VISIT, SV_TELEPORT_TO, SV_PASS_GO, SV_SHOW_HIDE, SV_SYNCH,
  SV_SYNCH_TELEPORT, SV_FOLLOW, SV_COMBAT_MODE, SV_MOUNT_ANIM, SV_DISMOUNT_ANIM, SV_REPLACE_WEAPON,
  SV_GUARD_SPLINE, SV_REPLACE_ARMOR, SV_ONE_HAND, NUM_SCRIPT_VERBS
};
extern const char* const Script_verb_names[NUM_SCRIPT_VERBS];

struct ScriptAction {
  int32_t verb = -1;
  const Navpoint* nav = nullptr;
  const char* name = nullptr;  // effect, text or character name
  int32_t value = 0;
  float seconds = 0.0f;
  bool run = false;
};
struct ScriptCharacter {
  char name[32];
  int32_t run_mode;  // 0 idle at the end, 1 finish, 2 stay on the last, -1 unused
  ScriptAction actions[MAX_SCRIPT_ACTIONS];
  int32_t action_count;
  int32_t current;   // -1 before the first and when idle
  int32_t timer;     // game-clock ms when the wait ends, 0 none
  int32_t entity;    // handle
  bool paused;
  bool go;           // the go marker of its next "wait for go"
  bool retry;        // the current action could not start: try again when the timer runs out
  int32_t move_id;   // the move a "play action" started, -1 none
  bool idle;         // run mode 0 past its last action: not stepped until started again
  bool cutscene;     // placed by a cutscene script, not by the level's table
};
int script_character_count();
ScriptCharacter* script_character_at(int i);
// The first character whose entity exists and whose name matches; -1 none.
int script_character_find(const char* name);
// Adds a character played by an existing entity; -1 when full.
int script_character_add(const char* name, int entity_handle, int run_mode);
// Appends an action; false when the list is full.
bool script_character_add_action(int character, const ScriptAction& action);
// Starts the character's first action.
void script_character_start(int character);
// Editor restart: every character back before its first action (run mode
// 1 when it has a "die", else 0), its go marker cleared.
void script_characters_restart();
// Every frame: steps each running, unpaused character of the level's table
// (the level script's frame), or of the cutscene script (the gameplay frame
// and the cutscene's frame).
void script_characters_step();
void cutscene_characters_step();
// A skipped cutscene: every character with a "synch" or "synch teleport" of
// this number stops what it does (its move ended, its orders dropped), a
// synch teleport puts it at its navpoint, and it goes on after that action;
// the others are left alone.
void script_characters_skip_to_synch(int synch);
// "pass go": ends a pending wander or follow, or arms the next wait for go.
void script_character_pass_go(int character);
// A script's order to a character: it drops what its current action set it
// doing and goes on after the first "label" of that number, as its own
// "goto" would, even from a wait, a wait for go or idle at the end of its
// list. False (and nothing changes) when the record has ended or has no
// such label.
bool script_character_goto(int character, int label);

// --- the level's tables -------------------------------------------------------------------
// Reads the script data of the current level and script (Level_position):
// the demo script table, level_items.tbl, the level data table, then the
// player starts. False when the level cannot be played (no player start).
bool script_read_level_data();
// The readers, from text (tests and the fuzz target use these directly).
// The readers the cutscene scripts share: navpoints into the level's or the
// cutscene's table, and one object after its "$Name:", whose entity is shown
// to `placed` (with whether it was made here) before its actions start.
class ParseContext;
class ground_item;
struct living_entity;
using ScriptObjectHook = void (*)(living_entity* e, bool created);
void script_read_navpoints(ParseContext& pc, bool cutscene);
void script_read_object(ParseContext& pc, ScriptObjectHook placed);
void demo_script_table_read_text(const char* filename, const char* text, int length);
void level_data_table_read_text(const char* filename, const char* text, int length);
void level_items_read_text(const char* filename, const char* text, int length);
// Clears every table of the runner (not the level navpoints from nodes).
void script_runner_reset();

// Kept level effects of the level data table.
#define MAX_LEVEL_EFFECTS 10
struct LevelEffectEntry {
  char file[32];
  int32_t handle;
  bool once;
};
int level_effect_count();
// Starts each kept level effect as a free world effect.
void level_effects_start();
// Level exit: kills the running effects not marked "once" and forgets them;
// a restart kills them all and keeps the list.
void level_effects_kill(bool restarting);
const LevelEffectEntry* level_effect_at(int i);

#define MAX_LEVEL_ITEMS 32
struct LevelItemEntry {
  char name[32];
  char script[32];
  int32_t item;   // definition index, -1 unknown
  int32_t count;
  const Navpoint* nav;
  int32_t event_level;
  char event_flag[32];
};
int level_item_count();
// Places the current script's level items still listed in the save image in
// bags at their navpoints, one bag per navpoint (hidden while their event
// flag is unset); each ground item's tag is its record's index.
void level_items_place();
// A level item's ground item taken by the party: its record leaves the save
// image's list, so it is not placed again.
void level_item_forget(const ground_item* g);
// After a flag change: each level item with an event shows or hides (its bag
// when it lies in one) as its flag now says.
void level_items_refresh();
// After a saved game arrives: the level items placed from the earlier list
// go, and those the saved list holds are placed.
void level_items_replace();
const LevelItemEntry* level_item_at(int i);

extern bool Level_is_town_script;  // "#Town" outside networked games
extern bool Dont_load_fx;
extern bool No_cutscenes;
extern int Dialogue_camera_mode;

// The items "replace weapon" and "replace armor" displaced go back to their
// characters (what replaced them is destroyed) and the list empties; the
// item of a character that is gone is destroyed.
void script_replaced_items_restore();
int script_replaced_item_count();

// --- the level data table's automap ----------------------------------------------------------
// The automap maps of the level: their count (the highest map number) and
// the bitmap of map 1..count (-1 outside); layer n shows map n.
int level_automap_map_count();
int level_automap_bitmap(int map);
// The map (1..count) that shows a level zone (0-based: "$layer1" is zone 0);
// -1 when no map shows it.
int level_automap_zone_map(int zone);
// Level exit: the maps' bitmaps are given back.
void level_automap_release();
