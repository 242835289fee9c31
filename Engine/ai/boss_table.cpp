#include "Engine/ai/boss_table.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Engine/characterinfo/spells.h"
#include "Engine/characterinfo/table_words.h"
#include "quarn/os/error.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

namespace {

constexpr float DEGREES = 0.017453292f;

int Stages;
BossOffensePoint* Points;

void read(ParseContext& pc) {
  pc.require_string("#Boss Info");
  pc.require_string("$Num Stages:");
  pc.read_int();
  if (pc.optional_string("#End")) return;
  for (;;) {
    pc.require_string("$Stage:");
    const int stage = pc.read_int();
    if (stage < 1 || stage > Stages) pc.error("a stage from 1 to the boss's stage count");
    int k = 0;
    if (pc.optional_string("$Offense point:")) {
      for (;;) {
        if (k >= BOSS_POINTS_PER_STAGE) pc.error("at most 10 offense points in a stage");
        BossOffensePoint& p = Points[(stage - 1) * BOSS_POINTS_PER_STAGE + k++];
        char name[33];
        pc.read_string(name, sizeof name);
        p.number = boss_offense_point_number(name);
        p.in_use = 1;
        pc.require_string("$Range:");
        p.min_range = pc.read_float();
        p.max_range = pc.read_float();
        pc.require_string("$Max angle:");
        p.facing = std::cos(pc.read_float() * DEGREES);
        pc.require_string("$Variation:");
        p.variation = read_word(pc, Variation_names, NUM_VARIATIONS);
        if (pc.optional_string("+Debug:")) {
          char discard[65];
          pc.read_string(discard, sizeof discard);
        }
        p.flags = 0;
        if (pc.optional_string("+Trip:")) p.flags |= BOP_TRIP;
        if (pc.optional_string("+Push:")) p.flags |= BOP_PUSH;
        p.spell = -1;
        if (pc.optional_string("+Spell:")) {
          char spell[129];
          pc.read_string(spell, sizeof spell);
          p.spell = spell_find_by_name(spell);
          if (pc.optional_string("+Projectile:")) p.flags |= BOP_PROJECTILE;
          if (pc.optional_string("+Spell Only:")) p.flags |= BOP_SPELL_ONLY;
          if (pc.optional_string("+Plus Spell:")) p.flags |= BOP_PLUS_SPELL;
        }
        if (pc.check_string("$Stage:") || pc.check_string("#End")) break;
        if (!pc.optional_string("$Offense point:")) break;
      }
    }
    if (pc.optional_string("#End")) return;
  }
}

}  // namespace

int boss_offense_point_number(const char* name) {
  if (!name || std::strlen(name) <= 8) return -1;
  const char* digits = name + 8;
  char* end = nullptr;
  const long v = std::strtol(digits, &end, 10);
  if (end == digits || v < -1000000 || v > 1000000) return -1;
  return static_cast<int>(v) - 1;
}

void boss_read_table(const char* filename, int stages, BossOffensePoint* points) {
  Stages = stages;
  Points = points;
  ParseContext pc;
  if (pc.open(filename, Tables_path_type >= 0 ? Tables_path_type : VFILE_ANY_TYPE) != 0)
    CRITICAL_ERROR("Couldn't open %s for parsing", filename);
  read(pc);
}

void boss_read_table_text(const char* filename, const char* text, int length, int stages, BossOffensePoint* points) {
  Stages = stages;
  Points = points;
  table_read_text(filename, text, length, read);
}
