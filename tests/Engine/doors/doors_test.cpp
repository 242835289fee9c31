// Door opening, closing and lock picking on fake doors; a recorded packet
// log stands in for the network.
#include "Engine/Objects/doors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FakeDoor {
  const char* name;
  float difficulty;
  bool open, locked;
};
std::vector<FakeDoor> Doors;
struct Packet {
  int type;
  std::vector<int32_t> words;
  int to;
};
std::vector<Packet> Packets;
std::vector<int> Sounds;
std::vector<std::string> Used, Hud;
float Skill;
int Local_player;
living_entity* const Picker = reinterpret_cast<living_entity*>(0x1000);

class Doors_test : public ::testing::Test {
 protected:
  void SetUp() override {
    Doors = {{"gate", 0.40f, false, true}, {"plain", 0.0f, false, false}};
    Packets.clear();
    Sounds.clear();
    Used.clear();
    Hud.clear();
    Skill = 0.0f;
    Local_player = 0;
    DoorHooks h;
    h.find_door = [](int mesh, const char** name, float* d) {
      if (mesh < 0 || mesh >= int(Doors.size())) return false;
      *name = Doors[mesh].name;
      *d = Doors[mesh].difficulty;
      return true;
    };
    h.state_get = [](int mesh, bool* open, bool* locked) {
      *open = Doors[mesh].open;
      *locked = Doors[mesh].locked;
    };
    h.state_set = [](int mesh, bool open, bool locked) {
      Doors[mesh].open = open;
      Doors[mesh].locked = locked;
    };
    h.player_entity = [](int id) { return id == 1 || id == 2 ? Picker : nullptr; };
    h.pick_skill = [](living_entity*) { return Skill; };
    h.is_local_player = [](int id) { return id == Local_player; };
    h.send = [](int type, const int32_t* w, int n, int to) { Packets.push_back({type, {w, w + n}, to}); };
    h.game_sound = [](int s) { Sounds.push_back(s); };
    h.script_used = [](const char* name) { Used.push_back(name); };
    h.hud_message = [](const char* t) { Hud.push_back(t); };
    doors_set_hooks(h);
  }
};

TEST(Door_pick_outcome, DifficultyAgainstSkillWithGrace) {
  struct Case {
    float difficulty, skill;
    DoorPickResult want;
  } cases[] = {
      {0.40f, 0.40f, DOOR_PICKED},        {0.40f, 0.35f, DOOR_PICKED},  // up to 0.05 over the skill
      {0.40f, 0.30f, DOOR_PICK_FAILED},   {0.40f, 0.34f, DOOR_PICK_FAILED},
      {0.0f, 0.0f, DOOR_ALREADY_UNLOCKED}, {-1.0f, 0.9f, DOOR_ALREADY_UNLOCKED},
      {1.0f, 0.99f, DOOR_PICKED},
  };
  for (const Case& c : cases)
    EXPECT_EQ(door_pick_outcome(c.difficulty, c.skill), c.want) << c.difficulty << " vs " << c.skill;
}

TEST_F(Doors_test, SuccessfulPickUnlocksTellsScriptAndEveryone) {
  Skill = 0.40f;
  EXPECT_EQ(door_pick_lock(1, 0), DOOR_PICKED);
  EXPECT_FALSE(Doors[0].locked);
  EXPECT_FALSE(Doors[0].open);  // picking does not open
  EXPECT_EQ(Used, std::vector<std::string>{"gate"});
  EXPECT_EQ(Sounds, std::vector<int>{6});
  ASSERT_EQ(Packets.size(), 1u);
  EXPECT_EQ(Packets[0].type, PKT_DOR_PCK);
  EXPECT_EQ(Packets[0].words, (std::vector<int32_t>{1, 0, 0}));
  EXPECT_EQ(Packets[0].to, -1);
  // Now unlocked, it opens.
  EXPECT_TRUE(door_set_open(2, 0, true));
  EXPECT_TRUE(Doors[0].open);
}

TEST_F(Doors_test, FailedAndNeedlessPicksAnswerOnlyThePicker) {
  Skill = 0.30f;
  EXPECT_EQ(door_pick_lock(1, 0), DOOR_PICK_FAILED);
  EXPECT_TRUE(Doors[0].locked);
  EXPECT_EQ(Sounds, std::vector<int>{5});
  EXPECT_EQ(door_pick_lock(2, 1), DOOR_ALREADY_UNLOCKED);
  EXPECT_EQ(Sounds, std::vector<int>{5});  // no sound for an unlocked door on the host
  ASSERT_EQ(Packets.size(), 2u);
  EXPECT_EQ(Packets[0].words, (std::vector<int32_t>{1, 0, 1}));
  EXPECT_EQ(Packets[0].to, 1);
  EXPECT_EQ(Packets[1].words, (std::vector<int32_t>{2, 1, 2}));
  EXPECT_EQ(Packets[1].to, 2);
  EXPECT_TRUE(Used.empty());
  // No door, no picker: nothing happens.
  EXPECT_EQ(door_pick_lock(1, 7), -1);
  EXPECT_EQ(door_pick_lock(9, 0), -1);
  EXPECT_EQ(Packets.size(), 2u);
}

TEST_F(Doors_test, LockedDoorStaysShutAndRemoteCloseOfClosedDoorSendsNothing) {
  EXPECT_FALSE(door_set_open(2, 0, true));
  EXPECT_FALSE(door_set_open(Local_player, 0, true));
  EXPECT_FALSE(Doors[0].open);
  EXPECT_FALSE(door_set_open(2, 1, false));
  EXPECT_TRUE(Packets.empty());
  EXPECT_TRUE(door_set_open(2, 1, true));
  ASSERT_EQ(Packets.size(), 1u);
  EXPECT_EQ(Packets[0].type, PKT_DOOR_TG);
  EXPECT_EQ(Packets[0].words, (std::vector<int32_t>{1, 1}));
  EXPECT_EQ(door_packets_sent(PKT_DOOR_TG), 1);
}

TEST_F(Doors_test, LocalRequestActsWhateverTheStoredBit) {
  // The stored bit says closed, yet the local player's close still closes.
  EXPECT_TRUE(door_set_open(Local_player, 1, false));
  EXPECT_EQ(Packets.back().words, (std::vector<int32_t>{1, 0}));
  EXPECT_FALSE(door_set_open(2, 1, false));
}

TEST_F(Doors_test, ReceivedPacketsAreCheckedBeforeUse) {
  auto le = [](std::initializer_list<int32_t> w) {
    std::vector<uint8_t> b;
    for (int32_t v : w)
      for (int i = 0; i < 4; i++) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return b;
  };
  std::vector<uint8_t> p = le({1, 1});
  EXPECT_TRUE(door_toggle_received(p.data(), int(p.size())));
  EXPECT_TRUE(Doors[1].open);
  p = le({1, 0});
  EXPECT_TRUE(door_toggle_received(p.data(), int(p.size())));
  EXPECT_FALSE(Doors[1].open);
  for (auto bad : {le({5, 1}), le({-1, 1}), le({1, 3}), le({1})})
    EXPECT_FALSE(door_toggle_received(bad.data(), int(bad.size())));

  p = le({1, 0, 0});
  EXPECT_TRUE(door_pick_received(p.data(), int(p.size())));
  EXPECT_FALSE(Doors[0].locked);
  EXPECT_EQ(Used, std::vector<std::string>{"gate"});
  p = le({1, 0, 2});
  EXPECT_TRUE(door_pick_received(p.data(), int(p.size())));
  EXPECT_EQ(Hud, std::vector<std::string>{"This door already unlocked."});
  p = le({1, 0, 1});
  EXPECT_TRUE(door_pick_received(p.data(), int(p.size())));
  EXPECT_EQ(Sounds, (std::vector<int>{6, 5}));
  for (auto bad : {le({1, 99, 0}), le({1, 0, 3}), le({1, 0})})
    EXPECT_FALSE(door_pick_received(bad.data(), int(bad.size())));
}

}  // namespace
