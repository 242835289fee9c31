// The living entity's save record: fixtures written byte by byte from the
// record's layout, round trips, and records that are short or do not fit.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Engine/Objects/entity_save.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_component.h"
#include "Engine/characterinfo/experience.h"
#include "quarn/os/timer.h"
#include "tests/support/le_bytes.h"
#include "tests/support/world_kit.h"

namespace {

struct Bytes : LeBytes {
  Bytes& head(uint32_t type, float x, float y, float z, uint32_t flags, uint32_t state) {
    u32(type).f32(x).f32(y).f32(z).f32(0.0f).u32(0xFFFFFFFFu).u32(flags).u32(state);
    return *this;
  }
  Bytes& empty_status() {
    u8(255).u8(0).u8(0).u32(0).u32(0).u32(0).u32(0);
    return *this;
  }
};

class Save_record_test : public WorldTest {};

TEST_F(Save_record_test, DeadCreatureIsHeadAndTailOnly) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {1, 0, 2});
  rat->type = OBJ_DEAD_CREATURE;
  uint8_t buf[SAVE_ENTITY_SLOT_SIZE];
  EXPECT_EQ(rat->save(buf, sizeof buf), 33);

  living_entity* other = kit.spawn(kit.type("Rat"), {0, 0, 0});
  other->equipment[EQ_SHIELD] = item_create_by_name("Club");
  Bytes fixture;
  fixture.head(OBJ_DEAD_CREATURE, 4.0f, 0.0f, -3.0f, OF_ACTIVE, ES_DEAD | ES_DOWN).u8(0);
  ASSERT_EQ(fixture.b.size(), 33u);
  ASSERT_EQ(other->load(fixture.b.data(), static_cast<int>(fixture.b.size())), 33);
  EXPECT_EQ(other->type, OBJ_DEAD_CREATURE);
  EXPECT_EQ(other->pos, vector(4.0f, 0.0f, -3.0f));
  EXPECT_TRUE(other->state & ES_DOWN);
  // A down monster's carried items do not survive the load.
  for (item_instance* it : other->equipment) EXPECT_EQ(it, nullptr);
  EXPECT_EQ(entity_first(entity_dead_list()), other);
}

TEST_F(Save_record_test, CreatureFixtureLoadsAndSavesBackByteForByte) {
  Bytes f;
  f.head(OBJ_CREATURE, 2.5f, 0.0f, 7.0f, OF_ACTIVE, ES_COMBAT_READY);
  f.u8(STATUS_TIMED).u8(STATUS_SLEEP).u8(255).u32(5000).u32(static_cast<uint32_t>(SAVE_TIME_UNSET)).u32(12).f32(0.5f);
  f.u8(STATUS_NOT_CURABLE).u8(STATUS_POISON).u8(255).u32(static_cast<uint32_t>(-200)).u32(300).u32(7).f32(2.0f);
  f.empty_status().empty_status();
  f.u16(3).f32(17.5f).f32(30.0f).u16(4).u16(10).u32(0xFFFFFFFFu);
  f.u8(AI_STATE_COMBAT).u8(15).u32(AIF_MELEE).u32(4);  // AI: state, sub-state, flags, behaviour class
  f.u32(0).u32(0xFFFFFFFFu).u8(0);
  f.u8(0);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int n = static_cast<int>(f.b.size());
  ASSERT_EQ(rat->load(f.b.data(), n), n);
  EXPECT_EQ(rat->level, 3);
  EXPECT_EQ(rat->experience, xp_for_level(3));
  EXPECT_EQ(rat->hp, 17.5f);
  EXPECT_EQ(rat->max_hp_base, 30.0f);
  EXPECT_EQ(rat->ap, 4);
  EXPECT_EQ(rat->max_ap_base, 10);
  EXPECT_EQ(rat->ai.state, AI_STATE_COMBAT);
  EXPECT_EQ(rat->ai.sub_state, 15);
  EXPECT_EQ(rat->ai.behaviour, 4);
  EXPECT_TRUE(rat->has_status_effect(STATUS_SLEEP));
  EXPECT_EQ(rat->get_status_effect_time(STATUS_SLEEP), 5000);
  EXPECT_EQ(rat->status[STATUS_SLEEP].source, -1) << "handles do not outlive a load";
  EXPECT_EQ(rat->status[STATUS_SLEEP].origin, 12);
  // A timer that ran out before the save loads as expired.
  EXPECT_EQ(rat->get_status_effect_time(STATUS_POISON), 0);
  EXPECT_EQ(rat->status[STATUS_POISON].mode, STATUS_NOT_CURABLE);
  uint8_t out[SAVE_ENTITY_SLOT_SIZE];
  const int written = rat->save(out, sizeof out);
  ASSERT_EQ(written, n);
  // The expired timer is written back as 0 ms left.
  std::vector<uint8_t> expected = f.b;
  const size_t poison_end = SAVE_HEAD_SIZE + SAVE_STATUS_ENTRY_SIZE + 3;
  std::memset(&expected[poison_end], 0, 4);
  EXPECT_EQ(std::vector<uint8_t>(out, out + written), expected);
}

TEST_F(Save_record_test, PlayerCharacterRoundTripKeepsPointsStatusesAndEquipment) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {3, 0, 3}, OBJ_PLAYER);
  hero->hp = 23.0f;
  hero->ap = 7;
  hero->level = 4;
  hero->experience = 6500;
  hero->stats[9] = 35;
  item_instance* old_weapon = hero->equipment[EQ_WEAPON];
  item_instance* dagger = item_create_by_name("Dagger");
  item_instance* out1 = nullptr;
  item_instance* out2 = nullptr;
  entity_equip_item(&out1, &out2, hero, EQ_WEAPON, dagger);
  item_free(out1);
  item_free(out2);
  (void)old_weapon;
  // Six statuses: the first four in the fixed order 16, 10, 9, 8, 1, 7, 5,
  // 11, 2, 0, ... are kept.
  for (int id : {STATUS_BLIND, STATUS_SILENCE, STATUS_REGEN, STATUS_POISON, STATUS_CURSE, STATUS_BLESS})
    hero->apply_status_effect(id, 8000, -1, 0.25f, -1, false);
  // The behaviour class the player chose for him on the status screen.
  ai_set_behaviour(&hero->ai, 3);
  uint8_t buf[SAVE_ENTITY_SLOT_SIZE];
  const int n = hero->save(buf, sizeof buf);
  EXPECT_EQ(n, 347 + 10);  // the AI's data: state, sub-state, flags, behaviour
  EXPECT_LE(n, living_entity_save_record_size());

  living_entity* copy = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  ASSERT_EQ(copy->load(buf, n), n);
  EXPECT_EQ(copy->hp, 23.0f);
  EXPECT_EQ(copy->ap, 7);
  EXPECT_EQ(copy->level, 4);
  EXPECT_EQ(copy->experience, 6500u);
  EXPECT_EQ(copy->stats[9], 35);
  EXPECT_EQ(copy->ai.behaviour, 3);
  EXPECT_EQ(copy->pos, vector(3, 0, 3));
  ASSERT_TRUE(copy->equipment[EQ_WEAPON]);
  EXPECT_STREQ(copy->equipment[EQ_WEAPON]->info->name, "Dagger");
  for (int id : {STATUS_SILENCE, STATUS_REGEN, STATUS_POISON, STATUS_BLIND})
    EXPECT_TRUE(copy->has_status_effect(id)) << id;
  EXPECT_FALSE(copy->has_status_effect(STATUS_CURSE));
  EXPECT_FALSE(copy->has_status_effect(STATUS_BLESS));
  uint8_t again[SAVE_ENTITY_SLOT_SIZE];
  ASSERT_EQ(copy->save(again, sizeof again), n);
  // Sources are not kept: the only bytes allowed to differ are none here,
  // since the statuses had no source to begin with.
  EXPECT_EQ(std::memcmp(buf, again, static_cast<size_t>(n)), 0);
}

TEST_F(Save_record_test, WriterStopsAtItsRoomAndReaderRefusesShortOrForeignRecords) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  std::vector<uint8_t> guarded(400, 0xAB);
  EXPECT_EQ(hero->save(guarded.data(), 100), -1);
  for (size_t i = 100; i < guarded.size(); i++) ASSERT_EQ(guarded[i], 0xAB) << "wrote past the room at " << i;
  uint8_t buf[SAVE_ENTITY_SLOT_SIZE];
  const int n = hero->save(buf, sizeof buf);
  ASSERT_GT(n, 0);
  living_entity* copy = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  copy->hp = 5.0f;
  for (int cut = 0; cut < n; cut++) {
    ASSERT_EQ(copy->load(buf, cut), -1) << cut;
    ASSERT_EQ(copy->hp, 5.0f) << "nothing changes before the record is whole";
  }
  // A creature's record does not load into a player character.
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int rn = rat->save(buf, sizeof buf);
  EXPECT_EQ(copy->load(buf, rn), -1);
  // A status slot number beyond the 18 is refused.
  buf[SAVE_HEAD_SIZE] = STATUS_TIMED;
  buf[SAVE_HEAD_SIZE + 1] = 40;
  EXPECT_EQ(rat->load(buf, rn), -1);
}

}  // namespace
