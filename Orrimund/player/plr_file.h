#pragma once
// Player files: one hero a player takes into networked games, in the
// players' directory under the hero's name with ".plr". Files are written
// whole (beside the old one, renamed on a clean close) and read whole: a
// file is checked from end to end before anything in the game changes.
//
// Layout, little-endian: "PLYR" (u32 0x52594C50), u32 version 8, name
// (NUL-terminated, at most 32 bytes with its NUL), u32 hero type, u32
// member value, description (at most 256 bytes with its NUL), u16 level,
// u32 experience, f32 max HP base, u16 max AP base, u32 unspent points,
// 9 x i32 equipment item indices (-1 empty), u32 inventory count and
// {u32 item, u32 count, i32 charges} each, u32 gold, 36 x u8 skills, u32
// chain count and {u32 skill, u32 value, i32 slot} each, 6 x {u32 kind,
// i32 value} hot buttons.
#include <cstdint>
#include <string>
#include <vector>

class living_entity;
struct PlayerRecord;

constexpr uint32_t PLR_MAGIC = 0x52594C50;
constexpr uint32_t PLR_VERSION = 8;
constexpr int PLR_NAME_LEN = 32;
constexpr int PLR_DESCRIPTION_LEN = 256;
constexpr int PLR_EQUIPMENT = 9;
constexpr int PLR_SKILLS = 36;
constexpr int PLR_HOT_BUTTONS = 6;
constexpr int PLR_MAX_INVENTORY = 521;
constexpr int PLR_MAX_CHAINS = 40;
constexpr int PLR_AUTOSAVE_MS = 300000;

enum PlrCode {
  PLR_OK = 0, PLR_EXISTS = 1, PLR_NO_DIRECTORY = 2, PLR_CANNOT_OPEN = 2, PLR_CANNOT_WRITE = 3, PLR_BAD_MAGIC = 3,
  PLR_OLD_VERSION = 4, PLR_MALFORMED = 5
};

struct PlrHeader {
  char name[PLR_NAME_LEN] = {};
  uint32_t hero_type = 0;
  uint32_t member_value = 0;
  char description[PLR_DESCRIPTION_LEN] = {};
  uint16_t level = 1;
};

struct PlrData {
  uint32_t version = PLR_VERSION;
  PlrHeader header;
  uint32_t experience = 0;
  float max_hp = 0.0f;
  uint16_t max_ap = 0;
  uint32_t unspent = 0;
  int32_t equipment[PLR_EQUIPMENT] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  struct Stack {
    uint32_t item, count;
    int32_t charges;
  };
  std::vector<Stack> inventory;
  uint32_t gold = 0;
  uint8_t skills[PLR_SKILLS] = {};
  struct Chain {
    uint32_t skill, value;
    int32_t slot;
  };
  std::vector<Chain> chains;
  struct Hot {
    uint32_t kind;
    int32_t value;
  };
  Hot hot[PLR_HOT_BUTTONS] = {{0, -1}, {0, -1}, {0, -1}, {0, -1}, {0, -1}, {0, -1}};
};

// The bytes of a file, and their reading: PLR_OK, PLR_BAD_MAGIC,
// PLR_OLD_VERSION, or PLR_MALFORMED for a truncated file, a string without
// its NUL in its room, counts beyond their tables or bytes left over.
std::vector<uint8_t> plr_encode(const PlrData& d);
int plr_decode(const uint8_t* bytes, int size, PlrData* out);
int plr_decode_header(const uint8_t* bytes, int size, PlrHeader* out);

// The file name of a hero: letters, digits, spaces, '-' and '_' kept,
// anything else '_' (no separators, no dot paths); "" for a name that
// keeps nothing.
std::string plr_file_name(const char* hero_name);

// The starting skills of a new hero of type 0..3 (others: none).
void plr_starting_skills(int hero_type, uint8_t out[PLR_SKILLS]);

int plr_create(const char* name, int hero_type, const char* description);
int plr_save_member(PlayerRecord* member);
int plr_read_header(PlrHeader* out, const char* file_name);
// PLR_OK when the file was applied; the entity and the party are left as
// they were on any other answer.
int plr_apply(living_entity* e, const char* file_name);
bool plr_autosave_due();
int plr_save_selected();
void plr_autosave_init();
