#pragma once
// The story: the hooks of every level row, given to the level-script table
// at start-up. Row numbers are saved data (flags are kept per row), so the
// names below follow the table's order and never move.
#include <cstdint>

enum LevelRow {
  L_VOZIDO = 0, L_CATACOMBS, L_TEST, L_MASAD, L_WORLDMAP1, L_THALEM1B, L_THALEM1C, L_THALEM1D, L_THALEM1E,
  L_SEWER, L_RAND_HILLS01, L_IKAEMOS_BOTTOM_INT, L_IKAEMOS_TOP_INT, L_IKAEMOS_EXT, L_KHOSANI_LAB, L_ODRIN_EXT,
  L_VOZIDO_CAVERNS, L_TEMPLE_INT, L_RAND_FOREST01, L_RAND_FORESTNITE1, L_SHENWU, L_RAND_DESERT, L_ODRIN_EXT02,
  L_KHOSANI_STRNG, L_LPALACE_INT, L_TANCREDHOUSE, L_LPALACE_INT02, L_KHOSANI_LAB2, L_VOZIDO2, L_ELEH,
  L_THALEM2AA, L_THALEM2AB, L_THALEM3A, L_THALEM3D, L_JADETEMPLE, L_THALEM1AA, L_THALEM1AB, L_TEMPLE_INT2,
  L_IKAEMOS_EXT2, L_IKAEMOS_BOTTOM_INT2, L_RAND_HILLSNITE01, L_RAND_ICELAND01, L_RAND_GRASSLAND01,
  L_RAND_KASDRIA01, L_RAND_KASDRIANITE01, L_RAND_DESERTNITE01, L_RAND_GRASSLANDNITE01, L_RAND_ICELANDNITE01,
  L_ENDGAME, L_THALEM2D, L_SEWERBOSS
};

// Fills every row's hooks (idempotent). The game calls it at start-up;
// tests call it before they run hooks.
void story_scripts_install();

// What fills a slot: nothing, the level's own function, the shared empty
// function or the shared false hook.
enum SlotKind : uint8_t { SLOT_NONE = 0, SLOT_OWN, SLOT_EMPTY, SLOT_FALSE };
enum HookSlot { SLOT_INIT = 0, SLOT_FRAME, SLOT_EXIT, SLOT_USE, SLOT_SECOND, SLOT_EVENT, NUM_HOOK_SLOTS };
SlotKind level_slot_kind(int row, int slot);

// Resets every script's statics, as a fresh program run has them (tests).
void story_statics_reset();

// The installers of each group of levels.
void worldmap_scripts_install();
void masad_scripts_install();
void thalem_scripts_install();
void temple_scripts_install();
void khosani_scripts_install();
void eastern_scripts_install();

// Console switch of the world map's encounter roll.
extern bool Random_encounters_enabled;
