#include "levelscripts/level_flags.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "Engine/gameflags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"

uint8_t Savegame_no_save_latch = 0;

namespace {

uint32_t Declared[MAX_DECLARED_NAMES];
int Declared_used = 0;
int Automap_layers[NUM_LEVEL_SCRIPTS];

QuestRecord Quests[MAX_QUESTS];
int Num_quests = 0;
StringPool Quest_text;

// Names already reported as undeclared, so a script that asks every frame
// reports once.
std::set<std::pair<int, uint32_t>>& reported() {
  static std::set<std::pair<int, uint32_t>> names;
  return names;
}

bool level_valid(int level) { return level >= 0 && level < NUM_LEVEL_SCRIPTS; }

void report_unknown(const char* kind, int level, const char* name) {
  uint32_t sum = name_checksum(name);
  if (!reported().insert({level, sum}).second) return;
  const char* lname = level_valid(level) ? Level_scripts[level].name : "(no level)";
  console_printf("Unknown %s \"%s\" in level %s: it is not declared in demo_events.tbl\n", kind, name ? name : "",
                 lname);
  std::fprintf(stderr, "Unknown %s \"%s\" in level %s: it is not declared in demo_events.tbl\n", kind,
               name ? name : "", lname);
}

int find_in(const uint32_t* sums, int count, uint32_t sum) {
  for (int i = 0; i < count; i++)
    if (sums[i] == sum) return i;
  return -1;
}

// The level's data area, null before layout or without declarations.
uint8_t* level_area(int level) {
  if (!level_valid(level) || !Save_image.buffer) return nullptr;
  const SaveLevelRecord& r = Save_image.levels[level];
  if (r.size <= 0) return nullptr;
  return Save_image.buffer + r.offset;
}

bool bit_get(const uint8_t* area, int bit) { return (area[bit >> 3] >> (bit & 7)) & 1; }
void bit_put(uint8_t* area, int bit, bool on) {
  if (on) area[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
  else area[bit >> 3] &= static_cast<uint8_t>(~(1u << (bit & 7)));
}

// Byte offset of the level's values: behind the flag and automap bits.
int values_offset(int level) {
  const SaveLevelRecord& r = Save_image.levels[level];
  return (r.flag_count + r.automap_bits + 7) / 8;
}

int flag_index(int level, uint32_t sum) {
  const LevelScriptInfo& l = Level_scripts[level];
  return find_in(l.flag_checksums, l.flag_count, sum);
}

bool any_level_declares(uint32_t sum, bool ints) {
  for (const LevelScriptInfo& l : Level_scripts) {
    if (ints ? find_in(l.int_checksums, l.int_count, sum) >= 0 : find_in(l.flag_checksums, l.flag_count, sum) >= 0)
      return true;
  }
  return false;
}
bool any_level_declares_float(uint32_t sum) {
  for (const LevelScriptInfo& l : Level_scripts)
    if (find_in(l.float_checksums, l.float_count, sum) >= 0) return true;
  return false;
}

void clear_declarations() {
  for (LevelScriptInfo& l : Level_scripts) {
    l.flag_count = l.int_count = l.float_count = 0;
    l.flag_checksums = l.int_checksums = l.float_checksums = nullptr;
  }
  Declared_used = 0;
  Num_quests = 0;
  std::memset(Quests, 0, sizeof Quests);
  if (Quest_text.capacity() == 0) Quest_text.alloc(QUEST_TEXT_POOL_SIZE);
  Quest_text.reset();
  reported().clear();
}

uint32_t* reserve(ParseContext& pc, int n) {
  if (n > MAX_DECLARED_NAMES - Declared_used) pc.error("at most MAX_DECLARED_NAMES (8192) declared names");
  uint32_t* p = Declared + Declared_used;
  Declared_used += n;
  return p;
}

// Counts the level's entries of each kind up to the next level or the end.
void count_entries(ParseContext& pc, int* flags, int* ints, int* floats) {
  ParsePos start;
  pc.save_pos(start);
  *flags = *ints = *floats = 0;
  char name[PARSE_MAX_NAME_LEN + 1];
  for (;;) {
    if (pc.optional_string("+Flag:")) ++*flags;
    else if (pc.optional_string("+Int:")) ++*ints;
    else if (pc.optional_string("+Float:")) ++*floats;
    else break;
    pc.read_string(name, sizeof name);
  }
  pc.restore_pos(start);
}

void read_quests(ParseContext& pc) {
  char text[2048];
  while (!pc.optional_string("#End")) {
    pc.require_string("$Quest:");
    if (Num_quests == MAX_QUESTS) pc.error("at most MAX_QUESTS (200) quests");
    QuestRecord& q = Quests[Num_quests++];
    q.invalidating_entry = -1;
    pc.read_string(text, sizeof text);
    q.name = Quest_text.add(text);
    q.side_quest = pc.optional_string("+Main quest") ? 0 : 1;
    for (;;) {
      if (pc.optional_string("+Invalidate:")) {
        if (q.stage_count == MAX_QUEST_STAGES) pc.error("at most 12 stage entries per quest");
        pc.read_string(text, sizeof text);
        q.invalidating_entry = static_cast<int8_t>(q.stage_count);
        q.stages[q.stage_count++] = {nullptr, name_checksum(text)};
        break;
      }
      if (!pc.optional_string("+Stage:")) break;
      if (q.stage_count == MAX_QUEST_STAGES) pc.error("at most 12 stage entries per quest");
      pc.read_string(text, sizeof text);
      QuestStage& s = q.stages[q.stage_count++];
      s.text = Quest_text.add(text);
      s.flag = 0;
      if (pc.optional_string("+Flag:")) {
        pc.read_string(text, sizeof text);
        s.flag = name_checksum(text);
      }
    }
  }
}

void read_demo_events(ParseContext& pc) {
  clear_declarations();
  char name[PARSE_MAX_NAME_LEN + 1];
  while (!pc.optional_string("#End")) {
    pc.require_string("$Level:");
    pc.read_string(name, sizeof name);
    int level = level_script_info_lookup(name);
    if (level < 0) {
      // The rest of the file, its quests too, stays undeclared: say so.
      console_printf("demo_events.tbl: unknown level \"%s\" (line %d): the rest of the file is not read\n", name,
                     pc.line());
      return;
    }
    int nf, ni, nfl;
    count_entries(pc, &nf, &ni, &nfl);
    LevelScriptInfo& l = Level_scripts[level];
    uint32_t* flags = reserve(pc, nf);
    uint32_t* ints = reserve(pc, ni);
    uint32_t* floats = reserve(pc, nfl);
    // A second "$Level:" of the same level starts its lists again.
    l.flag_checksums = flags, l.int_checksums = ints, l.float_checksums = floats;
    l.flag_count = l.int_count = l.float_count = 0;
    for (;;) {
      int kind;
      if (pc.optional_string("+Flag:")) kind = 0;
      else if (pc.optional_string("+Int:")) kind = 1;
      else if (pc.optional_string("+Float:")) kind = 2;
      else break;
      pc.read_string(name, sizeof name);
      uint32_t sum = name_checksum(name);
      if (kind == 0) {
        if (!any_level_declares(sum, false)) flags[l.flag_count++] = sum;
      } else if (kind == 1) {
        if (!any_level_declares(sum, true)) ints[l.int_count++] = sum;
      } else {
        // Floats are unique among floats: a float never hides behind an int.
        if (!any_level_declares_float(sum)) floats[l.float_count++] = sum;
      }
    }
  }
  read_quests(pc);
}

int read_automap_layers(ParseContext& pc) {
  if (!pc.find_string("#Automap")) return 0;
  pc.require_string("#Automap");
  int layers = 0;
  char text[PARSE_MAX_NAME_LEN + 1];
  for (;;) {
    bool pc_entry = pc.optional_string("$AutomapPC:");
    if (!pc_entry && !pc.optional_string("$AutomapPSX:")) break;
    pc.read_string(text, sizeof text);
    int n = pc.read_int();
    pc.read_string(text, sizeof text);
    if (pc_entry && n > layers) layers = n;
  }
  return layers;
}

// Forwarders from the world systems' view of named values into the image.
int backend_int_get(int level, const char* name);
void backend_int_set(int level, const char* name, int value);
bool backend_flag_get(int level, const char* name);
void backend_flag_set(int level, const char* name, bool value);
const SavedNamesBackend Backend = {backend_int_get, backend_int_set, backend_flag_get, backend_flag_set};

int int_slot(int level, const char* name, const char* kind) {
  if (!level_valid(level) || !name) return -1;
  const LevelScriptInfo& l = Level_scripts[level];
  int i = find_in(l.int_checksums, l.int_count, name_checksum(name));
  if (i < 0) report_unknown(kind, level, name);
  return i;
}

int backend_int_get(int level, const char* name) {
  int i = int_slot(level, name, "integer");
  uint8_t* area = level_area(level);
  if (i < 0 || !area) return 0;
  return static_cast<int32_t>(save_get_u32(area + values_offset(level) + 4 * i));
}

void backend_int_set(int level, const char* name, int value) {
  int i = int_slot(level, name, "integer");
  uint8_t* area = level_area(level);
  if (i < 0 || !area) return;
  save_put_u32(area + values_offset(level) + 4 * i, static_cast<uint32_t>(value));
}

bool backend_flag_get(int level, const char* name) {
  if (!level_valid(level) || !name) return false;
  uint32_t sum = name_checksum(name);
  if (flag_index(level, sum) < 0) {
    report_unknown("flag", level, name);
    return false;
  }
  return level_flag_get_checksum(level, sum);
}

void backend_flag_set(int level, const char* name, bool value) {
  if (!level_valid(level) || !name) return;
  uint32_t sum = name_checksum(name);
  int i = flag_index(level, sum);
  uint8_t* area = level_area(level);
  if (i < 0) {
    report_unknown("flag", level, name);
    return;
  }
  if (!area) return;
  bit_put(area, i, value);
  if (value) quests_evaluate(sum);
  if (Script_world.refresh_level_items) Script_world.refresh_level_items();
  if (Script_world.refresh_script_characters) Script_world.refresh_script_characters();
}

int float_slot(int level, const char* name) {
  if (!level_valid(level) || !name) return -1;
  const LevelScriptInfo& l = Level_scripts[level];
  int i = find_in(l.float_checksums, l.float_count, name_checksum(name));
  if (i < 0) report_unknown("float", level, name);
  return i;
}

}  // namespace

void demo_events_load_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  read_demo_events(pc);
  saved_names_set_backend(&Backend);
}

int automap_layer_count_from_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  return read_automap_layers(pc);
}

void level_flags_init() {
  clear_declarations();
  {
    ParseContext pc;
    if (pc.open("demo_events.tbl", Tables_path_type) == 0) read_demo_events(pc);
    else console_printf("No demo_events.tbl: no named flags, integers or quests\n");
  }
  for (int i = 0; i < NUM_LEVEL_SCRIPTS; i++) {
    Automap_layers[i] = 0;
    char name[64];
    std::snprintf(name, sizeof name, "demo_%s.tbl", Level_scripts[i].name);
    ParseContext pc;
    if (pc.open(name, Level_tables_path_type) == 0) Automap_layers[i] = read_automap_layers(pc);
  }
  saved_names_set_backend(&Backend);
}

float level_float_get(int level, const char* name) {
  int i = float_slot(level, name);
  uint8_t* area = level_area(level);
  if (i < 0 || !area) return 0.0f;
  const SaveLevelRecord& r = Save_image.levels[level];
  uint32_t bits = save_get_u32(area + values_offset(level) + 4 * (r.int_count + i));
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

void level_float_set(int level, const char* name, float value) {
  int i = float_slot(level, name);
  uint8_t* area = level_area(level);
  if (i < 0 || !area) return;
  const SaveLevelRecord& r = Save_image.levels[level];
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  save_put_u32(area + values_offset(level) + 4 * (r.int_count + i), bits);
}

bool level_automap_bit_get(int level, int bit) {
  uint8_t* area = level_area(level);
  if (!area || bit < 0 || bit >= Save_image.levels[level].automap_bits) return false;
  return bit_get(area, Save_image.levels[level].flag_count + bit);
}

void level_automap_bit_set(int level, int bit, bool on) {
  uint8_t* area = level_area(level);
  if (!area || bit < 0 || bit >= Save_image.levels[level].automap_bits) return;
  bit_put(area, Save_image.levels[level].flag_count + bit, on);
}

bool level_flag_get_checksum(int level, uint32_t checksum) {
  if (!level_valid(level)) return false;
  int i = flag_index(level, checksum);
  uint8_t* area = level_area(level);
  if (i < 0 || !area) return false;
  return bit_get(area, i);
}

bool flag_get_any_level(uint32_t checksum) {
  for (int level = 0; level < NUM_LEVEL_SCRIPTS; level++)
    if (flag_index(level, checksum) >= 0) return level_flag_get_checksum(level, checksum);
  return false;
}

int level_visit_count(int level) {
  if (!level_valid(level) || !Save_image.buffer) return 0;
  return static_cast<int32_t>(save_get_u32(save_section(SEC_LEVEL_DATA) + 4 * level));
}

void level_visit_count_set(int level, int n) {
  if (!level_valid(level) || !Save_image.buffer) return;
  save_put_u32(save_section(SEC_LEVEL_DATA) + 4 * level, static_cast<uint32_t>(n));
}

void level_visit_count_increment(int level) { level_visit_count_set(level, level_visit_count(level) + 1); }

int quest_count() { return Num_quests; }
const QuestRecord* quest_get(int index) { return index >= 0 && index < Num_quests ? &Quests[index] : nullptr; }

bool quest_is_active(int index) {
  if (index < 0 || index >= MAX_QUESTS || !Save_image.buffer) return false;
  return bit_get(save_section(SEC_QUEST_FLAGS), index);
}

void quest_set_active(int index, bool on) {
  if (index < 0 || index >= MAX_QUESTS || !Save_image.buffer) return;
  bit_put(save_section(SEC_QUEST_FLAGS), index, on);
}

void quests_evaluate(uint32_t checksum) {
  console_printf("Evaluating quests!\n");
  for (int i = 0; i < Num_quests; i++) {
    const QuestRecord& q = Quests[i];
    if (q.invalidating_entry < 0 || q.stages[q.invalidating_entry].flag != checksum) continue;
    console_printf("INVALIDATING QUEST!\n");
    quest_set_active(i, false);
  }
}

int level_declared_flags(int level) { return level_valid(level) ? Level_scripts[level].flag_count : 0; }
int level_declared_ints(int level) { return level_valid(level) ? Level_scripts[level].int_count : 0; }
int level_declared_floats(int level) { return level_valid(level) ? Level_scripts[level].float_count : 0; }
int level_automap_layers(int level) { return level_valid(level) ? Automap_layers[level] : 0; }

// --- game stages ---------------------------------------------------------------

namespace {

bool flag_in(const char* level, const char* name) {
  return level_flag_get(level_script_info_lookup(level), name);
}
void set_flag_in(const char* level, const char* name) {
  level_flag_set(level_script_info_lookup(level), name, true);
}

enum { HERO_RUVIZO = 0, HERO_ZAZURU = 1, HERO_RIVUD = 2, HERO_RIVADARA = 3 };
bool Hero_joined[4];

bool restoring() { return Script_world.level_start_restoring && Script_world.level_start_restoring(); }

void join(int hero) {
  if (Hero_joined[hero] || restoring()) return;
  Hero_joined[hero] = true;
  if (Script_world.hero_join) Script_world.hero_join(hero);
}

struct StageReward {
  int level;
  const char* ring;
};
// Index = stage.
const StageReward Rewards[23] = {
    {0, nullptr},   {5, nullptr},  {7, "Ring of Darkness"},   {7, nullptr},        {9, "Ring of Light"},
    {10, nullptr},  {11, "Ring of Stone"}, {12, "Ring of Fire"}, {12, nullptr},     {14, nullptr},
    {15, nullptr},  {17, nullptr}, {18, "Ring of Water"},    {19, "Ring of Four Winds"}, {20, "Ring of Forest"},
    {21, "Ring of Jade"}, {21, nullptr}, {21, nullptr},      {22, nullptr},        {23, nullptr},
    {24, nullptr},  {24, nullptr}, {30, nullptr},
};

void apply_stage_flags(int s) {
  switch (s) {
    case 1: set_flag_in("thalem1c", "thalem1c_flag_found_rivud"); join(HERO_RIVUD); break;
    case 2:
      set_flag_in("sewer", "sewer_grate_open");
      set_flag_in("sewer", "sewer_found_tb");
      set_flag_in("LPalaceInt", "got_ring_of_darkness");
      set_flag_in("LPalaceInt", "lpalaceint_tessam_found");
      break;
    case 3: set_flag_in("OdrinExt", "odrin_ext_found_rivadara"); join(HERO_RIVADARA); break;
    case 4: set_flag_in("Catacombs", "got_ring_of_light"); break;
    case 5: join(HERO_ZAZURU); break;
    case 6:
      if (!flag_in("KhosaniLab", "got_ring_of_fire")) set_flag_in("IkaemosTopInt", "got_ring_of_stone");
      break;
    case 7:
    case 8:
      set_flag_in("KhosaniLab", "got_ring_of_fire");
      set_flag_in("IkaemosTopInt", "got_ring_of_stone");
      if (s == 8) set_flag_in("tancredhouse", "found_galienne");
      break;
    case 9: set_flag_in("tancredhouse", "found_galienne"); break;
    case 10:
      set_flag_in("tancredhouse", "found_galienne");
      set_flag_in("eleh", "found_ruvizo");
      break;
    case 11:
      set_flag_in("eleh", "found_ruvizo");
      set_flag_in("Vozido", "found_rivadara2");
      break;
    case 12: set_flag_in("VozidoCaverns", "got_ring_of_water"); break;
    case 13: set_flag_in("Vozido2", "got_ring_of_wind"); break;
    case 14: set_flag_in("Shenwu", "got_ring_of_forest"); break;
    case 15: set_flag_in("jadetemple", "got_ring_of_jade"); break;
    case 16: set_flag_in("OdrinExt02", "found_tessam"); break;
    case 17:
      set_flag_in("OdrinExt02", "found_tessam");
      set_flag_in("LPalaceInt02", "got_scrolls");
      break;
    case 18: set_flag_in("KhosaniLab2", "trapped_pyrul"); break;
    case 19:
      if (!flag_in("OdrinExt02", "trapped_deviziv")) set_flag_in("IkaemosBottomInt2", "trapped_titus");
      break;
    case 20:
      set_flag_in("IkaemosBottomInt2", "trapped_titus");
      set_flag_in("OdrinExt02", "trapped_deviziv");
      break;
    case 21:
    case 22: set_flag_in("KhosaniStrng", "ready_for_end"); break;
    default: break;
  }
}

}  // namespace

void set_game_stage(int stage) {
  if (game_is_networked() || stage < 1 || stage > 22) return;
  for (int s = stage; s >= 1; s--) apply_stage_flags(s);
  if (restoring()) return;
  // Raises from the highest level down, then the rings of every stage reached.
  for (int s = stage; s >= 1; s--)
    if (Script_world.party_raise_to_level) Script_world.party_raise_to_level(Rewards[s].level);
  for (int s = 1; s <= stage; s++)
    if (Rewards[s].ring && Script_world.party_gain_item) Script_world.party_gain_item(Rewards[s].ring);
}

int judge_game_stage() {
  if (flag_in("KhosaniStrng", "ready_for_end")) return 21;
  bool titus = flag_in("IkaemosBottomInt2", "trapped_titus");
  bool deviziv = flag_in("OdrinExt02", "trapped_deviziv");
  if (titus && deviziv) return 20;
  if (titus || deviziv) return 19;
  if (flag_in("KhosaniLab2", "trapped_pyrul")) return 18;
  if (flag_in("LPalaceInt02", "got_scrolls")) return 17;
  if (flag_in("OdrinExt02", "found_tessam")) return 16;
  if (flag_in("jadetemple", "got_ring_of_jade")) return 15;
  if (flag_in("Shenwu", "got_ring_of_forest")) return 14;
  if (flag_in("Vozido2", "got_ring_of_wind")) return 13;
  if (flag_in("VozidoCaverns", "got_ring_of_water")) return 12;
  if (flag_in("Vozido", "found_rivadara2")) return 11;
  if (flag_in("eleh", "found_ruvizo")) return 10;
  if (flag_in("TempleInt", "act2_done")) return 9;
  if (flag_in("tancredhouse", "found_galienne")) return 8;
  bool fire = flag_in("KhosaniLab", "got_ring_of_fire");
  bool stone = flag_in("IkaemosTopInt", "got_ring_of_stone");
  if (fire && stone) return 7;
  if (fire || stone) return 6;
  if (flag_in("LPalaceInt", "found_zazuru")) return 5;
  if (flag_in("Catacombs", "got_ring_of_light")) return 4;
  if (flag_in("OdrinExt", "odrin_ext_found_rivadara")) return 3;
  if (flag_in("LPalaceInt", "got_ring_of_darkness")) return 2;
  if (flag_in("thalem1c", "thalem1c_flag_found_rivud")) return 1;
  return 0;
}

void game_stage_reset_joins() {
  for (bool& j : Hero_joined) j = false;
}

int savegame_allowed_check() {
  if (Savegame_no_save_latch) return SAVE_IN_COMBAT;
  if (Script_world.summon_emerging && Script_world.summon_emerging()) return SAVE_SUMMONING;
  if (Script_world.party_in_combat && Script_world.party_in_combat()) return SAVE_IN_COMBAT;
  int level = Level_script_current >= 0 ? Level_script_current : level_script_info_lookup(Level_position.level);
  if (level < 0) return SAVE_NOT_HERE;
  const char* name = Level_scripts[level].name;
  auto is = [name](const char* n) { return std::strcmp(name, n) == 0; };
  if (is("KhosaniLab")) return flag_in("KhosaniLab", "room8") ? SAVE_ALLOWED : SAVE_NOT_HERE;
  if (is("KhosaniLab2") && flag_in("KhosaniLab2", "pyrulstart")) return SAVE_NOT_HERE;
  if (is("jadetemple") && flag_in("jadetemple", "got_laharah_spirit")) return SAVE_NOT_HERE;
  if (is("TempleInt2") && flag_in("TempleInt2", "mach_intro")) return SAVE_NOT_HERE;
  return SAVE_ALLOWED;
}

void savegame_no_save_reset() { Savegame_no_save_latch = 0; }

static ConsoleCommand cc_gamestage("gamestage", "Sets the game stage (1-22) or shows the stage the flags tell", [] {
  if (Console_run) {
    console_get_arg(ARG_INT | ARG_NONE);
    if (Console_arg.type & ARG_INT) set_game_stage(Console_arg.int_value);
  }
  if (Console_help) console_printf("Usage: gamestage [stage]\nSets the flags, party and rings of a stage 1-22.\n");
  if (Console_status) console_printf("Game stage is %d\n", judge_game_stage());
});
