#pragma once
// The living entity's record in the save image (living_entity::save and
// living_entity::load). The image keeps one slot of
// living_entity_save_record_size() bytes per entity; a record that does not
// fit makes the save fail.
//
// Layout, little-endian and packed. Head: u32 type, 3 x f32 position, f32
// heading, i32 placement (the level's index of the start slot or navpoint
// the entity was placed at, -1 none), u32 object flags, u32 state. Live
// types 4, 5, 9: four status entries, u16 level, f32 hp, f32 max hp base,
// u16 ap, u16 max ap base, u32 stance, the AI's data, the spawner slot
// (u32 time left, u32 count, u8 flag). Player characters (7): four status
// entries, 9 x i32 item index of equipment slots 0-8 (-1 empty), 36 x u32
// party timers' time left, 36 x u8 statistics, u16 level, u32 experience,
// f32 hp, f32 max hp base, u16 ap, u16 max ap base, u32 stance, the AI's
// data. Dead types: nothing more. Tail: u8 death move when down.
// A status entry: u8 mode, u8 slot, u8 source (restored as none), u32 time
// left of the end, u32 time left of the tick, u32 spell, f32 strength.
// Times left are ms, SAVE_TIME_UNSET for a timer that was not running.
#include <cstdint>

class living_entity;

constexpr int SAVE_ENTITY_SLOT_SIZE = 380;
constexpr int SAVE_STATUS_ENTRIES = 4;
constexpr int SAVE_EQUIPMENT_SLOTS = 9;
constexpr int SAVE_PARTY_TIMERS = 36;
constexpr int SAVE_STATS = 36;
constexpr int32_t SAVE_TIME_UNSET = 1072800000;
constexpr int SAVE_HEAD_SIZE = 32;
constexpr int SAVE_STATUS_ENTRY_SIZE = 19;

int living_entity_save_record_size();

struct SpawnerSlot {
  int32_t timer = -1;  // game-clock timestamp
  int32_t count = -1;
  uint8_t flag = 0;
};

// What the record needs of the AI, the party, the level and its spawners.
struct EntitySaveHooks {
  // The AI's own data: written into room bytes (its length, -1 when it does
  // not fit), its length in a record (-1 when malformed), and read back.
  int (*ai_save)(const living_entity* e, uint8_t* out, int room) = nullptr;
  int (*ai_length)(const uint8_t* in, int room) = nullptr;
  void (*ai_load)(living_entity* e, const uint8_t* in, int length) = nullptr;
  int32_t* (*party_timers)(living_entity* e) = nullptr;  // 36 timestamps, null none
  int32_t (*placement_index)(const living_entity* e) = nullptr;
  void (*placement_restore)(living_entity* e, int32_t index) = nullptr;
  bool (*spawner_get)(const living_entity* e, SpawnerSlot* out) = nullptr;
  void (*spawner_set)(living_entity* e, const SpawnerSlot& in) = nullptr;
};
void entity_save_set_hooks(const EntitySaveHooks& hooks);
