#include "Engine/characterinfo/experience.h"

#include <cmath>

#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/table_words.h"
#include "quarn/vfile/path_types.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

ExperienceRow Experience_table[NUM_EXPERIENCE_ROWS];

namespace {

uint8_t to_byte(ParseContext& pc, int v) {
  if (v < 0 || v > 255) pc.error("a value from 0 to 255");
  return static_cast<uint8_t>(v);
}

// A gain: a number, or "D" and the sides of a die.
void read_gain(ParseContext& pc, uint8_t* value, bool* die) {
  *die = pc.optional_string("D");
  *value = to_byte(pc, pc.read_int());
}

void read_table(ParseContext& pc) {
  for (ExperienceRow& row : Experience_table) {
    pc.read_int();  // the row number, for the reader's eye only
    const int xp = pc.read_int();
    if (xp < 0) pc.error("a experience value of 0 or more");
    row.experience = static_cast<uint32_t>(xp);
    row.points = to_byte(pc, pc.read_int());
    row.factor = to_byte(pc, pc.read_int());
    for (ExperienceGrowth& g : row.growth) {
      read_gain(pc, &g.hp, &g.hp_die);
      read_gain(pc, &g.ap, &g.ap_die);
    }
  }
}

int gain(uint8_t value, bool die) {
  if (!die) return value;
  const int rolled = static_cast<int>(std::floor(frand() * value + 1.0f));
  return rolled < 3 ? 3 : rolled;
}

}  // namespace

void experience_load() {
  table_read_file("experience.tbl", read_table);
  console_printf("Read experience.tbl: %d levels\n", NUM_EXPERIENCE_ROWS);
}

void experience_load_text(const char* filename, const char* text, int length) {
  table_read_text(filename, text, length, read_table);
}

uint32_t xp_for_level(int level) {
  uint64_t xp;
  if (level < 0) level = 0;
  if (level < 20) {
    xp = Experience_table[level].experience;
  } else {
    // Level 20 adds 50,000 to row 19, and each level after adds 10,000 more
    // than the one before.
    const uint64_t n = static_cast<uint64_t>(level - 19);
    xp = Experience_table[19].experience + 50000 * n + 10000 * (n * (n - 1) / 2);
  }
  if (game_is_networked()) xp *= 5;
  return xp > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(xp);
}

bool xp_level_up_due(int level, uint32_t experience) { return experience >= xp_for_level(level + 1); }

float xp_level_factor(int level) {
  if (level < 1) return 1.0f;
  if (level > 20) return 10.0f;
  return static_cast<float>(Experience_table[level].factor);
}

int xp_max_level() { return game_is_networked() ? 75 : 50; }

void xp_gain_level(int hero_kind, int* level, int* max_hp_base, int* ap_base, int* points, float* factor) {
  ++*level;
  const ExperienceRow& row = Experience_table[*level > 20 ? 20 : *level];
  *points = row.points;
  *factor = static_cast<float>(row.factor);
  if (hero_kind < 0 || hero_kind > 3) return;
  const ExperienceGrowth& g = row.growth[hero_kind];
  *max_hp_base += gain(g.hp, g.hp_die);
  *ap_base += gain(g.ap, g.ap_die);
}
