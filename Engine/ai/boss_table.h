#pragma once
// Boss tables ("#Boss Info" text tables): per stage of a boss fight, the
// offense points the boss may choose, each with its range band, facing
// limit, move and spell. The boss owns the record array (ten records a
// stage) and clears it before the read; the table's own stage numbers
// decide where each record goes.
#include <cstdint>

class ParseContext;

constexpr int BOSS_POINTS_PER_STAGE = 10;

// Offense point flags.
constexpr uint32_t BOP_TRIP = 1;
constexpr uint32_t BOP_PUSH = 2;
constexpr uint32_t BOP_PROJECTILE = 4;
constexpr uint32_t BOP_SPELL_ONLY = 8;
constexpr uint32_t BOP_PLUS_SPELL = 16;

struct BossOffensePoint {
  int32_t number;     // the integer after the name's first eight characters, less one; -1 without one
  float min_range;
  float max_range;
  float facing;       // cosine of the largest angle
  uint32_t in_use;
  int32_t spell;      // -1 none
  int32_t variation;  // index in Variation_names
  uint32_t flags;
};

// Reads the table into `points` (room for stages x 10). A missing file or a
// missing required field is fatal with the parser's message. A stage below
// 1 or above `stages`, and points past the tenth of a stage, are refused the
// same way, naming the file and line, so nothing lands outside the array.
void boss_read_table(const char* filename, int stages, BossOffensePoint* points);
// The same from text in memory (tests and the fuzz target).
void boss_read_table_text(const char* filename, const char* text, int length, int stages, BossOffensePoint* points);
// The number of an offense point's name: the integer after its first eight
// characters, less one; -1 when the name is shorter or no integer follows.
int boss_offense_point_number(const char* name);
