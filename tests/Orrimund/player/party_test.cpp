// The party on the world kit: five records on three lists, heroes created
// once by type, joining and leaving by name, the game's member order, the
// selection passing to the first living member, and the story's gates on
// skills.
#include "Orrimund/player/party.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/gameflags.h"
#include "Orrimund/gamewide.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/world_kit.h"

namespace {

std::vector<std::string> Messages;
std::vector<int> Feedback;

class Party : public WorldTest {
 protected:
  void SetUp() override {
    GameFlags = GF_SINGLE_PLAYER;
    Max_skills = false;
    party_init();
    Messages.clear();
    Feedback.clear();
    PartyHooks h;
    h.hud_message = [](const char* t) { Messages.emplace_back(t); };
    h.play_feedback = [](int s) { Feedback.push_back(s); };
    party_set_hooks(h);
    for (int i = 0; i < 4; i++) kit.set_party_start(i, vector{static_cast<float>(i) * 2, 0, 0}, 0.0f);
  }
  void TearDown() override {
    party_free_all();
    party_set_hooks(PartyHooks());
    GameFlags = 0;
  }
  std::vector<std::string> order() {
    std::vector<std::string> names;
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) names.push_back(member_entity(p)->character->name);
    return names;
  }
};

}  // namespace

TEST_F(Party, HeroesJoinInTheGamesOrderAndOnlyOnce) {
  living_entity* rivadara = hero_create("Rivadara", 1, false, true, -1);
  living_entity* ruvizo = hero_create("Ruvizo", 1, true, true, -1);
  hero_create("Zazuru", 1, false, true, -1);
  hero_create("Rivud", 1, false, true, -1);
  ASSERT_NE(rivadara, nullptr);
  ASSERT_NE(ruvizo, nullptr);
  EXPECT_EQ(order(), (std::vector<std::string>{"Ruvizo", "Rivud", "Rivadara", "Zazuru"}));
  EXPECT_EQ(Selected_entity, ruvizo);
  EXPECT_TRUE(entity_player_controlled(ruvizo));
  EXPECT_FALSE(entity_player_controlled(rivadara));
  EXPECT_EQ(Messages.size(), 4u);
  EXPECT_NE(Messages[0].find("has joined the party!"), std::string::npos);
  // A hero of a type already in the party comes back as it is, silently.
  Messages.clear();
  EXPECT_EQ(hero_create("Rivadara", 1, false, true, -1), rivadara);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(party_record_count(), 4);
  // Unknown types create nothing.
  EXPECT_EQ(hero_create("Nobody", 1, false, true, -1), nullptr);
  // Placed heroes stand at the start slot of their order of creation.
  EXPECT_FLOAT_EQ(rivadara->pos.x, 0.0f);
  EXPECT_FLOAT_EQ(ruvizo->pos.x, 2.0f);
}

TEST_F(Party, ASkillTableGivesWhatTheLevelReaches) {
  living_entity* rivud = hero_create("Rivud", 1, true, false, -1);
  ASSERT_NE(rivud, nullptr);
  PlayerRecord* r = Selected_record;
  EXPECT_EQ(r->skill_count, 16);
  EXPECT_EQ(rivud->stats[21], 10);  // pick lock, from level 1
  EXPECT_EQ(rivud->stats[29], 0);   // dark, from level 4
  EXPECT_TRUE(member_has_skill(r, 21));
  EXPECT_FALSE(member_has_skill(r, 29));
  EXPECT_TRUE(member_has_skill(r, 2));
  EXPECT_TRUE(member_skill_allowed(r, 1));
  EXPECT_TRUE(member_skill_allowed(r, 21));
  EXPECT_FALSE(member_skill_allowed(r, 28));  // not in Rivud's table
  // Sneak and hide wait for the story.
  EXPECT_FALSE(member_skill_allowed(r, 22));
  static bool tessam = false;
  PartyHooks h = Party_hooks;
  h.story_flag = [](int level, const char* name) {
    return level == 24 && std::string(name) == "lpalaceint_tessam_found" && tessam;
  };
  party_set_hooks(h);
  tessam = true;
  EXPECT_TRUE(member_skill_allowed(r, 22));
}

TEST_F(Party, LeavingAndRejoiningByName) {
  living_entity* ruvizo = hero_create("Ruvizo", 1, true, true, -1);
  living_entity* rivud = hero_create("Rivud", 1, false, true, -1);
  Messages.clear();
  EXPECT_FALSE(party_remove_member("nobody"));
  ASSERT_TRUE(party_remove_member(ruvizo->get_name()));
  EXPECT_EQ(Messages.back(), std::string(ruvizo->get_name()) + " has left the party!\n");
  // The selection passes to the first living member.
  EXPECT_EQ(Selected_entity, rivud);
  EXPECT_EQ(order(), (std::vector<std::string>{"Rivud"}));
  // A dead hero that rejoins is revived and healed.
  ruvizo->state |= ES_DEAD;
  ruvizo->hp = 1.0f;
  ASSERT_NE(party_add_member(ruvizo->get_name()), nullptr);
  EXPECT_FALSE(ruvizo->state & ES_DEAD);
  EXPECT_FLOAT_EQ(ruvizo->hp, static_cast<float>(ruvizo->get_max_points(0)));
  EXPECT_EQ(order(), (std::vector<std::string>{"Ruvizo", "Rivud"}));
  // Removing the last living member leaves no selection.
  ASSERT_TRUE(party_remove_member(rivud->get_name()));
  ruvizo->state |= ES_DEAD;
  ASSERT_TRUE(party_remove_member(ruvizo->get_name()));
  EXPECT_EQ(Selected_entity, nullptr);
}

TEST_F(Party, SwitchingHeroesMovesControlAndSaysSo) {
  living_entity* ruvizo = hero_create("Ruvizo", 1, true, true, -1);
  living_entity* zazuru = hero_create("Zazuru", 1, false, true, -1);
  PlayerRecord* z = party_find_member(zazuru->handle);
  game_flags_set(GF_LEVEL_IN_PLAY);
  party_select_member_if_able(z);
  EXPECT_EQ(Selected_entity, zazuru);
  EXPECT_TRUE(entity_player_controlled(zazuru));
  EXPECT_FALSE(entity_player_controlled(ruvizo));
  EXPECT_FALSE(member_is_controlled(party_find_member(ruvizo->handle)));
  EXPECT_EQ(Feedback, (std::vector<int>{40, 35}));
  // A dead member cannot be taken.
  ruvizo->state |= ES_DEAD;
  Feedback.clear();
  party_select_member_if_able(party_find_member(ruvizo->handle));
  EXPECT_EQ(Selected_entity, zazuru);
  EXPECT_EQ(Feedback, (std::vector<int>{36}));
}

TEST_F(Party, SoloModeHoldsTheOthersOutsideTowns) {
  hero_create("Ruvizo", 1, true, true, -1);
  living_entity* rivud = hero_create("Rivud", 1, false, true, -1);
  ASSERT_TRUE(member_take_control(Selected_record));  // as entering the level does
  EXPECT_TRUE(toggle_solo_mode());
  EXPECT_TRUE(party_find_member(rivud->handle)->flags & PR_HOLD);
  EXPECT_FALSE(Selected_record->flags & PR_HOLD);
  EXPECT_FALSE(toggle_solo_mode());
  EXPECT_FALSE(party_find_member(rivud->handle)->flags & PR_HOLD);
  static bool town = true;
  PartyHooks h = Party_hooks;
  h.is_town = [] { return town; };
  party_set_hooks(h);
  EXPECT_FALSE(toggle_solo_mode());
  EXPECT_FALSE(game_flags_test(GF_SOLO));
}

TEST_F(Party, AFifthRecordIsTheLastAndASixthIsFatal) {
  for (int i = 0; i < MAX_PLAYER_RECORDS; i++) ASSERT_NE(player_slot_alloc(), nullptr);
  CriticalErrorTrap trap;
  try {
    player_slot_alloc();
    FAIL() << "a sixth record was handed out";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("No more player slots availeble"), std::string::npos);
    EXPECT_EQ(e.line, 397);
  }
}

TEST_F(Party, TeleportLinesTheOthersUpBesideTheLeader) {
  living_entity* ruvizo = hero_create("Ruvizo", 1, true, true, -1);
  living_entity* rivud = hero_create("Rivud", 1, false, true, -1);
  living_entity* zazuru = hero_create("Zazuru", 1, false, true, -1);
  party_teleport(vector{10, 0, 5}, 0);
  EXPECT_FLOAT_EQ(ruvizo->pos.x, 10.0f);
  EXPECT_FLOAT_EQ(rivud->pos.x, 10.75f);
  EXPECT_FLOAT_EQ(zazuru->pos.x, 11.5f);
  EXPECT_FLOAT_EQ(zazuru->pos.z, 5.0f);
}
