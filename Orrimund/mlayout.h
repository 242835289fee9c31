#pragma once
// Monster layout files (.mlo in data\internal): where the creatures of a
// level stand, saved by a developer and loaded later in place of the
// level's own monsters and people, with the heroes moved to their saved
// places. Little-endian: an empty string marker, the version, the level
// name, then records of kind, type name, position and orientation (third,
// first, second row) until a kind of 0. Strings are a u16 length and the
// characters. A file that starts with a non-empty string is the older form:
// that string is the level name and the records follow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

constexpr int MLAYOUT_VERSION = 1;
constexpr size_t MLAYOUT_NAME_MAX = 256;
// Creatures of one team a layout sets down within this distance of the
// first of them fight as one group.
constexpr float MLAYOUT_PACK_RADIUS = 8.0f;

struct MlayoutRecord {
  int32_t kind = 0;  // 4, 5, 7 or 9
  std::string type_name;
  vector pos;
  matrix orient;
};

struct MlayoutFile {
  bool older_form = false;  // no marker and no version: the level name first
  int32_t version = MLAYOUT_VERSION;
  std::string level;
  std::vector<MlayoutRecord> records;
};

// Reads a whole layout. A damaged file (cut short, a string past 256
// characters, a kind that is no living entity's, no end record, bytes
// after it, an obsolete version) is refused with the reason and nothing
// is kept, so a load can check the whole file before it changes the world.
bool mlayout_parse(const uint8_t* data, size_t size, MlayoutFile* out, std::string* error);
std::vector<uint8_t> mlayout_encode(const MlayoutFile& file);

// The current level's creatures, as mlayout_save writes them.
MlayoutFile mlayout_capture(const char* level);

// 0 or -1. The file name gets ".mlo" when it has no extension.
int mlayout_save(const char* file);
int mlayout_load(const char* file);
// Applies a parsed layout to the world: false, with nothing changed, when it
// belongs to another level or holds more creatures than there is room for.
bool mlayout_apply(const MlayoutFile& layout, const char* level);
