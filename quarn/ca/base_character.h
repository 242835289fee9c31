#pragma once
// Base characters: loaded character kinds. A base character owns its meshes
// (up to two variants, each with an optional shadow mesh), the skeleton
// description that comes with the mesh, and up to 100 animations. Many
// character instances share one. Animations come from .mvf files or from
// the animation pack, one file read whole whose entries are .mvf images.
//
// Animation slots keep their index for the character's life: removing one
// that is not the last leaves an empty (null) slot, which every query skips.
#include <cstdint>

#include "quarn/ca/skeleton.h"
#include "quarn/ca/vim.h"

struct MemArena;

#define MAX_BASE_CHARACTERS 200
#define MAX_MESH_RECORDS 205
#define MAX_CHARACTER_ANIMS 100
#define MAX_CHARACTER_VARIANTS 3
constexpr int ANIM_PACK_SIZE = 1048576;
constexpr int ANIM_PACK_MAX_ENTRIES = 70;
constexpr int ANIM_PACK_NAME_BYTES = 64;
constexpr int BASE_CHARACTER_NAME_MAX = 68;
constexpr int MESH_RECORD_NAME_MAX = 32;

constexpr uint32_t BC_IN_USE = 1;
constexpr uint32_t BC_KEEP = 2;
constexpr uint32_t BC_MESHES_LOADED = 4;
constexpr uint32_t BC_IN_ARENA = 8;
constexpr uint32_t BC_MARKED = 16;

struct BaseCharacter;

struct MeshRecord {
  BaseCharacter* owner;       // null: free
  VimBonePart* skeleton;      // the mesh's bone part
  char mesh_name[MESH_RECORD_NAME_MAX];
  VimMesh* mesh;
  VimMesh* shadow;
};

struct BaseCharacter {
  char name[BASE_CHARACTER_NAME_MAX];
  uint32_t flags;
  int32_t anim_count;
  int32_t mark_count;
  int32_t spare;
  skeleton* anims[MAX_CHARACTER_ANIMS];
  MeshRecord* current;
  MeshRecord* meshes[MAX_CHARACTER_VARIANTS];
  MemArena* arena;
};

// Resets the tables and gives the shared name pool its buffer (-1: 5120
// bytes); also resets the skeleton counters.
void character_instance_system_init(int string_pool_size);
void character_instance_system_shutdown();

// Loads a character under the first of `count` names (at most 3: the base
// name and two further variants). Null when its mesh cannot be loaded; fatal
// when all MAX_BASE_CHARACTERS records are in use.
BaseCharacter* base_character_load(const char* const* names, int count, MemArena* arena, MemArena* restore_arena);
BaseCharacter* character_find(const char* name);
// Finds or loads; fatal "Couldn't load character %s in charanim.tbl file."
// when it cannot be had. Reloads the bitmaps of a found character whose
// bitmaps were flushed; keep = 1 keeps it through release of unkept ones.
BaseCharacter* character_load(const char* const* names, int count, int keep, int unused, MemArena* arena,
                              MemArena* restore_arena);

// Adds one animation and returns its slot, or -1 when the file is refused
// (nothing is added then). Fatal when the character's 100 slots are used or
// the file does not open.
int base_character_add_skeleton(BaseCharacter* bc, const char* file_name, const char* anim_name, int kind,
                                int unused, int reuse, int root_tracking);
void base_character_remove_skeletons(BaseCharacter* bc);
void base_character_remove_skeleton(BaseCharacter* bc, int index);
void base_character_mark(BaseCharacter* bc);
void base_character_release_to_mark(BaseCharacter* bc);

// Loads a variant's mesh and shadow mesh into the mesh record; false when
// the mesh itself cannot be loaded.
bool base_character_load_shadow(BaseCharacter* bc, const char* name, MeshRecord* mr);

int character_find_anim(const BaseCharacter* bc, const char* name, int kind);
// Bone index by name; bone count + k for bone tag k; -1.
int character_find_bone(const BaseCharacter* bc, const char* name);
void character_select_variant(BaseCharacter* bc, int variant);
void character_set_bitmap(BaseCharacter* bc, int slot, const char* file_name);

// Sound events of animation `anim` (frames of 160 ticks).
void base_character_add_event(BaseCharacter* bc, int anim, const char* name, float frame);
void base_character_add_event_if_absent(BaseCharacter* bc, int anim, const char* name, float frame);
void base_character_set_event(BaseCharacter* bc, int anim, const char* name, float frame);

void base_character_release(BaseCharacter* bc);
void base_character_release_unkept();
void base_character_memory_report(const BaseCharacter* bc);

// The animation pack. False (pack absent) when the file does not open or is
// refused.
bool anim_pack_load(const char* file_name);
void anim_pack_release();
bool anim_pack_present();
bool anim_pack_find(const char* file_name, int* size, int* offset);

// The character-type lookup the shadow loader asks (Part of the character
// types): -1 when no type has that name, else the type's flags byte (bit 0:
// no shadow mesh). Without a lookup every character gets its shadow mesh.
using CharacterTypeLookup = int (*)(const char* name);
void base_character_set_type_lookup(CharacterTypeLookup lookup);

struct BaseCharacterCounters {
  int count;
  int max_count;
  int total_a;
  int total_b;
  int limit;
};
const BaseCharacterCounters& base_character_counters();

// Names the game's other parts call these by.
inline void base_character_clear_skeletons(BaseCharacter* bc) { base_character_remove_skeletons(bc); }
inline void base_character_unload_extra(BaseCharacter* bc) { base_character_release_to_mark(bc); }
inline void base_character_set_skin(BaseCharacter* bc, int variant) { character_select_variant(bc, variant); }
inline void base_character_set_layer_texture(BaseCharacter* bc, int slot, const char* file) {
  character_set_bitmap(bc, slot, file);
}
inline bool species_bundle_load(const char* file_name) { return anim_pack_load(file_name); }
inline void species_bundle_release_all() { anim_pack_release(); }
