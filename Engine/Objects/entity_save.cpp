// The living entity's record in the save image: a head every type shares,
// then statuses, points, equipment and the AI's own data by type, then the
// death move. Little-endian, packed. The writer stops at the room it is
// given; the reader checks the whole record before it changes anything.
#include "Engine/Objects/entity_save.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/experience.h"
#include "quarn/os/timer.h"

namespace {

EntitySaveHooks Hooks;

// The order statuses are looked at; the first four saved ones are kept.
const int Status_order[NUM_STATUS_EFFECTS] = {16, 10, 9, 8, 1, 7, 5, 11, 2, 0, 3, 4, 6, 12, 13, 14, 15, 17};

int32_t time_left(int32_t stamp) {
  return stamp < 0 ? SAVE_TIME_UNSET : timestamp_time_left(stamp, timer_game_clock);
}
int32_t stamp_from(int32_t left) {
  if (left == SAVE_TIME_UNSET) return -1;
  return timestamp_set(timer_game_clock, left > 0 ? left : 0);
}

class Writer {
 public:
  Writer(uint8_t* b, int size) : b_(b), size_(size) {}
  void u8(uint32_t v) { put(&v, 1); }
  void u16(uint32_t v) { put(&v, 2); }
  void u32(uint32_t v) { put(&v, 4); }
  void f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
  void bytes(const uint8_t* p, int n) {
    if (!ok_ || used_ + n > size_) {
      ok_ = false;
      return;
    }
    std::memcpy(b_ + used_, p, n);
    used_ += n;
  }
  bool ok() const { return ok_; }
  int used() const { return used_; }
  uint8_t* at() { return b_ + used_; }
  int room() const { return size_ - used_; }
  void skip(int n) {
    if (used_ + n > size_) ok_ = false;
    else used_ += n;
  }

 private:
  void put(const uint32_t* v, int n) {
    uint8_t tmp[4];
    for (int i = 0; i < n; i++) tmp[i] = static_cast<uint8_t>(*v >> (8 * i));
    bytes(tmp, n);
  }
  uint8_t* b_;
  int size_;
  int used_ = 0;
  bool ok_ = true;
};

class Reader {
 public:
  Reader(const uint8_t* b, int size) : b_(b), size_(size) {}
  uint32_t u8() { return get(1); }
  uint32_t u16() { return get(2); }
  uint32_t u32() { return get(4); }
  int32_t i32() { return static_cast<int32_t>(get(4)); }
  float f32() {
    const uint32_t v = get(4);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  bool ok() const { return ok_; }
  int used() const { return used_; }
  const uint8_t* at() const { return b_ + used_; }
  int room() const { return size_ - used_; }
  void skip(int n) {
    if (n < 0 || used_ + n > size_) ok_ = false;
    else used_ += n;
  }

 private:
  uint32_t get(int n) {
    if (!ok_ || used_ + n > size_) {
      ok_ = false;
      return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v |= static_cast<uint32_t>(b_[used_ + i]) << (8 * i);
    used_ += n;
    return v;
  }
  const uint8_t* b_;
  int size_;
  int used_ = 0;
  bool ok_ = true;
};

struct SavedStatus {
  uint8_t state, slot;
  int32_t first, second, value;
  float strength;
};

struct Parsed {
  uint32_t type;
  vector pos;
  float heading;
  int32_t placement;
  uint32_t flags, state;
  SavedStatus status[SAVE_STATUS_ENTRIES];
  int32_t equipment[SAVE_EQUIPMENT_SLOTS];
  int32_t timers[SAVE_PARTY_TIMERS];
  uint8_t stats[SAVE_STATS];
  uint16_t level;
  uint32_t experience;
  float hp, max_hp;
  uint16_t ap, max_ap;
  int32_t stance;
  int ai_at, ai_length;
  int32_t spawner_time, spawner_count;
  uint8_t spawner_flag;
  uint8_t death_move;
};

bool alive_type(uint32_t t) { return t == OBJ_NEUTRAL || t == OBJ_CREATURE || t == OBJ_BOSS; }
bool dead_type(uint32_t t) { return t == OBJ_DEAD_CREATURE || t == OBJ_DEAD_PLAYER || t == OBJ_DEAD_BOSS; }

// The AI's own data without the AI subsystem's writer: its state, sub-state,
// flag word and behaviour class (a hero's, chosen on the status screen, is
// the player's to keep).
constexpr int AI_DATA_BYTES = 10;
int default_ai_save(const living_entity* e, uint8_t* out, int room) {
  if (room < AI_DATA_BYTES) return -1;
  out[0] = static_cast<uint8_t>(e->ai.state);
  out[1] = static_cast<uint8_t>(e->ai.sub_state);
  for (int i = 0; i < 4; i++) out[2 + i] = static_cast<uint8_t>(e->ai.flags >> (8 * i));
  for (int i = 0; i < 4; i++) out[6 + i] = static_cast<uint8_t>(static_cast<uint32_t>(e->ai.behaviour) >> (8 * i));
  return AI_DATA_BYTES;
}
int default_ai_length(const uint8_t*, int room) { return room >= AI_DATA_BYTES ? AI_DATA_BYTES : -1; }
void default_ai_load(living_entity* e, const uint8_t* in, int) {
  if (in[0] < AI_NUM_STATES) e->ai.state = in[0];
  e->ai.sub_state = in[1];
  e->ai.flags = in[2] | in[3] << 8 | in[4] << 16 | static_cast<uint32_t>(in[5]) << 24;
  e->ai.behaviour = static_cast<int32_t>(in[6] | in[7] << 8 | in[8] << 16 | static_cast<uint32_t>(in[9]) << 24);
}

}  // namespace

void entity_save_set_hooks(const EntitySaveHooks& hooks) { Hooks = hooks; }

int living_entity_save_record_size() { return SAVE_ENTITY_SLOT_SIZE; }

int living_entity::save(uint8_t* buffer, int size) const {
  Writer w(buffer, size);
  w.u32(static_cast<uint32_t>(type));
  w.f32(pos.x);
  w.f32(pos.y);
  w.f32(pos.z);
  float pitch, bank, heading;
  orient.to_angles(pitch, bank, heading);
  w.f32(heading);
  // An index the level can find again, not the address it had in memory.
  w.u32(static_cast<uint32_t>(Hooks.placement_index ? Hooks.placement_index(this) : -1));
  w.u32(flags);
  w.u32(state);
  auto status_block = [&] {
    int written = 0;
    for (int id : Status_order) {
      const status_effect_slot& s = status[id];
      if (written == SAVE_STATUS_ENTRIES) break;
      if (!(s.mode == STATUS_TIMED || s.mode == STATUS_NOT_CURABLE) || s.end_time == -1) continue;
      w.u8(static_cast<uint32_t>(s.mode));
      w.u8(static_cast<uint32_t>(id));
      w.u8(static_cast<uint8_t>(s.source));
      w.u32(static_cast<uint32_t>(time_left(s.end_time)));
      w.u32(static_cast<uint32_t>(time_left(s.period_timer)));
      w.u32(static_cast<uint32_t>(s.origin));
      w.f32(s.strength);
      written++;
    }
    for (; written < SAVE_STATUS_ENTRIES; written++) {
      w.u8(255);
      w.u8(0);
      w.u8(0);
      for (int i = 0; i < 4; i++) w.u32(0);
    }
  };
  auto ai_block = [&] {
    const int n = Hooks.ai_save ? Hooks.ai_save(this, w.at(), w.room()) : default_ai_save(this, w.at(), w.room());
    if (n < 0) w.skip(w.room() + 1);
    else w.skip(n);
  };
  // Hit and action points, the stance, then the AI's own data.
  auto points_and_ai = [&] {
    w.f32(hp);
    w.f32(max_hp_base);
    w.u16(static_cast<uint16_t>(ap));
    w.u16(max_ap_base);
    w.u32(static_cast<uint32_t>(stance_anim));
    ai_block();
  };
  if (alive_type(static_cast<uint32_t>(type))) {
    status_block();
    w.u16(static_cast<uint16_t>(level));
    points_and_ai();
    SpawnerSlot sp;
    if (Hooks.spawner_get && Hooks.spawner_get(this, &sp)) {
      w.u32(static_cast<uint32_t>(time_left(sp.timer)));
      w.u32(static_cast<uint32_t>(sp.count));
      w.u8(sp.flag == 1 ? 1 : 0);
    } else {
      w.u32(0);
      w.u32(0xFFFFFFFFu);
      w.u8(0);
    }
  } else if (type == OBJ_PLAYER) {
    status_block();
    for (int slot = 0; slot < SAVE_EQUIPMENT_SLOTS; slot++) {
      const item_instance* it = equipment[slot];
      w.u32(it && it->info ? static_cast<uint32_t>(it->info - Item_infos) : 0xFFFFFFFFu);
    }
    const int32_t* timers = Hooks.party_timers ? Hooks.party_timers(const_cast<living_entity*>(this)) : nullptr;
    for (int i = 0; i < SAVE_PARTY_TIMERS; i++) w.u32(static_cast<uint32_t>(timers ? time_left(timers[i]) : 0));
    for (int i = 0; i < SAVE_STATS; i++) w.u8(stats[i]);
    w.u16(static_cast<uint16_t>(level));
    w.u32(experience);
    points_and_ai();
  }
  w.u8((state & ES_DOWN) ? static_cast<uint8_t>(death_move_id) : 0);
  return w.ok() ? w.used() : -1;
}

int living_entity::load(const uint8_t* buffer, int size) {
  Reader r(buffer, size);
  Parsed p{};
  p.type = r.u32();
  p.pos.x = r.f32();
  p.pos.y = r.f32();
  p.pos.z = r.f32();
  p.heading = r.f32();
  p.placement = r.i32();
  p.flags = r.u32();
  p.state = r.u32();
  if (!r.ok()) return -1;
  if (!std::isfinite(p.pos.x) || !std::isfinite(p.pos.y) || !std::isfinite(p.pos.z) || !std::isfinite(p.heading))
    return -1;
  // The loader made the entity with its type: a record of another kind
  // (other than the dead form of a live one) belongs to someone else.
  const bool same = p.type == static_cast<uint32_t>(type) ||
                    (dead_type(p.type) && (p.type == static_cast<uint32_t>(type) + 1));
  if (!same) return -1;
  auto status_block = [&] {
    for (SavedStatus& s : p.status) {
      s.state = static_cast<uint8_t>(r.u8());
      s.slot = static_cast<uint8_t>(r.u8());
      r.u8();
      s.first = r.i32();
      s.second = r.i32();
      s.value = r.i32();
      s.strength = r.f32();
      if ((s.state == STATUS_TIMED || s.state == STATUS_NOT_CURABLE) &&
          (s.slot >= NUM_STATUS_EFFECTS || !std::isfinite(s.strength)))
        return false;
    }
    return r.ok();
  };
  auto ai_block = [&] {
    p.ai_at = r.used();
    p.ai_length = Hooks.ai_length ? Hooks.ai_length(r.at(), r.room()) : default_ai_length(r.at(), r.room());
    r.skip(p.ai_length);
    return p.ai_length >= 0 && r.ok();
  };
  auto points = [&] {
    p.hp = r.f32();
    p.max_hp = r.f32();
    p.ap = static_cast<uint16_t>(r.u16());
    p.max_ap = static_cast<uint16_t>(r.u16());
    p.stance = r.i32();
    return r.ok() && std::isfinite(p.hp) && std::isfinite(p.max_hp) && p.max_hp >= 0.0f;
  };
  const bool live = alive_type(p.type);
  if (live) {
    if (!status_block()) return -1;
    p.level = static_cast<uint16_t>(r.u16());
    if (!points() || !ai_block()) return -1;
    p.spawner_time = r.i32();
    p.spawner_count = r.i32();
    p.spawner_flag = static_cast<uint8_t>(r.u8());
  } else if (p.type == OBJ_PLAYER) {
    if (!status_block()) return -1;
    for (int32_t& e : p.equipment) {
      e = r.i32();
      if (e < -1 || e >= Num_item_infos) return -1;
    }
    for (int32_t& t : p.timers) t = r.i32();
    for (uint8_t& s : p.stats) s = static_cast<uint8_t>(r.u8());
    p.level = static_cast<uint16_t>(r.u16());
    p.experience = r.u32();
    if (!points() || !ai_block()) return -1;
  } else if (!dead_type(p.type)) {
    return -1;
  }
  p.death_move = static_cast<uint8_t>(r.u8());
  if (!r.ok()) return -1;
  if ((live || p.type == OBJ_PLAYER) && (p.level < 1 || p.level > 100)) return -1;

  // The record is whole: apply it.
  type = static_cast<int32_t>(p.type);
  pos = last_pos = p.pos;
  orient = matrix::from_angles(0.0f, 0.0f, p.heading);
  last_orient = orient;
  if (Hooks.placement_restore) Hooks.placement_restore(this, p.placement);
  flags = p.flags;
  state = p.state;
  if (live || p.type == OBJ_PLAYER) {
    for (const SavedStatus& s : p.status) {
      if (s.state != STATUS_TIMED && s.state != STATUS_NOT_CURABLE) continue;
      status_effect_slot& slot = status[s.slot];
      slot.mode = s.state;
      // Handles do not outlive the game that saved them.
      slot.source = -1;
      slot.origin = s.value;
      slot.strength = s.strength;
      slot.end_time = stamp_from(s.first);
      slot.period_timer = stamp_from(s.second);
      if (s.slot == STATUS_TURNED && entity_effects().attach_status)
        slot.visual = entity_effects().attach_status(this, STATUS_TURNED);
    }
  }
  if (live) {
    level = static_cast<int16_t>(p.level);
    experience = xp_for_level(level);
    compute_stats();
  } else if (p.type == OBJ_PLAYER) {
    for (int slot = 0; slot < SAVE_EQUIPMENT_SLOTS; slot++) {
      item_instance* displaced[2] = {};
      if (p.equipment[slot] >= 0) {
        item_instance* it = item_create(p.equipment[slot]);
        if (it) entity_equip_item(&displaced[0], &displaced[1], this, slot, it);
        if (it && equipment[slot] != it) item_free(it);
        std::printf("%d %s\n", slot, it && it->info ? it->info->name : "nothing");
      } else {
        displaced[0] = entity_unequip_slot(this, slot, false);
        std::printf("%d nothing\n", slot);
      }
      item_free(displaced[0]);
      item_free(displaced[1]);
    }
    int32_t* timers = Hooks.party_timers ? Hooks.party_timers(this) : nullptr;
    for (int i = 0; timers && i < SAVE_PARTY_TIMERS; i++) timers[i] = p.timers[i] > 0 ? stamp_from(p.timers[i]) : 0;
    std::memcpy(stats, p.stats, SAVE_STATS);
    level = static_cast<int16_t>(p.level);
    experience = p.experience;
    if (character && character->kind == 206) summoned_form = true;
  }
  if (live || p.type == OBJ_PLAYER) {
    hp = p.hp;
    max_hp_base = p.max_hp;
    ap = static_cast<int16_t>(p.ap);
    max_ap_base = p.max_ap;
    stance_anim = p.stance;
    if (Hooks.ai_load) Hooks.ai_load(this, buffer + p.ai_at, p.ai_length);
    else default_ai_load(this, buffer + p.ai_at, p.ai_length);
  }
  if (live && Hooks.spawner_set) {
    SpawnerSlot sp;
    sp.timer = stamp_from(p.spawner_time);
    sp.count = p.spawner_count;
    sp.flag = p.spawner_flag ? 1 : 0;
    Hooks.spawner_set(this, sp);
  }
  if (state & ES_DOWN) {
    death_move_id = p.death_move;
    death_move = nullptr;
    if (character) {
      if (type == OBJ_NEUTRAL) death_move = charinfo_get_move(character, MOVE_MOVEMENT, death_move_id, true);
      if (!death_move) death_move = charinfo_get_move(character, MOVE_DEATH, death_move_id, true);
      if (!death_move) death_move = charinfo_get_move(character, MOVE_DEATH, 34, true);
    }
    if (!death_move) {
      flags &= ~OF_ACTIVE;
    } else {
      play_move(death_move, 1.0f, false, true, 0);
      if (instance) instance->set_time(instance->anim_length(death_move->anim_slot));
    }
    if (type != OBJ_PLAYER && type != OBJ_DEAD_PLAYER) {
      for (int slot = 0; slot < NUM_EQUIPMENT_SLOTS; slot++) {
        item_free(equipment[slot]);
        equipment[slot] = nullptr;
      }
    }
    entity_list_unlink(this);
    entity_list_append(entity_dead_list(), this);
  }
  if ((state & ES_ALT_ARM) && character && character->kind == 0) refresh_hero_textures(true, true);
  return r.used();
}
