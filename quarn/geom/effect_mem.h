#pragma once
// Effect memory: the table of effect files (bases) and of the effect names
// the game asks for, read from "demo_effects.arr", and the fixed effects
// arena those files are streamed into by pool class and size. A file is
// placed when first needed, read by the asset preload queue, checked and
// made resident when the read completes, and evicted again by a level reset,
// an arena reset, a cutscene release or a slot it loses.
//
// The rule a caller must know: effect_base_get answers null whenever the
// effect cannot be had (unknown, unplaceable, unreadable or a bad file);
// callers treat null as "no effect". Everything runs on the main thread.
#include <cstdint>
#include <cstdio>

#include "quarn/geom/effect_image.h"

struct MemArena;

#define MAX_EFFECT_FILES 192
#define MAX_EFFECT_BASES 440  // effect names
#define MAX_EFFECT_LIST_NAMES 32  // names on one line of the effect list
#define EFFECT_LIST_TOKEN_SIZE 41  // 40 characters and the terminator
#define EFFECT_LIST_LINE_SIZE 1024

constexpr uint32_t EFFECTS_ARENA_SIZE = 3312832;
constexpr uint32_t EFFECT_PRELOAD_REGION = 312512;
constexpr uint32_t EFFECT_SMALL_SLOT = 250048;
constexpr uint32_t EFFECT_LARGE_SLOT = 500032;
constexpr uint32_t EFFECT_BIG_REGION = 3000320;
constexpr int EFFECT_SLOTS = 4;

enum EffectPool : int {
  EFFECT_POOL_LEVEL = 0,
  EFFECT_POOL_PRELOAD = 1,
  EFFECT_POOL_SPELL = 2,
  EFFECT_POOL_CUTSCENE = 3,
  EFFECT_POOL_SUMMON = 4,
  EFFECT_POOL_CHARACTER = 5
};

// Flags word of a base.
constexpr uint32_t EFB_SECOND_SIZE_MASK = 0x7FFFFF;
constexpr uint32_t EFB_KEEP = 1u << 23;
constexpr uint32_t EFB_FRESH = 1u << 24;
constexpr uint32_t EFB_LARGE_SLOT = 1u << 25;
constexpr uint32_t EFB_OUTSIDE = 1u << 26;
constexpr int EFB_POOL_SHIFT = 27;
constexpr uint32_t EFB_POOL_MASK = 7u << 27;
constexpr uint32_t EFB_REQUESTED = 1u << 30;
constexpr uint32_t EFB_RESIDENT = 1u << 31;

struct EffectBase {
  uint16_t def_count;
  uint16_t version;
  uint32_t first_size;
  uint32_t flags;
  uint8_t* image;  // null while not placed
  const char* filename;

  int pool() const { return static_cast<int>((flags & EFB_POOL_MASK) >> EFB_POOL_SHIFT); }
  uint32_t second_size() const { return flags & EFB_SECOND_SIZE_MASK; }
  bool resident() const { return (flags & EFB_RESIDENT) != 0; }
};

struct EffectName {
  const char* name;  // lower case
  uint8_t base;
  uint8_t def;  // 255 until resolved
};

constexpr uint8_t EFFECT_DEF_UNRESOLVED = 255;

// Start-up: empties every table and reads "demo_effects.arr". 0 at the end
// of the file; -1 when it cannot be opened, a line is bad or the file table
// is full.
int effects_init();
// Reads one line of the list from fp (lines of at most 1,024 characters).
// Fills the file name, pool class and names (each up to 40 characters) and
// returns 1; 0 for a line that is skipped (too few tokens, unknown pool);
// -1 at the end of the file or for a bad line (a token longer than its
// buffer, more than 32 names).
int effect_list_read_line(FILE* fp, int* line_count, char* filename, int* pool, int* name_count,
                          char names[][EFFECT_LIST_TOKEN_SIZE]);
// The same on a line already in memory (no end-of-file answer).
int effect_list_parse_line(const char* line, char* filename, int* pool, int* name_count,
                           char names[][EFFECT_LIST_TOKEN_SIZE]);
// Pool class of a pool word, -1 when it is none.
int effect_pool_from_name(const char* word);
const char* effect_pool_name(int pool);

int effect_name_find(const char* name);
int effect_base_find_file(const char* filename);
// The image view of a resident base, or an invalid view.
EffectImage effect_base_image(int base);
// A definition inside a resident image.
struct EffectDefRef {
  EffectImage image;
  uint32_t def = 0;  // offset of the definition record; 0 = none
  int base = -1;
  explicit operator bool() const { return def != 0; }
};
// The definition that a name stands for, paging its base in when needed;
// empty when it cannot be had.
EffectDefRef effect_base_get(int name_index);
// effect_name_find then effect_base_get; the name's index through index_out.
EffectDefRef effect_base_find(const char* name, int* index_out);
int effect_base_page_in(int base);
int effect_base_add_streaming(int base);
int effect_base_request(const char* name);
// Called by the preload queue: memory for the file's image (size: the whole
// file's length), and the completed read.
void* effect_base_alloc_image(int base, int file_length);
bool effect_base_loaded(int base);
void effect_base_unload(int base);
int effects_load_preload();
void effects_reset_arena();
void effects_release_cutscene_region();
void effects_level_reset();
bool effect_base_is_loaded(const char* filename);
int effects_all_loaded(const char* const names[25]);
bool effect_base_outside_arena(int name_index);
int effect_base_count();
int effect_name_count();
const EffectBase* effect_base_at(int base);
const EffectName* effect_name_at(int name_index);
void effect_base_set_header(int base, int def_count, uint32_t first_size, uint32_t second_size, int version);
int effect_base_read_header(int base);
// References held by streaming requests and instances.
int effect_base_refs(int base);
void effect_base_add_ref(int base);
void effect_base_drop_ref(int base);
// Occupant of a slot (-1 free).
int effect_small_slot(int slot);
int effect_large_slot(int slot);
int effect_big_region_users();
bool effect_in_cutscene_pool(const char* filename);

// The arenas the placement chooses from; the level and the character code
// hand theirs over (null: such images go to the effects arena).
void effects_set_level_arena(MemArena* arena);
void effects_set_character_arena(MemArena* arena);
MemArena* effects_arena();
uint8_t* effects_arena_base();

// What is told of each definition as its image arrives, and after a
// cutscene release; installed by the effect-instance code (null: nothing).
using effect_def_relocate_fn = bool (*)(EffectImage& img, uint32_t def);
using effect_def_reset_fn = void (*)(EffectImage& img, uint32_t def, int value);
void effects_set_definition_hooks(effect_def_relocate_fn relocate, effect_def_reset_fn reset);
// What resets the effect-instance pools with the emitters' at start-up and
// at a level reset (null: the emitters' only).
void effects_set_pools_reset(void (*reset)());
