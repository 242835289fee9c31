#include "levelscripts/script_runner.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_core.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "Engine/gamesound/sound.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/s3d/level_objects.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_ops.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/os/stringpool.h"
#include "quarn/os/timer.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

bool Level_is_town_script = false;
bool Dont_load_fx = false;
bool No_cutscenes = false;
int Dialogue_camera_mode = 0;
LevelLeave Level_leave;

const char* const Script_verb_names[NUM_SCRIPT_VERBS] = {
    "walk to", "run to", "move through", "wait at", "wander", "wander for", "do state", "play action",
    "play .mvf", "play effect", "turn hostile", "wait for go", "say", "die", "label", "goto", "no block",
    "trigger", "trigger nav", "trigger visit", "teleport to", "pass go", "show/hide", "synch", "synch teleport",
    "follow", "combat mode", "mount anim", "dismount anim", "replace weapon", "guard spline", "replace armor",
    "one hand"};

namespace {

// Script orders come after the player's and the group's.
constexpr int SCRIPT_ORDER_PRIORITY = 100;
constexpr int RETRY_MS = 5000;
constexpr int STRING_POOL_SIZE = 32768;

Navpoint Level_navs[MAX_NAVPOINTS];
int Num_level_navs = 0;
Navpoint Cutscene_navs[MAX_CUTSCENE_NAVPOINTS];
int Num_cutscene_navs = 0;

LevelTrigger Triggers[MAX_LEVEL_TRIGGERS];
int Num_triggers = 0;

ShopkeeperRecord Shopkeepers[MAX_SHOPKEEPERS];
int Num_shopkeepers = 0;
ShopPair Shop_pairs[MAX_SHOP_PAIRS];
int Num_shop_pairs = 0;

ScriptCharacter Characters[MAX_SCRIPT_CHARACTERS];
int Num_characters = 0;
int Automap_bitmaps[MAX_AUTOMAP_MAPS] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
int Num_automap_maps = 0;
// Which map shows each level zone ("$layer<n>", zone n - 1); -1 none.
int Automap_zone_maps[MAX_AUTOMAP_MAPS] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                           -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

LevelEffectEntry Level_effects[MAX_LEVEL_EFFECTS];
int Num_level_effects = 0;
LevelItemEntry Level_items[MAX_LEVEL_ITEMS];
int Num_level_items = 0;

StringPool Strings;
const char Empty[] = "";

// The last position of the selected hero that the trigger test saw.
vector Hero_last{0, 0, 0};
int Hero_last_handle = -1;

const char* pool_copy(const char* s) {
  if (Strings.capacity() == 0) Strings.alloc(STRING_POOL_SIZE);
  const char* copy = Strings.add(s);
  if (!copy) console_printf("Level script string pool is full; \"%s\" dropped\n", s);
  return copy ? copy : Empty;
}

void copy_name(char* out, int size, const char* in) {
  std::snprintf(out, static_cast<size_t>(size), "%s", in ? in : "");
}

matrix heading_matrix(float heading) {
  return matrix(vector(std::cos(heading), 0, -std::sin(heading)), vector(0, 1, 0),
                vector(std::sin(heading), 0, std::cos(heading)));
}

float heading_of(const matrix& m) { return std::atan2(m.forward.x, m.forward.z); }

// Drops a point of type level or cutscene onto the ground below it; false
// when no ground was found.
bool ground_drop(Navpoint& n, float from_above, bool from_node) {
  if (n.type != NAV_LEVEL && n.type != NAV_CUTSCENE) {
    n.plane = -1;
    return true;
  }
  const EntityWorldHooks& w = entity_world();
  if (!w.floor_ray) return false;
  FloorHit hit;
  const vector top(n.pos.x, n.pos.y + from_above, n.pos.z);
  if (!w.floor_ray(top, 1000.0f, FLOOR_ALL_MESHES, -1, -1, -1, &hit)) return false;
  int layer = w.mesh_layer ? w.mesh_layer(hit.mesh) : 0;
  if (layer < 0) {
    if (from_node)
      console_printf("Layer for navpoint %s is invalid -- assuming no layer set exists and setting layer to 0\n",
                     n.name);
    layer = 0;
  }
  n.plane = layer;
  n.height = n.pos.y - hit.height;
  if (n.height < 0.0f) {
    n.pos.y = hit.height;
    n.height = 0.0f;
  }
  return true;
}

Navpoint* find_in(Navpoint* table, int count, const char* name) {
  for (int i = 0; i < count; i++)
    if (!strcasecmp(table[i].name, name)) return &table[i];
  return nullptr;
}

living_entity* selected_hero() { return entity_game().selected ? entity_game().selected() : nullptr; }

float dist2_xz(const vector& a, const vector& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

bool party_member(const living_entity* e) { return e && e->type == OBJ_PLAYER && !(e->state & ES_DEAD); }

bool random_level_name(const char* level) { return level && strncasecmp(level, "rand-", 4) == 0; }

// Whether segment a0-a1 crosses segment b0-b1 in the ground plane.
bool segments_cross(const vector& a0, const vector& a1, const vector& b0, const vector& b1) {
  auto side = [](const vector& p, const vector& q, const vector& r) {
    return (q.x - p.x) * (r.z - p.z) - (q.z - p.z) * (r.x - p.x);
  };
  const float d1 = side(b0, b1, a0), d2 = side(b0, b1, a1);
  const float d3 = side(a0, a1, b0), d4 = side(a0, a1, b1);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// --- readers ----------------------------------------------------------------------------------

int read_type_keyword(ParseContext& pc, const char* const* words, int count, const char* field) {
  char text[64];
  pc.read_string(text, sizeof text);
  for (int i = 0; i < count; i++)
    if (!strcasecmp(text, words[i])) return i;
  char expected[96];
  std::snprintf(expected, sizeof expected, "a known %s", field);
  pc.error(expected);
}

void read_navpoints(ParseContext& pc, bool cutscene = false) {
  static const char* const types[] = {"level", "cutscene", "camera", "ambient sound"};
  if (pc.optional_string("$Num navpoints:")) pc.read_int();
  while (pc.optional_string("$Name:")) {
    char name[NAVPOINT_NAME_LEN];
    pc.read_string(name, sizeof name);
    int type;
    if (pc.optional_string("$Type:")) type = read_type_keyword(pc, types, 4, "navpoint type");
    else if (!strncasecmp(name, "$c_npc", 6)) type = NAV_CUTSCENE;
    else if (!strncasecmp(name, "$camera", 7)) type = NAV_CAMERA;
    else type = NAV_LEVEL;
    int plane = -1;
    if (pc.optional_string("+Plane:")) plane = pc.read_int();
    vector pos;
    matrix orient;
    pc.require_string("$Position:");
    pc.read_vector(pos);
    pc.require_string("$Orientation:");
    pc.read_matrix(orient);
    if (!navpoint_add(cutscene, name, type, plane, pos, orient))
      console_printf(cutscene ? "%s: navpoint %s refused: the cutscene holds %d navpoints (MAX_CUTSCENE_NAVPOINTS)\n"
                              : "%s: navpoint %s refused: the level holds %d navpoints (MAX_NAVPOINTS)\n",
                     pc.filename(), name, cutscene ? MAX_CUTSCENE_NAVPOINTS : MAX_NAVPOINTS);
  }
}

const char* const Creature_kinds[] = {"+Monster", "+Miniboss", "+Boss"};

void read_character(ParseContext& pc, ScriptObjectHook placed = nullptr, bool cutscene = false) {
  char name[32], start[NAVPOINT_NAME_LEN], type_name[64];
  pc.read_string(name, sizeof name);
  const bool no_create = pc.optional_string("+No create");
  pc.require_string("$Start position:");
  pc.read_string(start, sizeof start);
  pc.require_string("$Character:");
  pc.read_string(type_name, sizeof type_name);
  const bool hidden = pc.optional_string("+Hidden");
  char trigger[32] = "";
  if (pc.optional_string("+Trigger:")) pc.read_string(trigger, sizeof trigger);
  int object_type = OBJ_NEUTRAL;
  if (pc.optional_string("+Monster")) object_type = OBJ_CREATURE;
  else if (pc.optional_string("+Miniboss")) object_type = OBJ_CREATURE;
  else if (pc.optional_string("+Boss")) object_type = OBJ_BOSS;
  int team = -1, level = 1;
  if (pc.optional_string("+Team:")) team = pc.read_int();
  if (pc.optional_string("+Level:")) level = pc.read_int();
  pc.optional_string("+Prop");
  ScriptAction actions[MAX_SCRIPT_ACTIONS];
  int count = 0;
  bool refused = false;
  while (pc.optional_string("+Action:")) {
    ScriptAction a;
    a.verb = read_type_keyword(pc, Script_verb_names, NUM_SCRIPT_VERBS, "script action");
    char text[256];
    switch (a.verb) {
      case SV_WALK_TO: case SV_RUN_TO: case SV_MOVE_THROUGH: case SV_TELEPORT_TO: case SV_SYNCH_TELEPORT:
        pc.read_string(text, NAVPOINT_NAME_LEN);
        a.nav = navpoint_find(text);
        if (a.verb == SV_SYNCH_TELEPORT) a.value = pc.read_int();
        if (!a.nav) console_printf("%s: %s has no navpoint %s\n", pc.filename(), name, text);
        break;
      case SV_WAIT_AT: case SV_TRIGGER_NAV:
        pc.read_string(text, NAVPOINT_NAME_LEN);
        a.nav = navpoint_find(text);
        a.value = pc.read_int();
        if (!a.nav) console_printf("%s: %s has no navpoint %s\n", pc.filename(), name, text);
        break;
      case SV_WANDER: case SV_WANDER_FOR:
        pc.read_string(text, NAVPOINT_NAME_LEN);
        a.nav = navpoint_find(text);
        a.value = pc.read_int();
        if (a.verb == SV_WANDER_FOR) a.seconds = pc.read_float();
        a.run = pc.optional_string("run");
        break;
      case SV_PLAY_EFFECT: case SV_PASS_GO:
        pc.read_string(text, sizeof text);
        a.name = pool_copy(text);
        break;
      case SV_SAY: case SV_FOLLOW:
        pc.read_string(text, sizeof text);
        a.name = pool_copy(text);
        a.value = pc.read_int();
        break;
      case SV_SYNCH: case SV_MOUNT_ANIM: case SV_DISMOUNT_ANIM:
        if (a.verb == SV_SYNCH) a.value = pc.read_int();
        break;
      case SV_REPLACE_WEAPON: case SV_REPLACE_ARMOR:
        // An item by name, or a definition number (negative: take off).
        if (pc.check_string("\"")) {
          pc.read_string(text, sizeof text);
          a.value = item_lookup(text);
          if (a.value < 0) {
            console_printf("%s: %s: unknown item %s\n", pc.filename(), name, text);
            continue;
          }
        } else {
          a.value = pc.read_int();
        }
        break;
      default:
        a.value = pc.read_int();
        break;
    }
    if (count < MAX_SCRIPT_ACTIONS) actions[count++] = a;
    else refused = true;
  }
  if (refused)
    console_printf("%s: %s has more than %d actions (MAX_SCRIPT_ACTIONS); the rest are dropped\n", pc.filename(), name,
                   MAX_SCRIPT_ACTIONS);
  (void)trigger;
  // The entity: a "+No create" character takes over the entity of that name;
  // others are made at their start navpoint (or the one made there before).
  living_entity* e = nullptr;
  if (no_create) {
    e = entity_find_by_name(name);
    if (e && (e->state & ES_DEAD) && e->type == OBJ_PLAYER) e->hp = 1.0f;
  } else {
    const Navpoint* at = navpoint_find(start);
    const int type = charinfo_lookup(type_name);
    if (!at || type < 0) {
      console_printf("%s: character %s not made: %s\n", pc.filename(), name,
                     !at ? "no start navpoint" : "unknown character type");
      return;
    }
    if (Num_characters >= MAX_SCRIPT_CHARACTERS) {
      console_printf("%s: character %s refused: the level holds %d (MAX_SCRIPT_CHARACTERS)\n", pc.filename(), name,
                     MAX_SCRIPT_CHARACTERS);
      return;
    }
    e = living_entity_create(object_type, type, at->pos, heading_matrix(at->heading), at->plane < 0 ? 0 : at->plane,
                             level, false);
    if (e) {
      e->set_name(name);
      if (team >= 0) e->set_team(team);
      if (hidden) e->flags |= OF_HIDDEN;
    }
  }
  if (!e) {
    console_printf("%s: character %s has no entity\n", pc.filename(), name);
    return;
  }
  if (placed) placed(e, !no_create);
  int run_mode = 0;
  for (int i = 0; i < count; i++)
    if (actions[i].verb == SV_DIE) run_mode = 1;
  const int c = script_character_add(name, e->handle, run_mode);
  if (c < 0) return;
  Characters[c].cutscene = cutscene;
  for (int i = 0; i < count; i++) script_character_add_action(c, actions[i]);
  script_character_start(c);
}

void read_clicks(ParseContext& pc) {
  while (pc.optional_string("$Name:")) {
    char name[64], text[CLICK_MESSAGE_LEN] = "";
    pc.read_string(name, sizeof name);
    int give = 0;
    if (pc.optional_string("+Give:")) give = pc.read_int();
    if (pc.optional_string("+Messagebox:")) pc.read_string(text, sizeof text);
    const int mesh = level_mesh_find_by_name(name);
    if (mesh < 0) {
      console_printf("%s: no level object %s to click\n", pc.filename(), name);
      continue;
    }
    const int c = click_add(mesh);
    if (c < 0) continue;
    ClickRecord* r = click_at(c);
    r->give = give;
    copy_name(r->message, sizeof r->message, text);
  }
}

// A door sound's three values as the door keeps them: whole bytes.
DoorSound read_door_sound(ParseContext& pc) {
  char name[64];
  pc.read_string(name, sizeof name);
  const float range = pc.read_float(), volume = pc.read_float();
  float rolloff = pc.read_float();
  if (rolloff == 0.1f) rolloff = 1.0f;
  auto byte = [](float v) { return static_cast<uint8_t>(v < 0.0f ? 0 : v > 255.0f ? 255 : v); };
  return {pool_copy(name), byte(range), byte(volume), byte(rolloff)};
}

void read_doors(ParseContext& pc) {
  while (pc.optional_string("$Door:")) {
    char name[64], key[256] = "";
    pc.read_string(name, sizeof name);
    DoorSound open{nullptr, 0, 0, 0}, close{nullptr, 0, 0, 0};
    if (pc.optional_string("+Open sound:")) open = read_door_sound(pc);
    if (pc.optional_string("+Close sound:")) close = read_door_sound(pc);
    float lock = 0.0f;
    if (pc.optional_string("+Locked:")) {
      lock = pc.read_float();
      if (pc.optional_string("+Key:")) pc.read_string(key, sizeof key);
    }
    const int mesh = level_mesh_find_by_name(name);
    LevelMovableMesh* m = mesh >= 0 ? level_mesh_movable_info(mesh) : nullptr;
    if (!m) {
      console_printf("%s: no door %s in the level\n", pc.filename(), name);
      continue;
    }
    m->open_sound_info = open;
    m->close_sound_info = close;
    m->lock_value = lock;
    m->key_item = key[0] ? item_lookup(key) : -1;
    if (lock != 0.0f) m->door_flags |= MOVABLE_LOCKED;
    else m->door_flags &= ~MOVABLE_LOCKED;
    bool is_open = false, locked = false;
    if (level_two_stage_get(name, &is_open, &locked)) level_door_set_by_name(name, is_open);
  }
}

void read_demo_script(ParseContext& pc) {
  if (pc.optional_string("#Town")) Level_is_town_script = !game_is_networked();
  pc.require_string("#Navpoints");
  read_navpoints(pc);
  pc.require_string("#Objects");
  while (pc.optional_string("$Name:")) read_character(pc);
  if (pc.optional_string("#Doors")) read_doors(pc);
  if (pc.optional_string("#Clicks")) read_clicks(pc);
  pc.require_string("#End");
}

void read_trigger(ParseContext& pc) {
  static const char* const kinds[] = {"load level", "boss", "sound"};
  static const char* const shapes[] = {"spline", "location"};
  LevelTrigger t{};
  pc.read_string(t.name, sizeof t.name);
  t.flags = TRIGGER_LOADED;
  if (pc.optional_string("+Multi")) t.flags |= TRIGGER_MULTI;
  pc.require_string("+Id:");
  t.kind = read_type_keyword(pc, kinds, 3, "trigger kind");
  t.script = Empty;
  copy_name(t.ref_name, sizeof t.ref_name, t.name);
  if (t.kind == TRIGGER_LOAD_LEVEL) {
    char script[256];
    if (pc.optional_string("+Script:")) pc.read_string(script, sizeof script);
    else std::snprintf(script, sizeof script, "%s%s", t.name, (t.flags & TRIGGER_MULTI) ? "_m1" : "");
    const int level = level_script_info_lookup(t.name);
    const int entry = level >= 0 && strcasecmp(t.name, "level select") ? level_script_name_index(level, script) : -1;
    t.script = entry >= 0 ? level_script_entry_name(level, entry) : Empty;
    if (pc.optional_string("+RefName:")) pc.read_string(t.ref_name, sizeof t.ref_name);
  }
  if (pc.optional_string("+Index:")) t.index = pc.read_int();
  pc.require_string("+Type:");
  t.shape = read_type_keyword(pc, shapes, 2, "trigger type");
  t.plane = -1;
  if (pc.optional_string("+Plane:")) t.plane = pc.read_int();
  char target[32];
  bool found = false;
  if (t.shape == TRIGGER_SPLINE) {
    copy_name(target, sizeof target, t.name);
    if (pc.optional_string("+Spline name:")) pc.read_string(target, sizeof target);
    vector a, b;
    if (Script_world.spline_first_segment && Script_world.spline_first_segment(target, &a, &b)) {
      t.seg[0] = a, t.seg[1] = b;
      found = true;
    }
  } else {
    pc.require_string("+Location:");
    pc.read_string(target, sizeof target);
    pc.require_string("+Radius:");
    t.radius = pc.read_float();
    t.nav = navpoint_find(target);
    found = t.nav != nullptr;
  }
  if (!found) {
    console_printf("Couldn't find level trigger: %s\n", target);
    return;
  }
  if (Num_triggers >= MAX_LEVEL_TRIGGERS) {
    console_printf("%s: trigger %s refused: the level holds %d triggers (MAX_LEVEL_TRIGGERS)\n", pc.filename(), t.name,
                   MAX_LEVEL_TRIGGERS);
    return;
  }
  Triggers[Num_triggers++] = t;
}

int shop_price(int item, bool buy) {
  const int value = Item_infos[item].value;
  if (!buy) return value;
  if (game_is_networked()) {
    const int p = static_cast<int>(value * 0.1f);
    return p < 1 ? 1 : p;
  }
  return static_cast<int>(value * 0.7f);
}

// One "+Sell List:" or "+Buy List:" run of item names up to "$End".
void read_shop_list(ParseContext& pc, ShopkeeperRecord& s, bool buy) {
  ShopPair* first = Shop_pairs + Num_shop_pairs;
  int n = 0;
  bool full = false;
  char item[256];
  while (!pc.optional_string("$End")) {
    pc.read_string(item, sizeof item);
    const int index = item_lookup(item);
    if (index < 0) {
      console_printf("Unable to locate item %s in any table file.\n", item);
      continue;
    }
    if (!Item_infos[index].name || !Item_infos[index].name[0]) continue;
    bool dup = false;
    for (int i = 0; i < n; i++) dup |= first[i].item == index;
    if (dup) continue;
    if (Num_shop_pairs >= MAX_SHOP_PAIRS) {
      full = true;
      continue;
    }
    Shop_pairs[Num_shop_pairs++] = {index, shop_price(index, buy)};
    n++;
  }
  if (full) console_printf("%s: shop list of %s cut at %d pairs (MAX_SHOP_PAIRS)\n", pc.filename(), s.character, MAX_SHOP_PAIRS);
  if (buy) s.buy = first, s.buy_count = n;
  else s.sell = first, s.sell_count = n;
}

void read_shopkeeper(ParseContext& pc) {
  char name[128];
  pc.read_string(name, sizeof name);
  ShopkeeperRecord s{Empty, 0, nullptr, 0, nullptr};
  const int c = script_character_find(name);
  if (c >= 0 || entity_find_by_name(name)) s.character = pool_copy(name);
  else console_printf("Unable to locate character %s for shopkeeper support\n", name);
  while (true) {
    if (pc.optional_string("+Sell List:")) read_shop_list(pc, s, false);
    else if (pc.optional_string("+Buy List:")) read_shop_list(pc, s, true);
    else break;
  }
  if (Num_shopkeepers >= MAX_SHOPKEEPERS) {
    console_printf("%s: shopkeeper %s refused: the level holds %d (MAX_SHOPKEEPERS)\n", pc.filename(), name,
                   MAX_SHOPKEEPERS);
    return;
  }
  Shopkeepers[Num_shopkeepers++] = s;
}

// "$layer<n>" with n not 0; fatal otherwise, as a level with a broken
// automap cannot show it. Every map up to the highest number needs its
// bitmap.
void read_automap(ParseContext& pc) {
  level_automap_release();
  while (true) {
    const bool pc_entry = pc.optional_string("$AutomapPC:");
    if (!pc_entry && !pc.optional_string("$AutomapPSX:")) break;
    char layer[128], bitmap[128];
    pc.read_string(layer, sizeof layer);
    const int map = pc.read_int();
    pc.read_string(bitmap, sizeof bitmap);
    if (strncasecmp(layer, "$layer", 6) != 0 || std::atoi(layer + 6) == 0) pc.error("Layer name is invalid.");
    if (!pc_entry) continue;
    if (map < 1 || map > MAX_AUTOMAP_MAPS) {
      console_printf("%s: automap map %d refused: a level holds maps 1 to %d (MAX_AUTOMAP_MAPS)\n", pc.filename(),
                     map, MAX_AUTOMAP_MAPS);
      continue;
    }
    if (Automap_bitmaps[map - 1] >= 0 && Script_world.automap_bitmap_release)
      Script_world.automap_bitmap_release(Automap_bitmaps[map - 1]);
    Automap_bitmaps[map - 1] = Script_world.automap_bitmap_load ? Script_world.automap_bitmap_load(bitmap) : -1;
    if (map > Num_automap_maps) Num_automap_maps = map;
    const int zone = std::atoi(layer + 6) - 1;
    if (zone >= 0 && zone < MAX_AUTOMAP_MAPS) Automap_zone_maps[zone] = map;
  }
  for (int i = 0; i < Num_automap_maps; i++)
    if (Automap_bitmaps[i] < 0) pc.error("Specified automap bitmap not found!");
}

int clamp_byte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

void read_colour(ParseContext& pc, int* rgb) {
  for (int i = 0; i < 3; i++) rgb[i] = clamp_byte(pc.read_int());
}

// The level's fog: per layer, or one near and far for the whole level; and
// its sound environment.
void read_fog(ParseContext& pc) {
  int colour[3] = {0, 0, 0};
  if (pc.optional_string("+Color:")) read_colour(pc, colour);
  fog_set_colour(colour[0], colour[1], colour[2]);
  while (pc.optional_string("+Distance:")) {
    char layer[128];
    pc.read_string(layer, sizeof layer);
    const float near_dist = pc.read_float();
    const float far_dist = pc.read_float();
    int rgb[3] = {colour[0], colour[1], colour[2]};
    if (pc.optional_string("+Color:")) read_colour(pc, rgb);
    const bool no_snow = pc.optional_string("NoSnow");
    if (strncasecmp(layer, "$layer", 6) != 0) {
      console_printf("%s: fog of %s: not a layer name\n", pc.filename(), layer);
      continue;
    }
    const int n = std::atoi(layer + 6);
    fog_zone_set(n, far_dist, near_dist, rgb[0], rgb[1], rgb[2]);
    if (no_snow) vis_layer_set_snow(n, false);
  }
  float near_dist = 0.0f, far_dist = 0.0f;
  bool given = false;
  if (pc.optional_string("+Fog Near:")) near_dist = pc.read_float(), given = true;
  if (pc.optional_string("+Fog Far:")) far_dist = pc.read_float(), given = true;
  if (given) {
    fog_set_level_defaults(near_dist, far_dist);
    fog_set(near_dist, far_dist);
  }
  if (pc.optional_string("+CharFog:")) {
    const float char_near = pc.read_float();
    fog_set_character(char_near, pc.read_float());
  }
  char preset[64] = "generic";
  if (pc.optional_string("+EAX:")) pc.read_string(preset, sizeof preset);
  snd_set_environment(preset);
  fog_zones_changed();
}

void read_level_data(ParseContext& pc) {
  pc.require_string("#Effects");
  while (pc.optional_string("$Level_fx:")) {
    LevelEffectEntry e{};
    pc.read_string(e.file, sizeof e.file);
    e.handle = -1;
    e.once = pc.optional_string("once");
    bool listed = false, any_only = false;
    char script[128];
    while (pc.optional_string("+OnlyScript:")) {
      pc.read_string(script, sizeof script);
      any_only = true;
      listed |= !strcasecmp(script, Level_position.script);
    }
    if (Dont_load_fx || (any_only && !listed)) continue;
    if (Num_level_effects >= MAX_LEVEL_EFFECTS) {
      console_printf("%s: level effect %s refused: the level holds %d (MAX_LEVEL_EFFECTS)\n", pc.filename(), e.file,
                     MAX_LEVEL_EFFECTS);
      continue;
    }
    Level_effects[Num_level_effects++] = e;
  }
  if (pc.optional_string("$Vif_count:")) pc.read_int();
  if (pc.optional_string("#Ambient Sounds")) {
    while (pc.optional_string("$Ambient:")) {
      char sound[64], nav[32];
      pc.read_string(sound, sizeof sound);
      pc.read_string(nav, sizeof nav);
      const Navpoint* at = navpoint_find(nav);
      if (!at) {
        console_printf("Ambient sound navpoint not found: %s\n", nav);
        continue;
      }
      if (ambient_sound_count() >= MAX_AMBIENT_SOUNDS) {
        console_printf("%s: ambient sound %s refused: the level holds %d (MAX_AMBIENT_SOUNDS)\n", pc.filename(), sound,
                       MAX_AMBIENT_SOUNDS);
        continue;
      }
      const int emitter =
          Script_world.ambient_emitter_create ? Script_world.ambient_emitter_create(sound, at->pos) : -1;
      ambient_sound_add(emitter, at->pos);
    }
  }
  if (pc.optional_string("#Triggers"))
    while (pc.optional_string("$Trigger:")) read_trigger(pc);
  if (pc.optional_string("#Shopkeepers"))
    while (pc.optional_string("$Shopkeeper:")) read_shopkeeper(pc);
  if (pc.optional_string("#Automap")) read_automap(pc);
  if (pc.optional_string("#Fog")) read_fog(pc);
  pc.require_string("#End");
}

void read_level_items(ParseContext& pc) {
  pc.require_string("#Level Items");
  const char* level = Level_position.level;
  char want[64];
  std::snprintf(want, sizeof want, "#Level: \"%s\"", level);
  // Sections are found by their header; the level's own is read.
  bool found = false;
  while (pc.optional_string("#Level:") || pc.skip_to_string("#Level:")) {
    if (pc.check_string("#Level:")) pc.require_string("#Level:");
    char name[64];
    pc.read_string(name, sizeof name);
    if (!strcasecmp(name, level)) {
      found = true;
      break;
    }
  }
  if (!found) {
    console_printf("%s: no level items for %s\n", pc.filename(), level);
    return;
  }
  while (pc.optional_string("$Name:")) {
    LevelItemEntry e{};
    pc.read_string(e.name, sizeof e.name);
    pc.require_string("$Script:");
    pc.read_string(e.script, sizeof e.script);
    char item[256], nav[256], flag_level[256];
    pc.require_string("$Item:");
    pc.read_string(item, sizeof item);
    pc.require_string("$Navpoint:");
    pc.read_string(nav, sizeof nav);
    e.count = 1;
    if (pc.optional_string("+Count:")) e.count = pc.read_int();
    e.event_level = -1;
    if (pc.optional_string("+Event:")) {
      pc.read_string(flag_level, sizeof flag_level);
      pc.read_string(e.event_flag, sizeof e.event_flag);
      e.event_level = level_script_info_lookup(flag_level);
    }
    e.item = item_lookup(item);
    if (e.item < 0) console_printf("%s: unknown level item %s\n", pc.filename(), item);
    if (!strcasecmp(e.script, Level_position.script)) e.nav = navpoint_find(nav);
    if (Num_level_items >= MAX_LEVEL_ITEMS) {
      console_printf("%s: level item %s refused: the level holds %d (MAX_LEVEL_ITEMS)\n", pc.filename(), e.name,
                     MAX_LEVEL_ITEMS);
      continue;
    }
    Level_items[Num_level_items++] = e;
  }
}

// The record whose gold joined another record's gold in a shared bag, -1
// none: the bag holds one pile of gold, and taking it takes both.
int Level_item_joined[MAX_LEVEL_ITEMS];

bool level_item_hidden(const LevelItemEntry& e) {
  return e.event_level >= 0 && e.event_flag[0] && !level_flag_get(e.event_level, e.event_flag);
}

// Items of one navpoint share a bag only while one event shows and hides
// them all: the bag carries the hidden state.
bool level_items_share_bag(const LevelItemEntry& a, const LevelItemEntry& b) {
  if (a.nav != b.nav || a.event_level != b.event_level) return false;
  return a.event_level < 0 || !strcasecmp(a.event_flag, b.event_flag);
}

bool level_item_ground(const ground_item* g) {
  return g && g->type == OBJ_GROUND_ITEM && g->tag >= 0 && g->tag < Num_level_items;
}

void level_item_forget_record(int i) {
  if (i >= 0 && i < Num_level_items) save_level_item_remove(name_checksum(Level_items[i].name));
}
}  // namespace

// The current script's level items still in the save image's list lie in a
// bag at their navpoint, as the developer placed them; those of one navpoint
// share the bag. One whose event flag is not yet set lies hidden. Each ground
// item carries its record's index, so taking it takes it off the list.
void level_items_place() {
  container_object* bags[MAX_LEVEL_ITEMS] = {};
  for (int i = 0; i < MAX_LEVEL_ITEMS; i++) Level_item_joined[i] = -1;
  for (int i = 0; i < Num_level_items; i++) {
    LevelItemEntry& e = Level_items[i];
    if (!e.nav || e.item < 0 || strcasecmp(e.script, Level_position.script)) continue;
    if (!save_level_item_listed(name_checksum(e.name))) continue;
    item_instance* item = item_create(e.item);
    if (!item) continue;
    const matrix orient = heading_matrix(e.nav->heading);
    container_object* bag = nullptr;
    for (int k = 0; k < i && !bag; k++)
      if (bags[k] && bags[k]->type == OBJ_CONTAINER && bags[k]->count < CONTAINER_ITEMS &&
          level_items_share_bag(Level_items[k], e))
        bag = bags[k];
    ground_item* g = nullptr;
    if (bag) {
      g = ground_item_drop(item, e.nav->pos, orient, e.count, i, -1);
      if (g) {
        const ground_item* first = bag->get_item(0);
        const int joins = g->is_gold() && first && first->is_gold() ? first->tag : -1;
        if (bag->add_item(g)) Level_item_joined[i] = joins;
      }
    } else {
      bag = ground_item_drop_in_bag(item, e.nav->pos, orient, e.count, i, -1, &g);
      if (!g && bag) {
        bag->deinit();
        bag = nullptr;
      }
    }
    if (!g) {
      item_free(item);
      console_printf("Level item %s not placed: no free ground item (MAX_GROUND_ITEMS)\n", e.name);
      continue;
    }
    bags[i] = bag;
    const_cast<Navpoint*>(e.nav)->level_item = i;
    if (level_item_hidden(e)) {
      if (bag) bag->flags &= ~OF_ACTIVE;
      else g->flags &= ~OF_ACTIVE;
    }
  }
}

void level_item_forget(const ground_item* g) {
  if (!level_item_ground(g)) return;
  level_item_forget_record(g->tag);
  for (int i = 0; i < Num_level_items; i++)
    if (Level_item_joined[i] == g->tag) level_item_forget_record(i);
}

void level_items_refresh() {
  for (int i = 0; i < MAX_GROUND_ITEMS; i++) {
    ground_item* g = ground_item_at(i);
    if (!level_item_ground(g)) continue;
    const LevelItemEntry& e = Level_items[g->tag];
    if (e.event_level < 0 || !e.event_flag[0]) continue;
    game_object* shown = g->container ? static_cast<game_object*>(g->container) : g;
    if (level_item_hidden(e)) shown->flags &= ~OF_ACTIVE;
    else shown->flags |= OF_ACTIVE;
  }
}

void level_items_replace() {
  for (int i = 0; i < MAX_GROUND_ITEMS; i++) {
    ground_item* g = ground_item_at(i);
    if (!level_item_ground(g)) continue;
    container_object* bag = g->container;
    g->deinit();
    if (bag && bag->count == 0) bag->deinit();
  }
  level_items_place();
}

namespace {

bool read_file(const char* filename, void (*reader)(ParseContext&)) {
  ParseContext pc;
  if (pc.open(filename, VFILE_ANY_TYPE) != 0) return false;
  reader(pc);
  pc.close();
  return true;
}

void read_text(const char* filename, const char* text, int length, void (*reader)(ParseContext&)) {
  ParseContext pc;
  pc.open_memory(filename, text, length > 0 ? static_cast<size_t>(length) : 0);
  reader(pc);
  pc.close();
}

// --- script characters --------------------------------------------------------------------

living_entity* character_entity(const ScriptCharacter& c) { return entity_from_handle(c.entity); }

bool has_move_order_to(const living_entity* e, const vector& p) {
  for (const ai_action& a : e->ai.queue)
    if ((a.type == 12 || a.type == AI_ACTION_WALK) && a.point.x == p.x && a.point.z == p.z) return true;
  return false;
}

bool next_is_synch(const ScriptCharacter& c, int i) {
  return i + 1 < c.action_count && (c.actions[i + 1].verb == SV_SYNCH || c.actions[i + 1].verb == SV_SYNCH_TELEPORT);
}

bool cutscene_playing() { return Script_world.cutscene_playing && Script_world.cutscene_playing(); }

bool action_complete(ScriptCharacter& c, living_entity* e) {
  if (c.current < 0 || c.current >= c.action_count) return c.run_mode != 2 || c.current < 0;
  const ScriptAction& a = c.actions[c.current];
  if (cutscene_playing() && next_is_synch(c, c.current)) return false;
  living_entity* hero = selected_hero();
  switch (a.verb) {
    case SV_WALK_TO:
    case SV_RUN_TO:
      return !a.nav || !has_move_order_to(e, a.nav->pos);
    case SV_WANDER:
    case SV_DIE:
      return false;
    case SV_WANDER_FOR:
      if (c.timer && !timestamp_elapsed(c.timer, timer_game_clock)) return false;
      ai_queue_remove_type(&e->ai, 9);
      return true;
    case SV_WAIT_FOR_GO:
      return c.go;
    case SV_SYNCH:
    case SV_SYNCH_TELEPORT:
      return !cutscene_playing();
    case SV_PLAY_ACTION:
    case SV_PLAY_MVF:
      return c.move_id < 0 || e->move_finished(c.move_id);
    case SV_FOLLOW:
      if (!c.timer) return false;
      ai_queue_remove_type(&e->ai, 2);
      return true;
    case SV_COMBAT_MODE:
      return ai_queue_find(&e->ai, 0x1, 6, 0, -1, nullptr, 0, AI_NO_SPELL) < 0;
    case SV_TRIGGER:
      return hero && dist2_xz(hero->pos, e->pos) <= static_cast<float>(a.value) * a.value;
    case SV_TRIGGER_NAV:
      return hero && a.nav && dist2_xz(hero->pos, a.nav->pos) <= static_cast<float>(a.value) * a.value;
    case SV_TRIGGER_VISIT:
      return Level_script_current >= 0 && level_visit_count(Level_script_current) >= a.value;
    default:
      return true;
  }
}

// --- replaced equipment ---------------------------------------------------------------

struct ReplacedItem {
  int32_t entity;
  item_instance* item;
  int32_t kind;  // the item's slot kind
};
ReplacedItem Replaced[MAX_REPLACED_ITEMS];
int Num_replaced = 0;

bool weapon_kind(int kind) { return kind == SLOT_WEAPON || kind == SLOT_TWO_HANDED || kind == SLOT_SHIELD; }
bool armour_kind(int kind) { return kind == SLOT_TORSO || kind == SLOT_LEGS || kind == SLOT_HEAVY; }
int item_kind(const item_instance* item) { return item && item->info ? item->info->slot : -1; }

// The first item a cutscene displaced from a slot is what the undo gives
// back; a later one of the same slot's kinds is destroyed.
void keep_replaced(const living_entity* e, item_instance* item) {
  if (!item) return;
  const int kind = item_kind(item);
  const bool weapon = weapon_kind(kind);
  for (int i = 0; i < Num_replaced; i++) {
    if (Replaced[i].entity != e->handle) continue;
    if (weapon ? weapon_kind(Replaced[i].kind) : armour_kind(Replaced[i].kind)) {
      item_free(item);
      return;
    }
  }
  if (Num_replaced >= MAX_REPLACED_ITEMS) {
    console_printf("Replaced item of %s not kept: %d are kept (MAX_REPLACED_ITEMS)\n", e->get_name(),
                   MAX_REPLACED_ITEMS);
    item_free(item);
    return;
  }
  Replaced[Num_replaced++] = {e->handle, item, kind};
}

int equipment_slot_of(int kind) {
  switch (kind) {
    case SLOT_SHIELD: return EQ_SHIELD;
    case SLOT_LEGS: return EQ_LEGS;
    case SLOT_TORSO: case SLOT_HEAVY: return EQ_TORSO;
    default: return EQ_WEAPON;
  }
}

void replace_weapon(living_entity* e, int definition) {
  if (definition < 0) {
    keep_replaced(e, entity_unequip_slot(e, EQ_WEAPON, true));
    keep_replaced(e, entity_unequip_slot(e, EQ_SHIELD, true));
    return;
  }
  item_instance* item = item_create(definition);
  if (!item) return;
  item_instance *out1 = nullptr, *out2 = nullptr;
  entity_equip_item(&out1, &out2, e, equipment_slot_of(item_kind(item)), item);
  if (e->equipment[equipment_slot_of(item_kind(item))] != item) item_free(item);
  keep_replaced(e, out1);
  keep_replaced(e, out2);
}

void replace_armour(living_entity* e, int definition) {
  const int worn = item_kind(e->equipment[EQ_TORSO]);
  const int wanted = definition >= 0 && definition < Num_item_infos ? Item_infos[definition].slot : -1;
  if (worn < 0 && (definition < 0 || wanted == SLOT_TORSO)) return;
  if (worn == SLOT_HEAVY && wanted == SLOT_HEAVY) return;
  if (worn >= 0 && worn != SLOT_HEAVY && wanted == SLOT_TORSO) return;
  if (definition < 0) {
    keep_replaced(e, entity_unequip_slot(e, EQ_TORSO, true));
    return;
  }
  item_instance* item = item_create(definition);
  if (!item) return;
  item_instance *out1 = nullptr, *out2 = nullptr;
  entity_equip_item(&out1, &out2, e, equipment_slot_of(wanted), item);
  if (e->equipment[equipment_slot_of(wanted)] != item) item_free(item);
  keep_replaced(e, out1);
  keep_replaced(e, out2);
}

// "die": a neutral plays its death itself before it is killed; a boss dies
// as a creature.
bool script_kill(living_entity* e, int move) {
  if (move < 0) return false;
  if (e->type == OBJ_NEUTRAL) {
    const Move_info* m = e->character ? charinfo_find_move(e->character, move) : nullptr;
    if (m) e->play_move(m, 1.0f, false, true, 1);
    e->kill(move);
    e->state |= ES_DEAD;
  } else {
    if (e->type == OBJ_BOSS) e->type = OBJ_CREATURE;
    e->kill(move);
  }
  return true;
}

// Starts the current action; false when it cannot start now.
bool start_action(int index, ScriptCharacter& c, living_entity* e, int* jumps) {
  ScriptAction& a = c.actions[c.current];
  const ScriptAction* prev = c.current > 0 ? &c.actions[c.current - 1] : nullptr;
  (void)prev;
  switch (a.verb) {
    case SV_WALK_TO:
    case SV_RUN_TO:
      if (!a.nav) return false;
      // "walk to" walks and "run to" runs: the order's run flag is set for
      // the run.
      return ai_queue_walk_to(&e->ai, a.nav->pos, a.nav->plane, a.verb == SV_RUN_TO, SCRIPT_ORDER_PRIORITY) >= 0;
    case SV_MOVE_THROUGH:
      return a.nav != nullptr;
    case SV_WAIT_AT:
      if (a.nav) {
        const matrix m = heading_matrix(a.nav->heading);
        const vector p = e->pos + m.forward;
        e->face_point(p.x, p.y, p.z, 0);
      }
      c.timer = timestamp_set(timer_game_clock, a.value * 1000);
      return true;
    case SV_WANDER:
    case SV_WANDER_FOR:
      if (!a.nav) return false;
      if (a.verb == SV_WANDER_FOR) c.timer = timestamp_set(timer_game_clock, static_cast<int>(a.seconds * 1000.0f));
      return ai_queue_path_to(&e->ai, a.nav->pos, a.nav->plane, SCRIPT_ORDER_PRIORITY, true) >= 0;
    case SV_TURN_HOSTILE:
      e->type = a.value == 0 ? OBJ_NEUTRAL : OBJ_CREATURE;
      return true;
    case SV_SAY:
      e->show_speech_text(a.name ? a.name : "", static_cast<float>(a.value));
      return true;
    case SV_DIE:
      if (!script_kill(e, a.value)) return false;
      c.run_mode = -1;
      return true;
    case SV_REPLACE_WEAPON:
      replace_weapon(e, a.value);
      return true;
    case SV_REPLACE_ARMOR:
      replace_armour(e, a.value);
      return true;
    case SV_NO_BLOCK:
      if (a.value) e->flags |= OF_HIDDEN;
      else e->flags &= ~OF_HIDDEN;
      return true;
    case SV_TELEPORT_TO:
    case SV_SYNCH_TELEPORT:
      if (!a.nav) return false;
      e->place_at_navpoint(a.nav->pos, a.nav->heading, a.nav->plane < 0 ? 0 : a.nav->plane);
      return true;
    case SV_PASS_GO: {
      const int other = script_character_find(a.name);
      if (other >= 0) script_character_pass_go(other);
      return true;
    }
    case SV_SHOW_HIDE:
      if (a.value) e->flags |= OF_HIDDEN;
      else e->flags &= ~OF_HIDDEN;
      return true;
    case SV_GOTO:
      // The first label with the goto's number; the jump is counted so a
      // label followed at once by its own goto cannot loop for ever.
      for (int i = 0; i < c.action_count; i++) {
        if (c.actions[i].verb != SV_LABEL || c.actions[i].value != a.value) continue;
        if (++*jumps > MAX_SCRIPT_JUMPS) return false;
        c.current = i + 1 < c.action_count ? i + 1 : i;
        if (c.current == i) return true;
        return start_action(index, c, e, jumps);
      }
      return false;
    case SV_PLAY_ACTION:
    case SV_PLAY_MVF: {
      const Move_info* m = e->character ? charinfo_find_move(e->character, a.value) : nullptr;
      c.move_id = m ? e->play_move(m, 1.0f, false, true, next_is_synch(c, c.current) ? 1 : 0) : -1;
      return c.move_id >= 0;
    }
    case SV_DO_STATE:
      if (e->instance) e->instance->set_anim_weight(a.value, 1.0f);
      return true;
    case SV_COMBAT_MODE:
      // Combat-ready stands without its idle stance, as a ready-made
      // entity does; leaving it takes its own stance back.
      if (a.value == 1) {
        e->state |= ES_COMBAT_READY;
        e->stance_anim = 0;
      } else {
        e->state &= ~ES_COMBAT_READY;
        e->stance_anim = e->stance_anim_saved;
      }
      return true;
    case SV_PLAY_EFFECT:
      if (entity_effects().attach && a.name) entity_effects().attach(e, a.name, 0);
      return true;
    case SV_GUARD_SPLINE:
      if (a.value) return avoid_spline_find(e->handle) >= 0 || avoid_spline_register(e->handle);
      avoid_spline_release(e->handle);
      return true;
    case SV_ONE_HAND:
      if (Script_world.set_one_hand_stance) Script_world.set_one_hand_stance(e, a.value != 0);
      return true;
    case SV_FOLLOW: {
      const int leader = script_character_find(a.name);
      living_entity* l = leader >= 0 ? character_entity(Characters[leader]) : nullptr;
      if (!l) return false;
      if (a.value != -1) c.timer = timestamp_set(timer_game_clock, a.value * 1000);
      return ai_queue_add(&e->ai, 2, SCRIPT_ORDER_PRIORITY, 33, l->handle, nullptr, 'l', AI_NO_SPELL, 0.0f) >= 0;
    }
    default:
      return true;
  }
}

void advance(int index, ScriptCharacter& c, living_entity* e) {
  int jumps = 0;
  while (true) {
    c.current++;
    if (c.current >= c.action_count) {
      if (c.run_mode == 0) c.current = -1, c.idle = true;
      else if (c.run_mode == 1) c.run_mode = -1;
      else c.current = c.action_count - 1;
      return;
    }
    c.timer = 0;
    if (!start_action(index, c, e, &jumps)) {
      console_printf("Unable to start script entry %d for %s.  Try again in 5 seconds\n", c.current, c.name);
      c.current--;  // the step retries this action when the timer runs out
      c.timer = timestamp_set(timer_game_clock, RETRY_MS);
      c.retry = true;
      return;
    }
    if (c.run_mode == -1) return;
    // Verbs that finish at once let the next one start in the same step.
    const int v = c.actions[c.current].verb;
    if (v != SV_MOVE_THROUGH && v != SV_LABEL && v != SV_PASS_GO && v != SV_SHOW_HIDE && v != SV_PLAY_EFFECT &&
        v != SV_MOUNT_ANIM && v != SV_DISMOUNT_ANIM)
      return;
    if (jumps > MAX_SCRIPT_JUMPS) return;
    jumps++;
  }
}

}  // namespace

// --- navpoints --------------------------------------------------------------------------------

Navpoint* navpoint_find(const char* name) {
  if (!name) return nullptr;
  if (Navpoint* n = find_in(Level_navs, Num_level_navs, name)) return n;
  return find_in(Cutscene_navs, Num_cutscene_navs, name);
}

bool navpoint_get_position(const char* name, vector* pos, matrix* orient) {
  const Navpoint* n = navpoint_find(name);
  if (!n) return false;
  if (pos) *pos = n->pos;
  if (orient) *orient = heading_matrix(n->heading);
  return true;
}

Navpoint* navpoint_add(bool cutscene, const char* name, int type, int plane, const vector& pos, const matrix& orient) {
  Navpoint* table = cutscene ? Cutscene_navs : Level_navs;
  int& count = cutscene ? Num_cutscene_navs : Num_level_navs;
  const int capacity = cutscene ? MAX_CUTSCENE_NAVPOINTS : MAX_NAVPOINTS;
  // A later definition of a name replaces the earlier one.
  Navpoint* n = find_in(table, count, name ? name : "");
  if (!n) {
    if (count >= capacity) return nullptr;
    n = &table[count++];
  }
  *n = Navpoint{};
  copy_name(n->name, sizeof n->name, name);
  n->heading = heading_of(orient);
  n->pos = pos;
  n->plane = plane;
  n->type = type;
  n->level_item = -1;
  if (!ground_drop(*n, 2.0f, false) && cutscene && (type == NAV_LEVEL || type == NAV_CUTSCENE))
    console_printf("Couldn't collide navpoint %s with the ground -- chances are that\nit is below ground or above a "
                   "mesh not in a $layer set.\n",
                   n->name);
  if (plane >= 0 && n->plane < 0) n->plane = plane;
  return n;
}

void navpoint_add_from_node(const char* name, const vector& pos, const matrix& orient) {
  if (Num_level_navs >= MAX_NAVPOINTS) {
    console_printf("Navpoint %s refused: the level holds %d navpoints (MAX_NAVPOINTS)\n", name ? name : "",
                   MAX_NAVPOINTS);
    return;
  }
  Navpoint* n = find_in(Level_navs, Num_level_navs, name ? name : "");
  if (!n) n = &Level_navs[Num_level_navs++];
  *n = Navpoint{};
  copy_name(n->name, sizeof n->name, name);
  n->heading = heading_of(orient);
  n->pos = pos;
  n->plane = 0;
  n->type = NAV_LEVEL;
  n->level_item = -1;
  ground_drop(*n, 1.0f, true);
}

int navpoint_count(bool cutscene) { return cutscene ? Num_cutscene_navs : Num_level_navs; }
Navpoint* navpoint_at(bool cutscene, int index) {
  if (index < 0 || index >= navpoint_count(cutscene)) return nullptr;
  return cutscene ? &Cutscene_navs[index] : &Level_navs[index];
}
void navpoints_reset(bool cutscene) { (cutscene ? Num_cutscene_navs : Num_level_navs) = 0; }

bool level_find_player_starts() {
  if (Level_position.entry_index == -1) Level_position.entry_index = 1;
  char name[32];
  for (int k = 1; k <= 4; k++) {
    std::snprintf(name, sizeof name, "$player%d-%02d", Level_position.entry_index, k);
    const Navpoint* n = find_in(Level_navs, Num_level_navs, name);
    Level_position.start_navpoints[k - 1] = n ? static_cast<int32_t>(n - Level_navs) : -1;
  }
  if (Level_position.start_navpoints[0] < 0) {
    for (int k = 1; k <= 4; k++) {
      std::snprintf(name, sizeof name, "$player%02d", k);
      const Navpoint* n = find_in(Level_navs, Num_level_navs, name);
      Level_position.start_navpoints[k - 1] = n ? static_cast<int32_t>(n - Level_navs) : -1;
    }
  }
  if (Level_position.start_navpoints[0] < 0) {
    console_printf("Unable to locate player starts for level %s\n", Level_position.level);
    return false;
  }
  return true;
}

bool level_player_start(int slot, vector* pos, float* heading, int* plane) {
  if (slot < 0 || slot >= 4) return false;
  const int i = Level_position.start_navpoints[slot];
  if (i < 0 || i >= Num_level_navs) return false;
  const Navpoint& n = Level_navs[i];
  if (pos) *pos = n.pos;
  if (heading) *heading = n.heading;
  if (plane) *plane = n.plane < 0 ? 0 : n.plane;
  return true;
}

// --- triggers ---------------------------------------------------------------------------------

int level_trigger_count() { return Num_triggers; }
LevelTrigger* level_trigger_at(int i) { return i >= 0 && i < Num_triggers ? &Triggers[i] : nullptr; }

void level_triggers_check() {
  living_entity* hero = selected_hero();
  if (!hero) return;
  if (hero->handle != Hero_last_handle) {
    Hero_last_handle = hero->handle;
    Hero_last = hero->pos;
  }
  const vector from = Hero_last, to = hero->pos;
  Hero_last = hero->pos;
  if (Level_leave.current >= 0 || hero->ai.state == AI_STATE_COMBAT) return;
  const bool networked = game_is_networked();
  for (int i = 0; i < Num_triggers; i++) {
    LevelTrigger& t = Triggers[i];
    if (t.kind != TRIGGER_LOAD_LEVEL) continue;
    if (t.plane != -1 && t.plane != hero->layer) continue;
    if (((t.flags & TRIGGER_MULTI) != 0) != networked) continue;
    bool hit = false;
    vector back;
    if (t.shape == TRIGGER_SPLINE) {
      const vector d = to - from;
      const vector a = from - d * 0.3f, b = to + d * 0.3f;
      hit = (d.x != 0.0f || d.z != 0.0f) && segments_cross(a, b, t.seg[0], t.seg[1]);
      back = a;
    } else if (t.nav) {
      hit = dist2_xz(to, t.nav->pos) <= t.radius * t.radius;
      vector dir = to - t.nav->pos;
      dir.y = 0.0f;
      const float len = std::sqrt(dir.x * dir.x + dir.z * dir.z);
      dir = len > 0.0f ? dir * (1.0f / len) : vector(1, 0, 0);
      back = t.nav->pos + dir * (t.radius + 0.3f);
    }
    if (!hit) continue;
    if (t.flags & TRIGGER_DISABLED) {
      level_script_use_hook(t.ref_name);
      continue;
    }
    Level_leave.current = i;
    Level_leave.bits = 0;
    Level_leave.confirmed = false;
    Level_leave.step_back = back;
    const char* level = Level_position.level;
    if (!Level_is_town_script && level_script_info_lookup(level) != WORLDMAP_LEVEL_INDEX && !random_level_name(level)) {
      for (living_entity* e = entity_first(entity_live_list()); e; e = entity_next(entity_live_list(), e)) {
        if (e != hero && party_member(e) && dist2_xz(e->pos, hero->pos) > 100.0f) Level_leave.bits |= LEAVE_TOO_FAR;
        if ((e->type == OBJ_CREATURE || e->type == OBJ_BOSS) && e->ai.state == AI_STATE_COMBAT) {
          living_entity* target = entity_from_handle(e->ai.target);
          if (party_member(target) && dist2_xz(target->pos, e->pos) <= 400.0f) Level_leave.bits |= LEAVE_HOSTILES;
        }
      }
    }
    return;
  }
}

void level_leave_accept() {
  if (Level_leave.current < 0) return;
  if (Level_leave.bits) {
    level_leave_refuse();
    return;
  }
  Level_leave.confirmed = true;
}

void level_leave_refuse() {
  if (Level_leave.current < 0) return;
  if (living_entity* hero = selected_hero()) {
    hero->place_at_point(Level_leave.step_back, heading_of(hero->orient), hero->layer);
    ai_queue_clear(&hero->ai);
    ai_reset_to_idle(&hero->ai);
    Hero_last = hero->pos;
  }
  Level_leave = LevelLeave{};
}

void level_trigger_query(const vector& prev, const vector& cur, int* kind, int* index) {
  *kind = -1, *index = -1;
  const bool networked = game_is_networked();
  for (int i = 0; i < Num_triggers; i++) {
    LevelTrigger& t = Triggers[i];
    if ((t.flags & TRIGGER_DISABLED) || ((t.flags & TRIGGER_MULTI) != 0) != networked) continue;
    if (t.kind == TRIGGER_LOAD_LEVEL) continue;
    bool hit = false;
    if (t.shape == TRIGGER_SPLINE) {
      hit = segments_cross(prev, cur, t.seg[0], t.seg[1]);
    } else if (t.nav && (t.flags & TRIGGER_LOADED) && !(t.flags & TRIGGER_FIRED)) {
      hit = dist2_xz(cur, t.nav->pos) <= t.radius * t.radius;
      if (hit) t.flags |= TRIGGER_FIRED;
    }
    if (!hit) continue;
    console_printf("Tripped trigger:  %s\n", t.name);
    *kind = t.kind, *index = t.index;
    return;
  }
}

bool level_triggers_enable(const char* name, const char* script, bool enable) {
  bool any = false;
  for (int i = 0; i < Num_triggers; i++) {
    LevelTrigger& t = Triggers[i];
    if (!name || strcasecmp(t.name, name)) continue;
    if (script && strcasecmp(t.script, script)) continue;
    if (enable) t.flags &= ~TRIGGER_DISABLED;
    else t.flags |= TRIGGER_DISABLED;
    any = true;
  }
  if (!any && !enable) console_printf("Loadarea or table file trigger missing!\n");
  return any;
}

bool level_triggers_enable_by_reference(const char* ref_name, bool enable) {
  for (int i = 0; i < Num_triggers; i++) {
    LevelTrigger& t = Triggers[i];
    if (!ref_name || strcasecmp(t.ref_name, ref_name)) continue;
    if (enable) t.flags &= ~TRIGGER_DISABLED;
    else t.flags |= TRIGGER_DISABLED;
    return true;
  }
  console_printf("Loadarea or table file trigger missing!\n");
  return false;
}

// --- shopkeepers ------------------------------------------------------------------------------

ShopkeeperRecord* shopkeeper_find(const char* character) {
  for (int i = 0; character && i < Num_shopkeepers; i++)
    if (!strcasecmp(Shopkeepers[i].character, character)) return &Shopkeepers[i];
  return nullptr;
}
int shopkeeper_count() { return Num_shopkeepers; }
const ShopkeeperRecord* shopkeeper_at(int i) { return i >= 0 && i < Num_shopkeepers ? &Shopkeepers[i] : nullptr; }

// --- script characters ------------------------------------------------------------------------

int script_character_count() { return Num_characters; }
ScriptCharacter* script_character_at(int i) { return i >= 0 && i < Num_characters ? &Characters[i] : nullptr; }

int script_character_find(const char* name) {
  for (int i = 0; name && i < Num_characters; i++) {
    living_entity* e = entity_from_handle(Characters[i].entity);
    if (e && !strcasecmp(e->get_name(), name)) return i;
  }
  return -1;
}

int script_character_add(const char* name, int entity_handle, int run_mode) {
  if (Num_characters >= MAX_SCRIPT_CHARACTERS) {
    console_printf("Script character %s refused: the level holds %d (MAX_SCRIPT_CHARACTERS)\n", name ? name : "",
                   MAX_SCRIPT_CHARACTERS);
    return -1;
  }
  ScriptCharacter& c = Characters[Num_characters];
  c = ScriptCharacter{};
  copy_name(c.name, sizeof c.name, name);
  c.run_mode = run_mode;
  c.current = -1;
  c.move_id = -1;
  c.entity = entity_handle;
  return Num_characters++;
}

bool script_character_add_action(int character, const ScriptAction& action) {
  ScriptCharacter* c = script_character_at(character);
  if (!c || c->action_count >= MAX_SCRIPT_ACTIONS) return false;
  c->actions[c->action_count++] = action;
  return true;
}

void script_character_start(int character) {
  ScriptCharacter* c = script_character_at(character);
  living_entity* e = c ? character_entity(*c) : nullptr;
  if (!c || !e || c->action_count == 0) return;
  c->current = -1;
  c->paused = false;
  c->idle = false;
  advance(character, *c, e);
}

void script_character_pass_go(int character) {
  ScriptCharacter* c = script_character_at(character);
  if (!c) return;
  living_entity* e = character_entity(*c);
  if (e && c->current >= 0 && c->current < c->action_count) {
    const int v = c->actions[c->current].verb;
    if (v == SV_WANDER || v == SV_FOLLOW) {
      ai_queue_remove_type(&e->ai, v == SV_WANDER ? 9 : 2);
      advance(character, *c, e);
      return;
    }
  }
  c->go = true;
}

bool script_character_goto(int character, int label) {
  ScriptCharacter* c = script_character_at(character);
  living_entity* e = c ? character_entity(*c) : nullptr;
  if (!c || !e || c->run_mode == -1) return false;
  int at = -1;
  for (int i = 0; i < c->action_count && at < 0; i++)
    if (c->actions[i].verb == SV_LABEL && c->actions[i].value == label) at = i;
  if (at < 0) return false;
  // The orders of the action it leaves would otherwise carry it on.
  if (c->current >= 0 && c->current < c->action_count) {
    switch (c->actions[c->current].verb) {
      case SV_WALK_TO: case SV_RUN_TO: ai_queue_remove_type(&e->ai, 12); break;
      case SV_WANDER: case SV_WANDER_FOR: ai_queue_remove_type(&e->ai, 9); break;
      case SV_FOLLOW: ai_queue_remove_type(&e->ai, 2); break;
      default: break;
    }
  }
  c->current = at;
  c->timer = 0;
  c->retry = false;
  c->paused = false;
  c->idle = false;
  advance(character, *c, e);
  return true;
}

void script_characters_restart() {
  for (int i = 0; i < Num_characters; i++) {
    ScriptCharacter& c = Characters[i];
    if (c.run_mode == -1 && !entity_from_handle(c.entity)) continue;
    c.run_mode = 0;
    c.go = false;
    c.retry = false;
    c.move_id = -1;
    for (int k = 0; k < c.action_count; k++)
      if (c.actions[k].verb == SV_DIE) c.run_mode = 1;
    c.current = -1;
    c.timer = 0;
    c.idle = false;
  }
}

namespace {

void step_characters(bool cutscene) {
  for (int i = 0; i < Num_characters; i++) {
    ScriptCharacter& c = Characters[i];
    if (c.cutscene != cutscene || c.run_mode == -1 || c.paused || c.idle) continue;
    living_entity* e = character_entity(c);
    if (!e) {
      c.run_mode = -1;
      continue;
    }
    if (ai_hooks().is_busy && ai_hooks().is_busy(&e->ai)) continue;
    if (e->get_mount()) continue;
    if (c.timer && !timestamp_elapsed(c.timer, timer_game_clock)) continue;
    if (c.retry) {
      c.retry = false;
      advance(i, c, e);
      continue;
    }
    if (!action_complete(c, e)) continue;
    if (c.current >= 0 && c.current < c.action_count && c.actions[c.current].verb == SV_WAIT_FOR_GO) c.go = false;
    advance(i, c, e);
  }
}

}  // namespace

void script_characters_step() { step_characters(false); }
void cutscene_characters_step() { step_characters(true); }

void script_characters_skip_to_synch(int synch) {
  for (int i = 0; i < Num_characters; i++) {
    ScriptCharacter& c = Characters[i];
    if (c.run_mode == -1) continue;
    living_entity* e = character_entity(c);
    if (!e) continue;
    int to = -1;
    for (int k = 0; k < c.action_count && to < 0; k++)
      if ((c.actions[k].verb == SV_SYNCH || c.actions[k].verb == SV_SYNCH_TELEPORT) && c.actions[k].value == synch)
        to = k;
    if (to < 0) continue;
    // What it was doing stops where it is.
    if (c.current >= 0 && c.current < c.action_count &&
        (c.actions[c.current].verb == SV_PLAY_ACTION || c.actions[c.current].verb == SV_PLAY_MVF)) {
      if (e->instance) e->instance->reset_anims();
      e->current_move = nullptr;
      e->current_move_id = -1;
      c.move_id = -1;
    }
    ai_queue_clear(&e->ai);
    ai_reset_to_idle(&e->ai);
    const ScriptAction& a = c.actions[to];
    if (a.verb == SV_SYNCH_TELEPORT && a.nav)
      e->place_at_navpoint(a.nav->pos, a.nav->heading, a.nav->plane < 0 ? 0 : a.nav->plane);
    c.current = to;
    c.timer = 0;
    c.retry = false;
    c.idle = false;
    advance(i, c, e);
  }
}

// --- the level's tables -----------------------------------------------------------------------

void script_runner_reset() {
  Level_leave = LevelLeave{};
  Num_triggers = Num_shopkeepers = Num_shop_pairs = Num_characters = 0;
  Num_level_effects = Num_level_items = 0;
  Level_is_town_script = false;
  if (Strings.capacity() == 0) Strings.alloc(STRING_POOL_SIZE);
  Strings.reset();
  Hero_last_handle = -1;
}

void script_read_navpoints(ParseContext& pc, bool cutscene) { read_navpoints(pc, cutscene); }
void script_read_object(ParseContext& pc, ScriptObjectHook placed) { read_character(pc, placed, true); }

void demo_script_table_read_text(const char* filename, const char* text, int length) {
  read_text(filename, text, length, read_demo_script);
}
void level_data_table_read_text(const char* filename, const char* text, int length) {
  read_text(filename, text, length, read_level_data);
}
void level_items_read_text(const char* filename, const char* text, int length) {
  read_text(filename, text, length, read_level_items);
}

bool script_read_level_data() {
  if (!Level_script_restarting) {
    script_runner_reset();
    clicks_reset();
    ambient_sounds_clear();
    level_automap_release();
  }
  Level_leave = LevelLeave{};
  char file[64];
  // The script name is shortened so the suffix fits the game's 32.
  std::snprintf(file, sizeof file, "%.16s_demoscript.tbl", Level_position.script[0] ? Level_position.script
                                                                                     : Level_position.level);
  read_file(file, read_demo_script);
  if (Level_position.level[0] && !read_file("level_items.tbl", read_level_items))
    console_printf("level_items.tbl not found\n");
  level_items_place();
  if (!Level_script_restarting) {
    std::snprintf(file, sizeof file, "demo_%s.tbl", Level_position.level);
    read_file(file, read_level_data);
  }
  console_printf("Level script string pool usage: %d bytes\n", Strings.used());
  if (!Level_script_restarting) level_effects_start();
  const bool starts = level_find_player_starts();
  avoid_splines_reset();
  return starts;
}

void level_effects_start() {
  const EntityEffectHooks& w = entity_effects();
  for (int i = 0; i < Num_level_effects; i++) {
    LevelEffectEntry& e = Level_effects[i];
    e.handle = w.place ? w.place(e.file, vector(0, 0, 0)) : -1;
  }
}

void level_effects_kill(bool restarting) {
  const EntityEffectHooks& w = entity_effects();
  for (int i = 0; i < Num_level_effects; i++) {
    LevelEffectEntry& e = Level_effects[i];
    // A "once" effect plays out by itself; a restart resets them all.
    if (e.handle < 0 || (e.once && !restarting)) continue;
    if (w.kill && (!w.alive || w.alive(e.handle))) w.kill(e.handle);
    e.handle = -1;
  }
  if (!restarting) Num_level_effects = 0;
}

int level_effect_count() { return Num_level_effects; }
const LevelEffectEntry* level_effect_at(int i) { return i >= 0 && i < Num_level_effects ? &Level_effects[i] : nullptr; }
int level_item_count() { return Num_level_items; }
const LevelItemEntry* level_item_at(int i) { return i >= 0 && i < Num_level_items ? &Level_items[i] : nullptr; }

// --- console ------------------------------------------------------------------------------------

CONSOLE_BOOL_SWITCH(cc_dont_load_fx, "dont_load_fx", "Toggles Dont_load_fx", Dont_load_fx);
CONSOLE_BOOL_SWITCH(cc_no_cutscenes, "No_cutscenes", "Toggles No_cutscenes", No_cutscenes);

static ConsoleCommand cc_dcamera("dcamera", "Change the dialog camera options.", [] {
  if (!Console_run) return;
  console_get_arg(ARG_INT | ARG_NONE);
  if (!(Console_arg.type & ARG_INT) || Console_arg.int_value < 0 || Console_arg.int_value > 2) {
    console_printf("Usage: 0 -- always zoom, 1 -- never zoom, 2 -- zoom only on important characters\n");
    return;
  }
  Dialogue_camera_mode = Console_arg.int_value;
});

// Where each script character stands and what it does (tests sample it).
static ConsoleCommand cc_script_characters("script_characters", "Prints each script character's place and action", [] {
  if (!Console_run) return;
  for (int i = 0; i < Num_characters; i++) {
    const ScriptCharacter& c = Characters[i];
    living_entity* e = entity_from_handle(c.entity);
    const int v = c.current >= 0 && c.current < c.action_count ? c.actions[c.current].verb : -1;
    console_printf("Script character %s at %.3f %.3f %.3f action %d %s\n", c.name, e ? e->pos.x : 0.0f,
                   e ? e->pos.y : 0.0f, e ? e->pos.z : 0.0f, c.current, v >= 0 ? Script_verb_names[v] : "none");
  }
});

// --- replaced equipment ------------------------------------------------------------------

int script_replaced_item_count() { return Num_replaced; }

void script_replaced_items_restore() {
  for (int i = 0; i < Num_replaced; i++) {
    living_entity* e = entity_from_handle(Replaced[i].entity);
    if (!e) {
      item_free(Replaced[i].item);
      continue;
    }
    // What the cutscene put in that slot goes.
    item_instance *out1 = nullptr, *out2 = nullptr;
    entity_equip_item(&out1, &out2, e, equipment_slot_of(Replaced[i].kind), Replaced[i].item);
    if (e->equipment[equipment_slot_of(Replaced[i].kind)] != Replaced[i].item) item_free(Replaced[i].item);
    if (out1) item_free(out1);
    if (out2) item_free(out2);
  }
  Num_replaced = 0;
}

// --- automap maps ---------------------------------------------------------------------------

int level_automap_map_count() { return Num_automap_maps; }
int level_automap_bitmap(int map) { return map >= 1 && map <= Num_automap_maps ? Automap_bitmaps[map - 1] : -1; }
int level_automap_zone_map(int zone) { return zone >= 0 && zone < MAX_AUTOMAP_MAPS ? Automap_zone_maps[zone] : -1; }

void level_automap_release() {
  for (int& b : Automap_bitmaps) {
    if (b >= 0 && Script_world.automap_bitmap_release) Script_world.automap_bitmap_release(b);
    b = -1;
  }
  for (int& z : Automap_zone_maps) z = -1;
  Num_automap_maps = 0;
}
