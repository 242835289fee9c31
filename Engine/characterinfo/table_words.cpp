#include "Engine/characterinfo/table_words.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "quarn/vfile/path_types.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

const char* const Hero_names[NUM_HEROES] = {"Ruvizo", "Zazuru", "Rivud", "Rivadara"};

const char* const Damage_type_names[NUM_DAMAGE_TYPES] = {"fire",     "ice",      "energy", "magic",
                                                          "slashing", "piercing", "blunt"};

const char* const Resist_level_names[NUM_RESIST_LEVELS] = {"weak",   "vulnerable",   "standard",
                                                           "strong", "invulnerable", "strengthen"};

float charinfo_resistance_factor(int level) {
  static const float factors[NUM_RESIST_LEVELS] = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 1.5f};
  return (level >= 0 && level < NUM_RESIST_LEVELS) ? factors[level] : 0.0f;
}

const char* const Move_list_names[NUM_NAMED_MOVE_LISTS] = {
    "attack", "special attack", "parry", "dodge",  "flinch",         "non-combat flinch", "death", "cast",
    "movement", "misc",         "transition", "ranged attack", "emerge", "banish", "state"};

const char* const Weapon_class_names[NUM_WEAPON_CLASSES] = {
    "none", "swords", "large swords", "maces", "staves", "pole arms", "bows", "crossbows", "daggers"};

const char* const Material_names[NUM_MATERIALS] = {
    "default", "flesh", "leather", "stone",  "wood",   "bone",   "fire",      "water",     "gas",
    "ice",     "copper", "gold",   "bronze", "iron",   "silver", "admantium", "quorvanite"};

const char* const Prop_slot_names[NUM_PROP_SLOTS] = {
    "primary hand",      "secondary hand",    "luggage swords", "luggage maces",    "luggage large swords",
    "luggage staves",    "luggage pole arms", "luggage bows",   "luggage crossbows", "luggage daggers",
    "luggage 1",         "tiger spear01",     "tiger spear02",  "tiger spear03",    "tiger spear04",
    "shield"};

const char* const Trigger_type_names[NUM_TRIGGER_TYPES] = {
    nullptr,        "generic",      "generic 1",  "generic 2",  "generic 3",       "generic 4",  "critical end",
    "impact start", "impact end",   "no interrupt", "swap prop", "start skin anim", "left-foot", "right-foot"};

const char* const Location_names[NUM_LOCATIONS] = {nullptr, "low", "medium", "high"};

// Entries 41-128, 131-139 and 167-193 are the project's own names; the
// numbered and fixed ones keep their places because spells, code and tables
// refer to them by number.
const char* const Variation_names[NUM_VARIATIONS] = {
    nullptr,
    "variation 1", "variation 2", "variation 3", "variation 4", "variation 5", "variation 6", "variation 7",
    "variation 8", "variation 9", "variation 10", "variation 11", "variation 12", "variation 13",
    "variation 14", "variation 15", "variation 16", "variation 17", "variation 18", "variation 19",
    "variation 20", "variation 21", "variation 22", "variation 23", "variation 24", "variation 25",
    "variation 26", "variation 27", "variation 28", "variation 29", "variation 30",
    // 31-40
    "ranged_attack low", "ranged_attack medium", "ranged_attack high", "backward", "stand_to_ready",
    "ready_to_stand", "stand_to_ready_hurt", "ready_to_stand_hurt", "ready_to_cloaked", "cloaked_to_ready",
    // 41-128: spell and skill animations
    "heal", "heal other", "regenerate", "cure poison", "cure blind", "resurrect", "dark bolt", "curse",
    "blind", "silence", "sleep", "drain life", "fear", "shadow", "energy bolt", "lightning",
    "chain lightning", "shock wave", "force push", "paralyze", "haste", "slow", "holy light", "bless",
    "faith", "protect", "turn undead", "holy smite", "sanctuary", "fireball", "fire bolt", "flame wall",
    "burning hands", "fire rain", "immolate", "ice bolt", "frost nova", "ice shards", "freeze", "ice wall",
    "blizzard", "poison cloud", "poison bolt", "power", "invisible", "light", "teleport", "dispel",
    "detect", "mind drain", "life leech", "confusion", "stamina burst", "added blow", "desperation",
    "icy touch", "shocking grasp", "sacrifice", "axespin", "earthshaker", "mend", "steelskin", "overpower",
    "revitalize", "prayer", "mug", "kick", "push", "trip", "blindness stab", "arm slice", "leg swipe",
    "banish", "summon golem", "summon minotaur", "summon blade", "summon imp", "summon blackfire",
    "summon blood", "summon poison", "summon mist", "summon wraith", "summon jade golem", "summon laharah",
    "summon samurai", "summon jade", "summon water", "summon forest",
    // 129-130
    "status", "area",
    // 131-139: boss attacks
    "Deviziv bite", "Deviziv claw", "Deviziv tail", "Deviziv roar", "Deviziv breath", "Deviziv stomp",
    "Deviziv leap", "Deviziv teleport out", "Deviziv teleport in",
    // 140-166
    "flail", "pick up ready", "tripped fall", "tripped lie down", "tripped get up", "pushed", "stand",
    "ready", "stand hurt", "ready hurt", "walk", "run", "norm walk", "norm run", "walk hurt", "run hurt",
    "norm walk hurt", "norm run hurt", "statscreen light", "statscreen heavy", "hide_ready", "cloaked_ready",
    "cloaked_sneak", "walk up stairs", "walk down stairs", "turn left", "turn right",
    // 167-193: boss attacks
    "gsal swipe 1", "gsal swipe 2", "gsal bite", "gsal spit", "tiger throw", "tiger charge", "tiger swipe",
    "phoenix dive", "phoenix wing", "ghost rider charge", "ghost rider raise", "dadevoz slam",
    "dadevoz throw", "tentacle grab", "tentacle slam", "calvek strike", "calvek oni roar", "zhorek cleave",
    "zhorek summon", "titus erupt", "titus stomp", "pyrul beam", "pyrul missile", "machival cast",
    "evil ruvizo cast", "evil ruvizo strike", "phoenix burning hands"};

const char* const Size_names[NUM_SIZES] = {"small", "medium", "large", "huge"};
const char* const Team_names[NUM_TEAMS] = {"friendly", "neutral", "hostile", "evil"};

int word_index(const char* const* names, int count, const char* name) {
  if (!name) return -1;
  for (int i = 0; i < count; i++) {
    if (names[i] && strcasecmp(names[i], name) == 0) return i;
  }
  return -1;
}

namespace {

bool word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Index of the longest entry that the text at p starts with and that ends at
// a word boundary; *length gets its length.
int match_bare(const char* p, const char* const* names, int count, size_t* length) {
  int best = -1;
  size_t best_len = 0;
  const int first = tolower(static_cast<unsigned char>(*p));
  for (int i = 0; i < count; i++) {
    // The first letter rules out nearly every entry of the long lists.
    if (!names[i] || tolower(static_cast<unsigned char>(names[i][0])) != first) continue;
    size_t n = strlen(names[i]);
    if (n <= best_len || strncasecmp(p, names[i], n) != 0 || word_char(p[n])) continue;
    best = i;
    best_len = n;
  }
  *length = best_len;
  return best;
}

}  // namespace

int optional_word(ParseContext& pc, const char* const* names, int count) {
  pc.skip_space();
  const char* p = pc.cursor();
  if (!p || !*p) return -1;
  if (*p == '"') {
    const char* end = strchr(p + 1, '"');
    const char* line_end = strpbrk(p + 1, "\r\n");
    if (!end || (line_end && line_end < end)) return -1;
    for (int i = 0; i < count; i++) {
      if (!names[i]) continue;
      size_t n = strlen(names[i]);
      if (static_cast<size_t>(end - (p + 1)) == n && strncasecmp(p + 1, names[i], n) == 0) {
        pc.optional_quoted_string(names[i]);
        return i;
      }
    }
    return -1;
  }
  size_t length = 0;
  int index = match_bare(p, names, count, &length);
  if (index >= 0) pc.optional_string(names[index]);
  return index;
}

int read_word(ParseContext& pc, const char* const* names, int count) {
  int index = optional_word(pc, names, count);
  if (index < 0) pc.error("a valid type string");
  return index;
}

void table_read_file(const char* filename, TableReader read) {
  ParseContext pc;
  pc.open_or_die(filename, Tables_path_type >= 0 ? Tables_path_type : VFILE_ANY_TYPE);
  read(pc);
}

void table_read_text(const char* filename, const char* text, int length, TableReader read) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length > 0 ? length : 0));
  read(pc);
}
