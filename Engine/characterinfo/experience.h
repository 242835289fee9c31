#pragma once
// The experience table: what each level needs and what a hero gains on
// reaching it. 21 rows (levels 0..20) read once from "experience.tbl".
#include <cstdint>

constexpr int NUM_EXPERIENCE_ROWS = 21;

struct ExperienceGrowth {
  uint8_t hp = 0, ap = 0;
  bool hp_die = false, ap_die = false;
};
struct ExperienceRow {
  uint32_t experience = 0;
  uint8_t points = 0;
  uint8_t factor = 0;
  ExperienceGrowth growth[4];
};
extern ExperienceRow Experience_table[NUM_EXPERIENCE_ROWS];

void experience_load();
void experience_load_text(const char* filename, const char* text, int length);

// Experience needed to reach a level; five times as much in a networked game.
uint32_t xp_for_level(int level);
bool xp_level_up_due(int level, uint32_t experience);
float xp_level_factor(int level);
int xp_max_level();
// Raises the level by one and applies the new level's row to a hero's bases.
void xp_gain_level(int hero_kind, int* level, int* max_hp_base, int* ap_base, int* points, float* factor);
