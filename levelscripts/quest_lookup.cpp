#include "levelscripts/quest_lookup.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_world.h"

const LevelUnlockRow Level_unlock_rows[NUM_LEVEL_UNLOCK_ROWS] = {
    {3, "Masad Village", 0x3, 0x0},
    {7, "Thalem Outskirts -- Summer", 0x5, 0x2},
    {9, "Thalem Sewers", 0x4, 0x2},
    {24, "Thalem Palace", 0x4, 0x2},
    {15, "Odrin Monastery", 0x9, 0x4},
    {1, "Odrin Catacombs", 0x8, 0x4},
    {13, "Ikaemos Swamp -- Night", 0x11, 0x4},
    {12, "Ikaemos Palace Upper Level", 0x10, 0x4},
    {23, "City of the Khosani", 0x21, 0x4},
    {14, "Labyrinth of the Khosani", 0x20, 0x4},
    {30, "Thalem Marketplace", 0x41, 0x38},
    {31, "Thalem Crown District", 0x40, 0x38},
    {17, "Temple of Zhorek", 0x40, 0x38},
    {29, "Tower of Eleh", 0x81, 0x40},
    {0, "Vozido", 0x101, 0x80},
    {16, "Caverns of Vozido", 0x100, 0x80},
    {20, "Shenwu Forest", 0x201, 0x80},
    {34, "The Jade Temple", 0x401, 0x300},
    {27, "Ruins of Khosani Labyrinth", 0x801, 0x400},
    {38, "Ikaemos Swamp -- Day", 0x1001, 0x400},
    {39, "Ikaemos Palace", 0x1000, 0x400},
    {22, "Ruins of Odrin Monastery", 0x2001, 0x400},
    {33, "Thalem Outskirts -- Winter", 0x4001, 0x3800},
    {32, "Thalem City", 0x4000, 0x3800},
    {37, "Temple of Zhorek Revisited", 0x4000, 0x3800},
};

namespace {

struct DisplayName {
  const char* level;
  const char* display;
};
// Levels the unlock table names show its names; the others are named after
// the place they belong to, with the act or time of day after '#'.
const DisplayName Display_names[NUM_LEVEL_DISPLAY_NAMES] = {
    {"test", "test level"},
    {"masad", "Masad Village"},
    {"thalem1d", "Thalem Outskirts#Summer"},
    {"thalem1aa", "Thalem Marketplace#Act1"},
    {"thalem1ab", "Thalem Crown District#Act1"},
    {"thalem1b", "Thalem City#Act1"},
    {"thalem1c", "Thalem Docks#Act1"},
    {"TempleInt", "Temple of Zhorek"},
    {"sewer", "Thalem Sewers"},
    {"sewerboss", "Thalem Sewers#Depths"},
    {"LPalaceInt", "Thalem Palace"},
    {"thalem1e", "Thalem Gate#Act1"},
    {"Tancredhouse", "Tancred's Haven"},
    {"OdrinExT", "Odrin Monastery"},
    {"catacombs", "Odrin Catacombs"},
    {"IkaemosExt", "Ikaemos Swamp#Night"},
    {"IkaemosTopInt", "Ikaemos Palace Upper Level"},
    {"IkaemosBottomInt", "Ikaemos Palace#Lower Level"},
    {"KhosaniStrng", "City of the Khosani"},
    {"KhosaniLab", "Labyrinth of the Khosani"},
    {"thalem2d", "Thalem Outskirts#Act2"},
    {"thalem2aa", "Thalem Marketplace#Act2"},
    {"thalem2ab", "Thalem Crown District#Act2"},
    {"Eleh", "Tower of Eleh"},
    {"vozido", "Vozido#Night"},
    {"VozidoCaverns", "Caverns of Vozido"},
    {"vozido2", "Vozido#Day"},
    {"Shenwu", "Shenwu Forest"},
    {"Jadetemple", "The Jade Temple"},
    {"OdrinExt02", "Ruins of Odrin Monastery#Act 4"},
    {"thalem3d", "Thalem Outskirts#Winter"},
    {"thalem3a", "Thalem City#Act3"},
    {"LPalaceInt02", "Thalem Palace#Act3"},
    {"KhosaniLab2", "Ruins of Khosani Labyrinth"},
    {"IkaemosExt2", "Ikaemos Swamp#Day"},
    {"IkaemosBottomInt2", "Ikaemos Palace#Act 4"},
    {"TempleInt2", "Temple of Zhorek Revisited"},
    {"Rand-Desert", "Random Enc. -- Desert"},
    {"Rand-DesertNite01", "Random Enc. -- Desert Night"},
    {"Rand-Forest01", "Random Enc. -- Forest"},
    {"Rand-ForestNite1", "Random Enc. -- Forest Night"},
    {"Rand-Hills01", "Random Enc. -- Hills"},
    {"Rand-HillsNite01", "Random Enc. -- Hills Night"},
    {"Rand-Iceland01", "Random Enc. -- Iceland"},
    {"Rand-IcelandNite01", "Random Enc. -- Iceland Night"},
    {"Rand-Grassland01", "Random Enc. -- Grassland"},
    {"Rand-GrasslandNite01", "Random Enc. -- Grassland Night"},
    {"Rand-Kasdria01", "Random Enc. -- Kasdria"},
    {"Rand-KasdriaNite01", "Random Enc. -- Kasdria Night"},
    {"worldmap1", "World Map"},
    {"test-spells", "Spell test level"},
};

}  // namespace

void (*Level_ambient_pause_hook)() = nullptr;
void (*Level_ambient_resume_hook)() = nullptr;

int quest_find(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < quest_count(); i++)
    if (strcasecmp(quest_get(i)->name, name) == 0) return i;
  return -1;
}

void quest_journal_set(int quest, int on) {
  if (quest < 0 || quest >= MAX_QUESTS) return;
  quest_set_active(quest, on != 0);
  script_hud_message("Quest Journal Updated");
}

int quest_current_stage(int quest) {
  if (quest < 0 || quest >= quest_count() || !quest_is_active(quest)) return -1;
  const QuestRecord* q = quest_get(quest);
  if (q->stage_count == 0) return -1;
  int k = 0;
  for (; k < q->stage_count; k++) {
    if (k == q->invalidating_entry) break;
    uint32_t flag = q->stages[k].flag;
    if (flag != 0 && !flag_get_any_level(flag)) break;
  }
  return k - 1;
}

int level_unlock_row_find(int level) {
  for (int i = 0; i < NUM_LEVEL_UNLOCK_ROWS; i++)
    if (Level_unlock_rows[i].level == level) return i;
  return -1;
}

const char* level_select_row_name(int row) {
  if (row < 0 || row >= NUM_LEVEL_UNLOCK_ROWS) return nullptr;
  return Level_unlock_rows[row].display_name;
}

void level_display_name(char* out, int size, int level) {
  if (!out || size <= 0) return;
  const char* display = nullptr;
  if (level >= 0 && level < NUM_LEVEL_SCRIPTS) {
    for (const DisplayName& d : Display_names) {
      if (strcasecmp(d.level, Level_scripts[level].name) == 0) {
        display = d.display;
        break;
      }
    }
  }
  if (!display || !*display) {
    std::snprintf(out, static_cast<size_t>(size), "%s", "Unknown");
    return;
  }
  size_t cut = std::strcspn(display, "#0123456789");
  if (cut == 0 || display[cut] == '\0') cut = std::strlen(display);
  std::snprintf(out, static_cast<size_t>(size), "%.*s", static_cast<int>(cut), display);
}

bool is_cutscene_script_name(const char* name) {
  static const char suffix[] = "_cscript.tbl";
  const size_t n = sizeof suffix - 1;
  if (!name) return false;
  size_t len = std::strlen(name);
  return len > n && std::strcmp(name + len - n, suffix) == 0;
}

void level_ambient_pause() {
  if (Level_ambient_pause_hook) Level_ambient_pause_hook();
}

void level_ambient_resume() {
  if (Level_ambient_resume_hook) Level_ambient_resume_hook();
}
