#pragma once
// Item camera tables: how the inventory, buy-and-sell and status screens
// place a turning model of an item or a character type in front of their
// camera. One table per screen, read at start-up.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

#define MAX_ICAM_ENTRIES 512
#define ICAM_NAME_LEN 512
#define ICAM_FILENAME_LEN 64

enum : uint8_t { ICAM_CHARACTER = 0, ICAM_ITEM = 1 };

struct IcamEntry {
  uint8_t kind = ICAM_ITEM;
  int16_t index = -1;  // into the item table or the character-type table
  vector offset;
  float pitch = 0.0f, bank = 0.0f, heading = 0.0f;  // degrees
};

struct IcamTable {
  int32_t count = 0;
  char filename[ICAM_FILENAME_LEN] = {};
  IcamEntry entries[MAX_ICAM_ENTRIES];
};

// Name lookups the tables need; the defaults read the loaded item and
// character-type tables. Tests give their own.
struct IcamNames {
  int (*item_index)(const char* name);
  const char* (*item_name)(int index);
  int (*character_index)(const char* name);
  const char* (*character_name)(int index);
};
const IcamNames& icam_default_names();

// Reads one file into the table; a damaged file is the parse error.
void new_icam_load(IcamTable& table, const char* filename, const IcamNames& names = icam_default_names());
void new_icam_load_text(IcamTable& table, const char* filename, const char* text, int length,
                        const IcamNames& names = icam_default_names());
// The placement of a model by name (ignoring case). False, with nothing
// written, when the table has no entry for it.
bool new_icam_get(const IcamTable& table, const char* name, matrix* orientation, vector* offset,
                  const IcamNames& names = icam_default_names());

// The three screens' tables.
extern IcamTable Bs_cameras, Inv_cameras, Status_cameras;
void item_cameras_load_all();
