#include "tools/writers/table_writers.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/table_words.h"
#include "tools/writers/script_table_writers.h"

namespace {

const char* const EOL = "\r\n";

std::string fmt_float(float v) {
  char b[32];
  snprintf(b, sizeof b, "%.3f", static_cast<double>(v));
  return b;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string key(const char* k, const std::string& value) { return std::string(k) + " " + value + EOL; }

}  // namespace

// ---- spells -----------------------------------------------------------------

std::vector<SpellRecord> table_demo_spells() {
  // Classes stand together: heal 0-5, dark 6-10, energy 11-15, holy 16-23,
  // fire 24-31, ice 32-37, summon 38-53 (the summoning skills' spells), misc.
  struct Range {
    int first, last;
    const char* cls;
  } ranges[] = {{0, 5, "heal"},   {6, 10, "dark"}, {11, 15, "energy"}, {16, 23, "holy"},
                {24, 31, "fire"}, {32, 37, "ice"}, {38, 53, "summon"}, {54, 107, "misc"}};
  struct Named {
    int number;
    const char* name;
  } names[] = {{0, "Heal"},      {1, "Cure"},          {2, "Regenerate"}, {6, "Poison"},     {7, "Blind"},
               {8, "Silence"},   {11, "Light"},        {12, "Lightning"}, {14, "Haste"},     {16, "Power"},
               {19, "Bless"},    {21, "Greater Bless"}, {22, "Faith"},     {23, "Curse"},     {24, "Fireball"},
               {25, "Fire Bolt"}, {32, "Ice Bolt"},     {33, "Sleep"},     {34, "Freeze"},    {38, "Summon Golem"},
               {39, "Summon Minotaur"}, {69, "Backstab"}, {70, "Assess"}};
  std::vector<SpellRecord> spells(108);
  for (const Range& r : ranges) {
    for (int i = r.first; i <= r.last; i++) spells[i].spell_class = r.cls;
  }
  for (int i = 0; i < 108; i++) {
    SpellRecord& s = spells[i];
    char name[32];
    snprintf(name, sizeof name, "Spell %d", i);
    s.name = name;
    for (const Named& n : names) {
      if (n.number == i) s.name = n.name;
    }
    // Spells 0-87 animate with the spell variations 41-128, in order.
    if (i < 88) s.effects = std::string("+Variation: ") + Variation_names[41 + i] + EOL;
    s.skill = static_cast<float>(10 + (i % 5) * 10);
    s.cost = static_cast<float>(2 + i % 7);
    s.distance = (i % 3 == 0) ? 0.0f : 25.0f;
  }
  spells[0].effects = std::string("+Cast effect: \"heal-cast.vfx\" $Sound: \"heal.wav\" 0.8 5 1") + EOL +
                      "+Variation: heal" + EOL + "+Hit effect: \"heal-hit.vfx\"" + EOL;
  spells[0].tail = std::string("+Duration: 10") + EOL + "+Beneficial" + EOL + "+Target character" + EOL;
  spells[24].damage_type = "fire";
  spells[24].hit_chance = 90;
  spells[24].effects = std::string("+Cast effect: \"fire-cast.vfx\"") + EOL + "+Hit effect: \"fire-hit.vfx\" $Sound: \"fireball.wav\" 1.0 8 1" + EOL +
                       "+Variation: fireball" + EOL;
  spells[24].tail = std::string("+Die: 8") + EOL + "+Target radius: 3.5" + EOL + "+Offensive" + EOL + "+Target character" + EOL;
  // The fire bolt a hero casts from a hot button flies as the fireball does.
  spells[25].damage_type = "fire";
  spells[25].hit_chance = 90;
  spells[25].effects = spells[24].effects;
  spells[25].cost = 2.0f;  // a hero's first ability points cast it
  spells[25].tail = std::string("+Die: 6") + EOL + "+Offensive" + EOL + "+Target character" + EOL;
  // Curse spreads as a ring on the ground round its caster.
  spells[23].effects = std::string("+Hit effect: \"curse-ring.vfx\"") + EOL + spells[23].effects;
  spells[23].tail = std::string("+Offensive") + EOL;
  spells[11].skill = 90.0f;  // the game holds spell 11 at 40 whatever the table says
  return spells;
}

std::string table_spells_text(const std::vector<SpellRecord>& spells) {
  std::string t = std::string("#Spells") + EOL + EOL;
  for (const SpellRecord& s : spells) {
    t += std::string("$Spell:") + EOL;
    t += key("+Name:", quoted(s.name));
    t += key("+Class:", s.spell_class);
    if (!s.damage_type.empty()) t += key("+Damage type:", s.damage_type);
    if (s.hit_chance >= 0) t += key("+Hit Chance:", std::to_string(s.hit_chance));
    t += s.effects;
    t += key("+Skill:", fmt_float(s.skill));
    t += key("+Cost:", fmt_float(s.cost));
    t += key("+Distance:", fmt_float(s.distance));
    t += s.tail;
    t += EOL;
  }
  t += std::string("#End") + EOL;
  return t;
}

// ---- materials ------------------------------------------------------------------

std::string table_materials_text() {
  std::string t = std::string("#Materials") + EOL;
  for (int i = 0; i < NUM_MATERIALS; i++) {
    t += std::string("$Material: // ") + Material_names[i] + EOL;
    t += key("+Damage Modifier:", fmt_float(1.0f + 0.05f * static_cast<float>(i % 5)));
    t += key("+Weight Multiplier:", fmt_float(1.0f + 0.1f * static_cast<float>(i % 3)));
    t += key("+Speed Multiplier:", fmt_float(1.0f));
    t += key("+Protection Multiplier:", fmt_float(1.0f + 0.02f * static_cast<float>(i)));
  }
  t += std::string("#End") + EOL;
  return t;
}

// ---- items --------------------------------------------------------------------

std::string table_weapon_part(const char* skill, const char* weapon_class, int damage, const char* damage_type,
                              float speed, float attack_radius, float weight, const char* material,
                              const std::string& extra) {
  std::string t;
  t += key("$Skill:", quoted(skill));
  t += key("$Class:", weapon_class);
  t += key("$Damage:", std::to_string(damage));
  t += key("$Damage Type:", damage_type);
  t += key("$Speed:", fmt_float(speed));
  t += key("$Attack Radius:", fmt_float(attack_radius));
  t += key("$Weight:", fmt_float(weight));
  t += key("$Default Material:", material);
  t += extra;
  return t;
}

std::string table_armor_part(float speed, float weight, float protection, const char* material,
                             const std::string& textures) {
  std::string t = textures;
  t += key("$Speed:", fmt_float(speed));
  t += key("$Weight:", fmt_float(weight));
  t += key("$Protection:", fmt_float(protection));
  t += key("$Default Material:", material);
  return t;
}

std::vector<ItemRecord> table_demo_items() {
  std::vector<ItemRecord> items;
  // Model files are named after their items.
  auto model_of = [](const std::string& name) {
    std::string m = name + ".vim";
    for (char& c : m) c = (c == ' ' || c == '\'' || c == '#') ? '_' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return m;
  };
  auto misc = [&](const char* name, int value, const std::string& before = "", const char* slot = "") {
    ItemRecord r;
    r.name = name;
    r.model = model_of(name);
    r.value = value;
    r.slot = slot;
    r.before_type_part = before;
    items.push_back(r);
  };
  auto weapon = [&](const char* name, int value, const std::string& part, const std::string& flags = "") {
    ItemRecord r;
    r.name = name;
    r.type = "Weapon";
    r.value = value;
    r.model = model_of(name);
    r.type_part = flags + part;
    items.push_back(r);
  };
  misc("Backpack", 5);
  misc("Leather Bag", 3);
  misc("Gold", 1);
  misc("Health Tonic", 25, std::string("+Charge Effect: \"Heal\" 1 0") + EOL + "+Disposable" + EOL);
  misc("Book of Novices", 10);
  const char* rings[8] = {"Ring of Darkness", "Ring of Light",  "Ring of Fire",   "Ring of Stone",
                          "Ring of Water",    "Ring of Four Winds", "Ring of Forest", "Ring of Jade"};
  for (const char* ring : rings) misc(ring, 500, "", "finger");
  weapon("Short Sword", 40, table_weapon_part("sword weapons", "swords", 6, "slashing", 1.0f, 1.5f, 0.0f, "iron"));
  weapon("Long Sword", 120,
         table_weapon_part("sword weapons", "large swords", 10, "slashing", 1.25f, 1.8f, 20.0f, "iron"));
  weapon("Staff", 20, table_weapon_part("staff weapons", "staves", 4, "blunt", 0.8f, 1.8f, 0.0f, "wood"));
  weapon("Axe", 60, table_weapon_part("axe weapons", "pole arms", 9, "slashing", 1.25f, 1.6f, 10.0f, "iron"));
  weapon("Hunting Bow", 70, table_weapon_part("bow weapons", "bows", 5, "piercing", 1.0f, 20.0f, 0.0f, "wood"),
         std::string("+Flags: ranged") + EOL);
  weapon("Dagger", 15, table_weapon_part("sword weapons", "daggers", 3, "piercing", 0.5f, 1.0f, 0.0f, "iron"));
  weapon("Claws", 0, table_weapon_part("hand to hand", "none", 4, "slashing", 1.0f, 1.2f, 0.0f, "bone"),
         std::string("+Flags: no drop") + EOL);
  weapon("Club", 5, table_weapon_part("blunt weapons", "maces", 5, "blunt", 1.1f, 1.4f, 0.0f, "wood"));
  weapon("TigerAxe", 0, table_weapon_part("axe weapons", "pole arms", 14, "slashing", 1.5f, 2.0f, 0.0f, "iron"));
  weapon("Worn Katana#Katana of the Pit", 300,
         table_weapon_part("sword weapons", "swords", 12, "slashing", 0.9f, 1.6f, 0.0f, "silver",
                           std::string("+Triggered Effect: \"Fireball\" 10") + EOL),
         std::string("+Flags: magical") + EOL);
  weapon("Torch Prop", 0, "", std::string("+Flags: prop only") + EOL);
  items.back().description = "";
  misc("Slave Pit Key", 0);
  ItemRecord blouse;
  blouse.name = "Servant's Blouse";
  blouse.type = "Armor";
  blouse.slot = "torso";
  blouse.value = 8;
  blouse.model = "servant_blouse.vim";
  blouse.type_part = table_armor_part(1.0f, 0.0f, 2.0f, "leather",
                                      std::string("+Ruvizo Texture: \"servant_body.tga\"") + EOL +
                                          "+Zazuru Texture: \"servant_body_z.tga\"" + EOL);
  blouse.description = "Plain clothes of a palace servant.";
  items.push_back(blouse);
  for (const char* s : {"Servant's Gloves", "Servant's Boots", "Servant's Leggings"}) {
    ItemRecord r = blouse;
    r.name = s;
    r.slot = s[10] == 'G' ? "hands" : s[10] == 'B' ? "feet" : "legs";
    r.model = model_of(s);
    r.description = "";
    items.push_back(r);
  }
  ItemRecord mail;
  mail.name = "Chain Mail";
  mail.type = "Armor";
  mail.slot = "torso";
  mail.value = 250;
  mail.model = "chain_mail.vim";
  mail.before_type_part = std::string("+Skill Mod: \"dodge\" -10") + EOL + "+Resist Mod: slashing 20" + EOL +
                          "+Stat Mod: MaxHP 5" + EOL + "+Restricted: Zazuru Rivud" + EOL;
  mail.type_part = table_armor_part(0.9f, 30.0f, 12.0f, "iron");
  items.push_back(mail);
  // Heavy armour: the heroes who have a heavy model change into it.
  ItemRecord plate;
  plate.name = "Plate Armour";
  plate.type = "Armor";
  plate.slot = "heavy";
  plate.value = 600;
  plate.model = "plate_armour.vim";
  plate.type_part = table_armor_part(0.8f, 45.0f, 20.0f, "iron",
                                     std::string("+Ruvizo Texture: \"plate_ruvz.tga\"") + EOL +
                                         "+Zazuru Texture: \"plate_zazr.tga\"" + EOL + "+Rivud Texture: \"plate_rivd.tga\"" + EOL);
  items.push_back(plate);
  ItemRecord amulet;
  amulet.name = "Cloudy Amulet#Amulet of Shadows";
  amulet.slot = "neck";
  amulet.flags = "not identified";
  amulet.value = 400;
  amulet.model = "cloudy_amulet.vim";
  amulet.before_type_part = std::string("+Stealth") + EOL + "+Effect: \"Bless\" 3" + EOL;
  items.push_back(amulet);
  return items;
}

std::string table_items_text(const std::vector<ItemRecord>& items) {
  std::string t = std::string("#Items") + EOL + EOL;
  for (const ItemRecord& r : items) {
    t += key("$Name:", quoted(r.name));
    t += key("$Type:", quoted(r.type));
    if (!r.slot.empty()) t += key("+Slot:", r.slot);
    if (!r.flags.empty()) t += key("+Flags:", r.flags);
    t += key("$Value:", std::to_string(r.value));
    t += key("$Icon:", quoted("icon.tga"));
    t += key("$Model:", quoted(r.model));
    t += r.before_type_part;
    t += r.type_part;
    if (!r.description.empty()) t += key("+Description:", quoted(r.description));
    t += r.tail;
    t += EOL;
  }
  t += std::string("#End") + EOL;
  return t;
}

// ---- experience -----------------------------------------------------------------

std::vector<ExperienceRowText> table_demo_experience() {
  std::vector<ExperienceRowText> rows;
  unsigned xp = 0;
  for (int level = 0; level < 21; level++) {
    ExperienceRowText r;
    r.experience = xp;
    r.points = level == 0 ? 0 : 3 + level / 5;
    r.factor = level == 0 ? 1 : 1 + level / 2;
    const char* hp[4] = {"D 6", "12", "D 8", "D 4"};
    const char* ap[4] = {"4", "2", "3", "D 6"};
    for (int h = 0; h < 4; h++) {
      r.gains[h * 2] = hp[h];
      r.gains[h * 2 + 1] = ap[h];
    }
    rows.push_back(r);
    xp += 1000u * static_cast<unsigned>(level + 1);
  }
  return rows;
}

std::string table_experience_text(const std::vector<ExperienceRowText>& rows) {
  std::string t = "// level experience points factor, then HP and AP gain of each hero\r\n";
  for (size_t i = 0; i < rows.size(); i++) {
    const ExperienceRowText& r = rows[i];
    char line[96];
    snprintf(line, sizeof line, "%zu\t%u\t%d\t%d", i, r.experience, r.points, r.factor);
    t += line;
    for (const std::string& g : r.gains) t += "\t" + g;
    t += EOL;
  }
  return t;
}

// ---- alternate textures ----------------------------------------------------------

std::string table_alt_textures_text(const std::vector<AltTextureBaseRecord>& bases) {
  std::string t;
  for (const AltTextureBaseRecord& b : bases) {
    t += key("$Base:", quoted(b.base));
    for (const auto& g : b.groups) {
      t += "+Textures:";
      for (const std::string& name : g) t += " " + quoted(name);
      t += EOL;
    }
  }
  t += std::string("#End") + EOL;
  return t;
}

// ---- character tables ---------------------------------------------------------

std::string table_move_text(const MoveRecord& m) {
  std::string t = key("+Move:", m.list);
  t += key("\t$Animation:", quoted(m.animation));
  if (!m.classes.empty()) t += key("\t+Animation class:", m.classes);
  t += key("\t$Action:", quoted(m.action));
  if (!m.sound.empty()) t += key("\t$Sound:", m.sound);
  if (!m.location.empty()) t += key("\t$Location:", m.location);
  if (!m.variation.empty()) t += key("\t$Variation:", m.variation);
  for (const auto& tr : m.triggers) t += key("\t$Trigger:", tr.first + " " + fmt_float(tr.second));
  return t;
}

std::string table_character_text(const CharacterRecord& c) {
  std::string t = std::string("#Character Info") + EOL;
  t += key("$Character:", quoted(c.name));
  t += c.flags;
  t += key("$Size:", c.size);
  t += key("$Team:", c.team);
  t += key("$Max Hit Points:", std::to_string(c.hit_points));
  t += key("$Hit Points:", std::to_string(c.hit_points));
  t += key("$Max Ability Points:", std::to_string(c.ability_points));
  t += key("$Ability Points:", std::to_string(c.ability_points));
  t += key("$Aggressiveness:", "0.5");
  t += key("$Teamwork:", "0.5");
  t += key("$Conservation:", "0.5");
  if (c.experience > 0) t += key("$Experience Gained:", std::to_string(c.experience));
  if (c.level != 1) t += key("$Level:", std::to_string(c.level));
  t += key("$Attack Radius:", fmt_float(c.attack_radius));
  for (const std::string& w : c.default_weapons) {
    const size_t made = w.find(" made of ");
    if (made == std::string::npos) t += key("$Default Weapon:", quoted(w));
    else t += key("$Default Weapon:", quoted(w.substr(0, made)) + w.substr(made));
  }
  t += c.after_weapons;
  t += key("$Field of view range:", "30.0");
  t += key("$Detection range:", "20.0");
  t += key("$Speedup rate:", "4.0");
  t += key("$Slowdown rate:", "6.0");
  t += key("$Slow turn rate:", "2.0");
  t += key("$Fast turn rate:", "6.0");
  t += key("$Moving turn rate:", "4.0");
  if (!c.resistances.empty()) t += std::string("+Resistances:") + EOL + c.resistances + "#Resistances End" + EOL;
  t += c.skills;
  t += c.before_moves;
  for (const MoveRecord& m : c.moves) t += table_move_text(m);
  t += c.tail;
  t += std::string("#End") + EOL;
  return t;
}

namespace {

MoveRecord move(const char* list, const std::string& anim, const char* action, const char* variation = "",
                const char* location = "", bool combat = false) {
  MoveRecord m;
  m.list = list;
  m.animation = anim + ".mvf";
  m.action = action;
  m.variation = variation;
  m.location = location;
  if (combat) m.triggers = {{"impact start", 9.0f}, {"critical end", 15.0f}};
  return m;
}

}  // namespace

std::vector<MoveRecord> table_hero_moves(const std::vector<std::string>& cast_variations) {
  std::vector<MoveRecord> moves;
  for (int v = 1; v <= 5; v++) {
    const std::string var = "variation " + std::to_string(v);
    moves.push_back(move("attack", "attack0" + std::to_string(v), "attack", var.c_str(), "", true));
  }
  // The special attacks a hero strikes when push, kick or trip is chosen.
  for (const char* s : {"push", "kick", "trip"})
    moves.push_back(move("special attack", std::string(s) + "01", s, s, "", true));
  for (const char* loc : {"low", "medium", "high"}) {
    moves.push_back(move("parry", std::string("parry_") + loc, "parry", "", loc, true));
    moves.push_back(move("dodge", std::string("dodge_") + loc, "dodge", "", loc, true));
  }
  moves.push_back(move("flinch", "flinch01", "flinch", "variation 1", "medium"));
  moves.push_back(move("non-combat flinch", "flinch02", "flinch"));
  moves.push_back(move("death", "death01", "death", "variation 1"));
  for (const std::string& v : cast_variations) moves.push_back(move("cast", "cast_" + v, "cast", v.c_str(), "", true));
  moves.push_back(move("state", "tripped_liedown", "tripped_liedown", "tripped lie down"));
  moves.push_back(move("misc", "pushed", "pushed", "pushed"));
  for (const char* a : {"stand", "norm_walk", "norm_run", "ready", "walk", "run", "stand_hurt", "norm_walk_hurt",
                        "norm_run_hurt", "ready_hurt", "walk_hurt", "run_hurt", "sneak_ready", "hide_ready",
                        "cloaked_ready", "cloaked_sneak"}) {
    MoveRecord m = move("movement", a, a);
    m.triggers = {{"left-foot", 3.0f}, {"right-foot", 12.0f}};
    moves.push_back(m);
  }
  // The status screen's poses, one for each armour weight.
  moves.push_back(move("state", "statscreen_light", "statscreen", "statscreen light"));
  moves.push_back(move("state", "statscreen_heavy", "statscreen", "statscreen heavy"));
  return moves;
}

CharacterRecord table_demo_hero(int kind) {
  static const char* const weapons[4] = {"Staff", "Long Sword", "Short Sword", "Staff"};
  // The first hero also casts the curse (its variation is "bless").
  static const std::vector<std::string> casts[4] = {
      {"heal", "fireball", "bless"}, {"heal", "bless"}, {"heal", "blind"}, {"heal", "fireball"}};
  CharacterRecord c;
  c.name = Hero_names[kind];
  c.team = "friendly";
  c.hit_points = 40 + 10 * kind;
  c.ability_points = 20;
  c.default_weapons = {std::string(weapons[kind]) + " made of iron"};
  static const char* const keys[4] = {"$Up Skill:", "$Down Skill:", "$Left Skill:", "$Right Skill:"};
  for (int s = 0; s < 4; s++) c.skills += key(keys[s], quoted(Skills[Hero_starting_chain[kind][s]].name));
  c.skills += key("$Skill:", "\"sword weapons\" 3");
  c.skills += key("$Skill:", "\"staff weapons\" 3");
  c.skills += key("$Skill:", "\"heal\" 2");
  c.before_moves = std::string("+Allowed weapon classes: \"swords\"\t\"large swords\"\t\"staves\"\t\"daggers\"") + EOL;
  c.moves = table_hero_moves(casts[kind]);
  c.tail = std::string("+Alert: $Sound: \"alert.wav\" 0.7 5 1") + EOL;
  return c;
}

CharacterRecord table_demo_creature(const char* name, bool complete) {
  CharacterRecord c;
  c.name = name;
  if (!complete) return c;
  c.hit_points = 30;
  c.experience = 20;
  c.default_weapons = {"Claws"};
  c.after_weapons = key("$Damage:", "6");
  c.resistances = std::string("fire weak") + EOL + "blunt strong" + EOL;
  c.moves.push_back(move("attack", "bite01", "attack", "variation 1", "", true));
  c.moves.push_back(move("attack", "bite02", "attack", "variation 2", "", true));
  c.moves.push_back(move("flinch", "hurt01", "flinch"));
  c.moves.push_back(move("death", "die01", "death", "variation 1"));
  c.moves.push_back(move("cast", "cast01", "cast", "fireball"));
  c.moves.push_back(move("movement", "walk", "walk"));
  c.tail = std::string("+Drop: \"Gold\" 50") + EOL;
  return c;
}

std::string table_character_file_name(const char* type_name) {
  std::string f(type_name);
  for (char& ch : f) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return f + ".tbl";
}

bool table_write_file(const std::string& path, const std::string& text) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out << text;
  return static_cast<bool>(out);
}

// ---- the demo's tables -------------------------------------------------------

namespace {


// Types with complete tables (moves with their combat triggers); the others
// get small tables with only the required keys.
const char* const Complete_creatures[] = {"Golem", "Rat", "Mummy", "Velmoran Archer", "Red Minotaur", "Tiger Rider", "Generic Fighter", "Grub"};

bool is_complete(const char* name) {
  for (const char* c : Complete_creatures) {
    if (std::string(c) == name) return true;
  }
  return false;
}

}  // namespace

bool table_write_demo_tables(const std::string& root) {
  const std::string tables = root + "/data/tables/";
  bool ok = table_write_file(tables + "spells.tbl", table_spells_text(table_demo_spells())) &&
            table_write_file(tables + "materials.tbl", table_materials_text()) &&
            table_write_file(tables + "items.tbl", table_items_text(table_demo_items())) &&
            table_write_file(tables + "experience.tbl", table_experience_text(table_demo_experience())) &&
            table_write_file(tables + "alt_textures.tbl",
                             table_alt_textures_text({{"Golem", {{"golem_body.tga", "golem_jade.tga", "golem_onyx.tga"}}},
                                                      {"Generic Fighter", {{"Sir Ammund", "ammund_body.tga"}}}}));
  // The game stops without its music and voice tables; empty ones start it.
  ok = ok && table_write_file(tables + "music.tbl", "#End\r\n") && table_write_file(tables + "feedback.tbl", "#End\r\n");
  // Level scripting: the story's declarations, the levels' arrival scripts
  // and the level items (none placed yet).
  ok = ok && table_write_file(tables + "demo_events.tbl", demo_events_text(game_event_declarations(), demo_quests())) &&
       table_write_file(tables + "script_filenames.tbl",
                        script_filenames_text({{"rand-forest01", {{"rand-forest01", 0, 0, 10}, {"from_worldmap", 1, 2, -1}}},
                                               {"test", {{"test", 0, 0, -1}}}})) &&
       table_write_file(tables + "level_items.tbl", level_items_text({}));
  for (const CharacterTypeRow& row : Character_type_list) {
    if (!ok || !row.load) continue;
    CharacterRecord c = row.kind >= 0 && row.kind < 4 ? table_demo_hero(row.kind)
                                                      : table_demo_creature(row.name, is_complete(row.name));
    // The grubs of the demo level and the fighters of its scripts move with
    // the figure animations written for them (a type whose walk has no
    // animation never walks).
    for (const char* figure : {"Grub", "Generic Fighter"}) {
      if (std::string(row.name) != figure) continue;
      std::string stem = figure;
      for (char& ch : stem) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
      for (MoveRecord& m : c.moves) {
        if (m.animation.rfind("bite", 0) == 0) m.animation = stem + "_attack01.mvf";
        else if (m.animation == "die01.mvf") m.animation = stem + "_death01.mvf";
        else if (m.animation == "walk.mvf") m.animation = stem + "_walk.mvf";
      }
      // Without a stand the walk would go on carrying it after it stopped.
      c.moves.push_back(move("movement", stem + "_idle", "stand"));
    }
    if (std::string(row.name) == "Grub") {
      // A grub is soon beaten, and always leaves its gold in a bag.
      c.hit_points = 40;
      c.resistances = std::string("fire weak") + EOL;
      c.tail = std::string("+Drop: \"Gold\" 100") + EOL + "+Drop: \"Health Tonic\" 100" + EOL;
    }
    // A second type on the same mesh, differing only in its textures.
    if (std::string(row.name) == "Generic Fighter") c.tail += "+Alternate character: \"Sir Ammund\"\r\n";
    ok = table_write_file(tables + "characterinfo/" + table_character_file_name(row.name), table_character_text(c));
  }
  if (!ok) std::fprintf(stderr, "cannot write the tables under %s\n", tables.c_str());
  return ok;
}

