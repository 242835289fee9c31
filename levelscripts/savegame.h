#pragma once
// The save image: the whole persistent state of a campaign in one static
// buffer of fixed sections, laid out at start-up and at every new game. Each
// subsystem keeps its state in its section; a .sav file is the used part of
// the buffer. Saving writes a new file beside the old one and renames it over,
// so a failed save never costs the previous one. Loading reads the file into
// a scratch copy and checks every section before anything live changes, so a
// damaged file is refused whole.
#include <cstddef>
#include <cstdint>

#include "levelscripts/level_scripts.h"

#define SAVE_IMAGE_CAPACITY 307200
#define SAVE_HEADER_SIZE 504
#define SAVE_HEADER_LENGTH_WORD 492
#define SAVE_THUMB_W 201
#define SAVE_THUMB_H 151
#define SAVE_THUMB_SIZE (SAVE_THUMB_W * SAVE_THUMB_H * 2)
#define SAVE_VERSION 38
#define SAVE_OLDEST_VERSION 37
#define SAVE_DESCRIPTION_MAX 255
#define SAVE_MAGIC 0x67564153u  // "SAVg"
// A living entity's saved record (written by the entity's own service).
#define SAVE_ENTITY_RECORD_SIZE 380
#define SAVE_MAX_ENTITIES 175
#define SAVE_MAX_LEVEL_ITEMS 512
#define SAVE_MAX_AUTOMAP_LABELS 128
#define SAVE_AUTOMAP_LABEL_SIZE 52
#define SAVE_TWO_STAGE_PER_LEVEL 121
#define SAVE_HOT_CHARACTERS 5
#define SAVE_HOT_SLOTS 6
#define SAVE_MAX_INVENTORY_ENTRIES 521

// Sections, in the order the layout places them.
enum SaveSection {
  SEC_HEADER, SEC_THUMBNAIL, SEC_LEVEL_DATA, SEC_INVENTORY, SEC_CONVERSATION, SEC_ITEMS, SEC_ENTITIES,
  SEC_CAMERA, SEC_ITEM_OBJECTS, SEC_QUEST_FLAGS, SEC_LEVEL_ITEMS, SEC_TWO_STAGE, SEC_AUTOMAP_LABELS,
  SEC_HOT_BUTTONS, NUM_SAVE_SECTIONS
};

struct SaveLevelRecord {
  int offset;  // of the level's data area in the image
  int flag_count;
  int automap_bits;
  int int_count;
  int float_count;
  int size;
};

struct SaveGameImage {
  uint8_t* buffer;
  int capacity;
  int cursor;  // bytes used: the length of a save file
  int offset[NUM_SAVE_SECTIONS];
  int size[NUM_SAVE_SECTIONS];
  SaveLevelRecord levels[NUM_LEVEL_SCRIPTS];
  int conversation_offset[NUM_LEVEL_SCRIPTS][MAX_LEVEL_SCRIPT_ENTRIES];
  int conversation_size[NUM_LEVEL_SCRIPTS][MAX_LEVEL_SCRIPT_ENTRIES];
  char pending_name[128];
  int32_t pending_mode;  // -1 when nothing is pending
  int32_t version;       // of the last header read
};
extern SaveGameImage Save_image;

// Start-up: the image and its layout ("SAVE GAME ALLOCATED : %d").
void savegame_init();
// Zeroes the image and places the sections (start-up and each new game).
void savegame_layout();
uint8_t* save_section(SaveSection s);
int save_section_size(SaveSection s);

// Little-endian words inside the image.
uint32_t save_get_u32(const uint8_t* p);
void save_put_u32(uint8_t* p, uint32_t v);

// Appends a tagged part into its section; every put past the section's end
// fails the writer (and so the save).
class SaveWriter {
 public:
  SaveWriter(uint8_t* start, int capacity) : start_(start), capacity_(capacity) {}
  bool put_bytes(const void* bytes, int n);
  bool put_u8(uint8_t v) { return put_bytes(&v, 1); }
  bool put_u32(uint32_t v);
  bool put_i32(int32_t v) { return put_u32(static_cast<uint32_t>(v)); }
  bool put_float(float v);
  bool put_tag(const char tag[4]) { return put_bytes(tag, 4); }
  int used() const { return used_; }
  bool ok() const { return ok_; }
  uint8_t* at(int offset) { return start_ + offset; }

 private:
  uint8_t* start_;
  int capacity_;
  int used_ = 0;
  bool ok_ = true;
};

// Reads a tagged part; every read past the section's end fails the reader
// and gives zeros, so a damaged count never reads outside its section.
class SaveReader {
 public:
  SaveReader(const uint8_t* start, int capacity) : start_(start), capacity_(capacity) {}
  bool get_bytes(void* out, int n);
  uint8_t get_u8();
  uint32_t get_u32();
  int32_t get_i32() { return static_cast<int32_t>(get_u32()); }
  float get_float();
  bool tag_is(const char tag[4]);
  int used() const { return used_; }
  int remaining() const { return capacity_ - used_; }
  bool ok() const { return ok_; }
  void fail() { ok_ = false; }

 private:
  const uint8_t* start_;
  int capacity_;
  int used_ = 0;
  bool ok_ = true;
};

// Writes the save (header, thumbnail, the tagged parts built now) into the
// save folder under the name. False, with any older file of that name left
// as it was, on every failure; a description of 256 characters or more fails.
bool save_write(const char* filename, const char* description);
// 1 valid, 0 a section size differs from this build's layout, -1 not a save
// of ours (magic, version, level, script, header length).
struct SaveHeaderInfo {
  char level[128];
  char script[32];
  uint32_t word168;
  float play_time;
  char description[256];
};
int save_read_header(const char* filename, SaveHeaderInfo* info);
// Checks a header held in memory (504 bytes).
int save_header_check(const uint8_t* header, SaveHeaderInfo* info);
// Loads the save: refused whole (nothing live changed) when the header, the
// length or any section is bad; then hands each section to its restorer.
bool save_read(const char* filename, int mode);
// The same from bytes in memory (tests, fuzzing): true when it would load.
bool save_check_bytes(const uint8_t* bytes, size_t length);
// Rewrites header and thumbnail over an existing file (the save screen's
// description and picture).
bool save_rewrite_header(const char* filename, const char* description);

// The deferred load of the next level start.
void savegame_set_pending_load(const char* filename, int mode);
int savegame_pending_load_length();
// Runs the pending load; 0 when it fails.
int savegame_load_pending();

// Seconds of play, written into the header.
extern float Savegame_play_time;
// Tests only: saves are written in small pieces with pauses, so that a test
// can kill the game in the middle of a write.
extern bool Save_write_slowly;

// Level items still in the world (name checksums).
bool save_level_item_add(uint32_t checksum);
void save_level_item_remove(uint32_t checksum);
bool save_level_item_listed(uint32_t checksum);
int save_level_item_count();

// Two-stage (open/closed, second stage) objects of each level, keyed by the
// checksum of the script name followed by the object's name.
uint32_t two_stage_key(const char* script, const char* object);
// Records the bits; false when the level's block is full or the level unknown.
bool two_stage_state_set_key(int level, uint32_t key, bool open, bool second_stage);
// False (and both bits clear) when the object is not recorded.
bool two_stage_state_get_key(int level, uint32_t key, bool* open, bool* second_stage);
int two_stage_count(int level);
uint32_t two_stage_checksum_at(int level, int i);

// Automap labels.
struct AutomapLabel {
  uint32_t level;
  int32_t script;
  float x, y;
  uint32_t word;
  char text[32];
};
bool automap_label_add(const AutomapLabel& label);
void automap_label_remove(uint32_t level, int32_t script, float x, float y);
void automap_label_remove_all(uint32_t level, int32_t script);
int automap_label_count();
AutomapLabel automap_label_at(int i);

// Hot buttons: character 0..4 (4 the summon), slot 0..5.
bool hotbutton_get(uint8_t* kind, uint32_t* value, int character, int slot);
void hotbutton_set(int character, int slot, uint8_t kind, uint32_t value);
void hotbuttons_clear(int character);
void hotbutton_clear(int character, int slot);
