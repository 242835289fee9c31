#pragma once
// The world map's encounter choice, open to tests.
#include "levelscripts/level_scripts.h"

#define NUM_ENCOUNTER_LEVELS 12
struct EncounterChoice {
  char level[LEVEL_NAME_LEN];
  char script[LEVEL_NAME_LEN];  // the level's own name for its default script
};
// The destination of an encounter at this game stage, from the terrain
// under the leader, the story flags and the host's draws.
EncounterChoice encounter_choose(int stage);
bool is_encounter_level(const char* name);
const char* encounter_level_name(int i);
