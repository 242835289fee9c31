// Releasing spells on the world kit: local hits against values worked out
// here, deliveries by spell, the RLS_SPL record read from bytes laid out
// by hand, and a networked release applied on the receiving side.
#include "Engine/Objects/spell_cast.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/objects.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "tests/support/world_kit.h"

namespace {

class Spell_cast_test : public WorldTest {
 protected:
  void SetUp() override {
    hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {0, 0, 2});
    hero->level = 5;
    // Heals of eight-sided dice and a named effect for the timed hit.
    Spells[0].die = Spells[4].die = 8;
    Spells[12].hit_effect = "death-touch.vfx";
  }
  void TearDown() override {
    No_resist = false;
    GameFlags &= ~GF_NETWORKED;
  }
  void effect_frames(float seconds, float dt = 1.0f / 30.0f) {
    for (float t = 0; t < seconds; t += dt) {
      kit.advance(dt);
      objects_delete_pending();
      fx_frame(dt, false);
    }
  }
  living_entity* hero = nullptr;
  living_entity* rat = nullptr;
};

TEST_F(Spell_cast_test, HealAddsLevelManyDiceOfTheSpell) {
  hero->hp = 1.0f;
  const int die = Spells[0].die;
  ASSERT_GT(die, 0);
  kit.seed(7);
  float sum = 0.0f;
  for (int i = 0; i < hero->level; i++) sum += std::floor(frand() * die + 1.0f);
  kit.seed(7);
  spell_cast(hero, 0, hero->handle, nullptr, nullptr, nullptr, SS_CAST);
  const float max = static_cast<float>(hero->get_max_points(0));
  EXPECT_FLOAT_EQ(hero->hp, std::min(max, 1.0f + sum));
}

TEST_F(Spell_cast_test, FixedDamageSpellsTakeTheirMultipleOfTheCastersLevel) {
  struct Case {
    int spell;
    float per_level;
  } cases[] = {{104, 20.0f}, {105, 7.0f}};
  for (const Case& c : cases) {
    rat->hp = 500.0f;
    rat->max_hp_base = 500;
    rat->get_hit_by_spell(c.spell, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
    EXPECT_FLOAT_EQ(rat->hp, 500.0f - c.per_level * hero->level) << "spell " << c.spell;
  }
}

TEST_F(Spell_cast_test, DrainsTakeWhatTheirFormulaSays) {
  No_resist = true;
  rat->max_ap_base = 100;
  rat->ap = 60;
  rat->get_hit_by_spell(63, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 40.0f, true);
  EXPECT_EQ(rat->ap, 60 - 10) << "mind drain: amount x 0.05 x level";
  rat->get_hit_by_spell(68, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
  EXPECT_EQ(rat->ap, 50 - hero->level);
}

TEST_F(Spell_cast_test, NoResistMakesEveryStatusTakeHold) {
  No_resist = true;
  const int slot = spell_status_slot(7);
  for (int seed = 1; seed <= 20; seed++) {
    kit.seed(seed);
    rat->cure_status_effect(slot, true, false);
    rat->get_hit_by_spell(7, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
    EXPECT_TRUE(rat->has_status_effect(slot)) << "seed " << seed;
  }
}

TEST_F(Spell_cast_test, LastingStatusEndsWhenItsTimeRunsOut) {
  No_resist = true;
  const int slot = spell_status_slot(7);
  rat->get_hit_by_spell(7, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
  ASSERT_TRUE(rat->has_status_effect(slot));
  const float seconds = rat->get_status_effect_time(slot) / 1000.0f;
  kit.run(seconds + 1.0f);
  EXPECT_FALSE(rat->has_status_effect(slot));
}

TEST_F(Spell_cast_test, TimedSpellsHitAfterTheirDelay) {
  spell_cast(hero, 12, rat->handle, nullptr, nullptr, nullptr, SS_CAST);
  effect_frames(0.9f);
  EXPECT_TRUE(kit.fx_hits.empty());
  effect_frames(0.2f);
  ASSERT_EQ(kit.fx_hits.size(), 1u);
  EXPECT_EQ(kit.fx_hits[0], "12 " + std::to_string(rat->handle));
}

TEST_F(Spell_cast_test, PartySpellOfAPlayerReachesEveryLivingHero) {
  living_entity* other = kit.spawn(kit.type("Zazuru"), {2, 0, 0}, OBJ_PLAYER);
  hero->hp = other->hp = 1.0f;
  rat->hp = 1.0f;
  spell_cast(hero, 4, -1, nullptr, nullptr, nullptr, SS_CAST);
  EXPECT_GT(hero->hp, 1.0f);
  EXPECT_GT(other->hp, 1.0f);
  EXPECT_FLOAT_EQ(rat->hp, 1.0f);
}

TEST_F(Spell_cast_test, PartySpellOfACreatureOutsideItsGroupAlsoHitsItself) {
  living_entity* ally = kit.spawn(kit.type("Rat"), {3, 0, 3});
  living_entity* loner = kit.spawn(kit.type("Rat"), {4, 0, 4});
  ally->set_team(2);
  loner->set_team(3);
  ally->hp = loner->hp = 1.0f;
  spell_cast(loner, 4, -1, nullptr, nullptr, nullptr, SS_CAST);
  EXPECT_GT(loner->hp, 1.0f);
  EXPECT_FLOAT_EQ(ally->hp, 1.0f);
}

TEST_F(Spell_cast_test, TypeSpecialOfABlowActsOnTheOtherFighterOrOnItsCarrierWhenBeneficial) {
  No_resist = true;
  Character_info saved = *hero->character;
  const uint32_t flags = Spells[68].flags;
  hero->character->special_spell = 68;
  hero->character->special_extra = 4;
  hero->character->special_chance = 1.0f;
  rat->max_ap_base = hero->max_ap_base = 100;
  rat->ap = hero->ap = 50;
  Spells[68].flags = SPELL_HIT_ONLY;
  spell_apply_on_hit_spells(hero, rat, 10.0f);
  EXPECT_EQ(rat->ap, 46) << "the special's own level";
  EXPECT_EQ(hero->ap, 50);
  Spells[68].flags = SPELL_HIT_ONLY | SPELL_BENEFICIAL;
  spell_apply_on_hit_spells(hero, rat, 10.0f);
  EXPECT_EQ(hero->ap, 46);
  hero->character->special_chance = 0.0f;
  spell_apply_on_hit_spells(hero, rat, 10.0f);
  EXPECT_EQ(hero->ap, 46) << "chance 0 never fires";
  Spells[68].flags = flags;
  *hero->character = saved;
}

// The record laid out by hand as the wire says.
std::vector<uint8_t> fixture() {
  std::vector<uint8_t> b;
  auto w32 = [&](uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto wf = [&](float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    w32(v);
  };
  w32(11);          // caster network id
  w32(15);          // spell
  w32(22);          // target network id
  b.push_back(1);   // aimed point only
  b.push_back(0);   // source: a cast
  b.push_back(0xFF), b.push_back(0xFF);  // no item
  wf(1.5f), wf(0.0f), wf(-2.25f);
  for (int i = 0; i < 9; i++) wf(0.0f);
  wf(0.5f), wf(1.0f), wf(0.0f);
  w32(1u | 0u << 1 | 1u << 7 | 2u << 29);  // in use, layout 0, held, hostile
  wf(-9.0f);
  for (int i = 2; i < 13; i++) w32(0);
  return b;
}

TEST_F(Spell_cast_test, RlsSplReadsTheRecordByteByByte) {
  const std::vector<uint8_t> b = fixture();
  ASSERT_EQ(b.size(), static_cast<size_t>(RLS_SPL_SIZE));
  RlsSpl m;
  ASSERT_TRUE(rls_spl_read(b.data(), RLS_SPL_SIZE, &m));
  EXPECT_EQ(m.caster_net, 11);
  EXPECT_EQ(m.target_net, 22);
  EXPECT_EQ(m.item_index, -1);
  EXPECT_EQ(m.release.spell, 15);
  EXPECT_TRUE(m.release.has_pos);
  EXPECT_FALSE(m.release.has_orient);
  EXPECT_FLOAT_EQ(m.release.pos.z, -2.25f);
  EXPECT_FLOAT_EQ(m.release.release_pos.y, 1.0f);
  EXPECT_EQ(m.release.outcome.layout(), OL_HP);
  EXPECT_TRUE(m.release.outcome.took_hold(0));
  EXPECT_EQ(m.release.outcome.category(), 2);
  EXPECT_FLOAT_EQ(m.release.outcome.f(1), -9.0f);
  uint8_t out[RLS_SPL_SIZE];
  rls_spl_write(m.release, m.caster_net, m.target_net, out);
  EXPECT_EQ(std::memcmp(out, b.data(), RLS_SPL_SIZE), 0);

  const float nan = std::nanf("");
  uint32_t nan_bits;
  std::memcpy(&nan_bits, &nan, 4);
  struct Bad {
    const char* what;
    int at;
    uint8_t byte;
  } bad[] = {{"spell past the table", 4, MAX_SPELLS}, {"unknown flag", 12, 4}, {"source kind 9", 13, 9},
             {"item past the table", 15, 0x7F}, {"target id below -1", 11, 0x80}, {"layout 10", 76, 1 | 10 << 1},
             {"aimed point not finite", 19, static_cast<uint8_t>(nan_bits >> 24)}};
  for (const Bad& c : bad) {
    std::vector<uint8_t> copy = b;
    copy[c.at] = c.byte;
    if (c.at == 19) copy[18] = static_cast<uint8_t>(nan_bits >> 16), copy[17] = 0, copy[16] = 0;
    if (c.at == 15) copy[14] = 0;
    if (c.at == 11) copy[8] = copy[9] = copy[10] = 0;
    EXPECT_FALSE(rls_spl_read(copy.data(), RLS_SPL_SIZE, &m)) << c.what;
  }
  EXPECT_FALSE(rls_spl_read(b.data(), RLS_SPL_SIZE - 1, &m));
}

living_entity* By_net[32];
living_entity* by_net(int id) { return id >= 0 && id < 32 ? By_net[id] : nullptr; }
std::vector<uint8_t> Sent;

TEST_F(Spell_cast_test, NetworkedReleaseIsAppliedHereAndOnThePeerFromTheSameOutcome) {
  GameFlags |= GF_NETWORKED;
  const EntityNetHooks saved = entity_net();
  EntityNetHooks host = saved;
  host.is_host = [] { return true; };
  entity_set_net_hooks(host);
  hero->net_handle = 11;
  rat->net_handle = 22;
  By_net[11] = hero, By_net[22] = rat;
  Sent.clear();
  SpellCastHooks h;
  h.send = [](const uint8_t* p, int n) { Sent.assign(p, p + n); };
  spell_cast_set_hooks(h);
  rat->hp = 100.0f;
  rat->max_hp_base = 100;
  spell_cast(hero, 15, rat->handle, nullptr, nullptr, nullptr, SS_CAST);
  ASSERT_EQ(Sent.size(), static_cast<size_t>(RLS_SPL_SIZE));
  RlsSpl m;
  ASSERT_TRUE(rls_spl_read(Sent.data(), RLS_SPL_SIZE, &m));
  EXPECT_EQ(m.caster_net, 11);
  EXPECT_EQ(m.target_net, 22);
  const float taken = 100.0f - rat->hp;
  EXPECT_FLOAT_EQ(-m.release.outcome.f(1), taken) << "the sender applied what it sent";
  // The peer applies the same bytes.
  const float before = rat->hp;
  EXPECT_TRUE(rls_spl_received(Sent.data(), RLS_SPL_SIZE, by_net));
  EXPECT_FLOAT_EQ(rat->hp, std::max(0.0f, before - taken));
  By_net[22] = nullptr;
  EXPECT_FALSE(rls_spl_received(Sent.data(), RLS_SPL_SIZE, by_net)) << "target gone: dropped";
  spell_cast_set_hooks(SpellCastHooks{});
  entity_set_net_hooks(saved);
}

}  // namespace
