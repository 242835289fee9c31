// The dialogue runtime headless: the speaker panel on a fake font, the
// screens and the camera as recording hooks, the clock in the test's hand.
// A conversation opens its box after the approach, shows the hail topic,
// offers the topics the rules make available, shows a picked topic's answer
// (a choice that adds a topic and opens a quest), and ends with or without
// the merchant's screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Orrimund/player/party.h"
#include "levelscripts/conversation.h"
#include "levelscripts/dialogue.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/savegame.h"
#include "levelscripts/text_panel.h"
#include "tests/support/world_kit.h"
#include "tools/writers/script_table_writers.h"

namespace {

const char Table[] =
    "$Character: \"Aska\"\r\n"
    "+Flags: \"Cflag_Persistent\"\r\n"
    "+Topic: {Hail}\r\n"
    "+NPCText: {\"Back again?\"}\r\n"
    "+PCText: {We walk on.}\r\n"
    "$Initial topics: {Hail}\r\n"
    "$Character: \"Tessam\"\r\n"
    "+Move in time: 1000\r\n"
    "+Move out time: 500\r\n"
    "+Topic: {Greetings}\r\n"
    "+NPCText: {\"Well met.\"}\r\n"
    "+Topic: {The sewers}\r\n"
    "+NPCText: {\"The grate opens from below.\"}\r\n"
    "+Add topic: {The key}\r\n"
    "+Unhide quest: {Grate of the Sewers}\r\n"
    "+Topic: {The key}\r\n"
    "+NPCText: {\"Ask the smith.\"}\r\n"
    "+Topic: {Wares}\r\n"
    "+Shop\r\n"
    "$Initial topics: {Greetings} {The sewers} {Wares}\r\n"
    "$End\r\n";

uint32_t Now = 10000;
std::vector<std::string> Events;

TextPanelFont wide_font() {
  TextPanelFont f;
  f.height = [] { return 10; };
  f.wrap = [](const char* text, int, const char** starts, int* lengths, int) {
    starts[0] = text;
    lengths[0] = static_cast<int>(std::string(text).size());
    return 1;
  };
  f.width = [](const char*, int n) { return n * 8; };
  f.now_ms = [] { return Now; };
  return f;
}

DialogueHooks recording_hooks() {
  DialogueHooks h;
  h.open_box = [](const char* s) { Events.push_back(std::string("box ") + s); };
  h.close_box = [] { Events.push_back("close"); };
  h.open_trade = [](const char* s) {
    Events.push_back(std::string("trade ") + s);
    return true;
  };
  h.camera_save = [] { Events.push_back("camera saved"); };
  h.camera_restore = [] { Events.push_back("camera back"); };
  h.now_ms = [] { return Now; };
  return h;
}

std::vector<std::string> speaker_lines() {
  std::vector<std::string> out;
  for (int k = 0; k < Speaker_panel.count; k++)
    if (const char* t = Speaker_panel.at_slot(Speaker_panel.entry_slot(k)).text) out.push_back(t);
  return out;
}
std::vector<std::string> choices() {
  std::vector<std::string> out;
  for (int k = 0; k < Choice_panel.count; k++)
    if (const char* t = Choice_panel.at_slot(Choice_panel.entry_slot(k)).text) out.push_back(t);
  return out;
}
int topic(const char* name) { return conversation_find_topic(conversation_find_person("Tessam"), name); }

class Dialogue : public WorldTest {
 protected:
  void SetUp() override {
    const std::string events = demo_events_text(game_event_declarations(), demo_quests());
    demo_events_load_text("demo_events.tbl", events.c_str(), static_cast<int>(events.size()));
    savegame_layout();
    ASSERT_EQ(dlg_table_load_text("test_dlg.tbl", Table, sizeof Table - 1), 0);
    text_panel_set_font(wide_font());
    Speaker_panel.set_geometry(0, 0, 400, 12);
    Choice_panel.set_geometry(0, 0, 200, 6);
    dialogue_set_hooks(recording_hooks());
    Events.clear();
    hero_ = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
    hero_->set_name("Ruvizo");
    Selected_entity = hero_;
  }
  void TearDown() override {
    dialogue_end(false);
    for (int i = 0; i < 10 && dialogue_do_frame() != -1; i++) Now += 1000;
    Selected_entity = nullptr;
    dialogue_set_hooks({});
    conversation_unload();
    Speaker_panel.reset();
    Choice_panel.clear();
  }
  living_entity* hero_ = nullptr;
};

TEST_F(Dialogue, APickedChoiceShowsItsAnswerAddsATopicAndOpensAQuest) {
  const int quest = quest_find("Grate of the Sewers");
  ASSERT_GE(quest, 0);
  const bool quest_before = quest_is_active(quest);
  ASSERT_EQ(dialogue_start("tessam", -1), 0);
  EXPECT_EQ(dialogue_state(), DIALOGUE_STARTING);
  EXPECT_FALSE(dialogue_is_idle());
  EXPECT_EQ(dialogue_do_frame(), 0);  // no one to walk to: the approach is over at once
  EXPECT_EQ(Events, (std::vector<std::string>{"camera saved", "box Tessam"}));
  EXPECT_EQ(dialogue_state(), DIALOGUE_SHOWING);
  EXPECT_EQ(speaker_lines(), (std::vector<std::string>{"Tessam: \"Well met.\""}));

  // Read: the topics offered now, the farewell last.
  dialogue_advance();
  EXPECT_EQ(dialogue_state(), DIALOGUE_WAITING);
  EXPECT_TRUE(dialogue_choices_shown());
  EXPECT_EQ(choices(), (std::vector<std::string>{"The sewers", "Wares", "\"Farewell.\""}));

  dialogue_choose(topic("The sewers"));
  EXPECT_EQ(dialogue_state(), DIALOGUE_SHOWING);
  EXPECT_EQ(speaker_lines(), (std::vector<std::string>{"Tessam: \"Well met.\"", "The sewers",
                                                       "Tessam: \"The grate opens from below.\"",
                                                       "<Quest Journal Updated>"}));
  EXPECT_NE(quest_is_active(quest), quest_before);
  EXPECT_TRUE(quest_is_active(quest));
  dialogue_advance();
  EXPECT_EQ(choices(), (std::vector<std::string>{"The key", "Wares", "\"Farewell.\""}));
}

TEST_F(Dialogue, AShopTopicEndsWithTheMerchantAndTheCameraComesBack) {
  ASSERT_EQ(dialogue_start("Tessam", -1), 0);
  dialogue_do_frame();
  dialogue_advance();
  Events.clear();
  dialogue_choose(topic("Wares"));
  EXPECT_EQ(Events, (std::vector<std::string>{"camera back", "close", "trade Tessam"}));
  EXPECT_EQ(dialogue_state(), DIALOGUE_IDLE);
  // The camera moves out over the person's move-out time, then the runtime
  // is idle.
  EXPECT_FALSE(dialogue_is_idle());
  Now += 250;
  EXPECT_EQ(dialogue_do_frame(), 0);
  Now += 250;
  EXPECT_EQ(dialogue_do_frame(), 1);
  EXPECT_TRUE(dialogue_is_idle());
  EXPECT_EQ(dialogue_do_frame(), -1);
}

TEST_F(Dialogue, FarewellEndsWithoutTradeAndTheNextTalkStartsAgain) {
  ASSERT_EQ(dialogue_start("Tessam", -1), 0);
  dialogue_do_frame();
  dialogue_advance();
  Events.clear();
  dialogue_choose(topic("\"Farewell.\""));
  EXPECT_EQ(Events, (std::vector<std::string>{"camera back", "close"}));
  EXPECT_EQ(dialogue_start("Nobody", -1), -1);
  EXPECT_EQ(dialogue_start("Tessam", -1), 0);
}

// Each quoted line's speaker talks once its line is in view, one speaker
// at a time; a line without speech queues no one.
TEST_F(Dialogue, SpeakersOfQuotedLinesTalkInTurnAsTheirLinesShow) {
  static std::vector<std::string> talk;
  static int finished = -1;  // the moves that have ended are those up to this one
  talk.clear();
  finished = -1;
  DialogueHooks h = recording_hooks();
  h.talk_play = [](int entity) {
    talk.push_back("talk " + std::to_string(entity));
    return static_cast<int>(talk.size()) - 1;
  };
  h.talk_finished = [](int, int move) { return move <= finished; };
  dialogue_set_hooks(h);
  living_entity* tessam = kit.spawn(kit.type("Ruvizo"), {1.2f, 0, 0}, OBJ_NEUTRAL);
  tessam->set_name("Tessam");
  ASSERT_EQ(dialogue_start("Tessam", tessam->handle), 0);
  dialogue_do_frame();  // the hero sets off toward Tessam
  EXPECT_TRUE(talk.empty());
  Now += DIALOGUE_APPROACH_MS;
  dialogue_do_frame();  // the approach is over: "Well met." shows
  dialogue_do_frame();
  EXPECT_EQ(talk, (std::vector<std::string>{"talk " + std::to_string(tessam->handle)}));
  bool playing = false;
  EXPECT_EQ(dialogue_talk_head(&playing), tessam->handle);
  EXPECT_TRUE(playing);
  finished = 0;
  dialogue_do_frame();
  EXPECT_EQ(dialogue_talk_queued(), 0);

  // The answer's speaker talks once the panel has scrolled it into view.
  dialogue_advance();
  dialogue_choose(topic("The sewers"));
  EXPECT_EQ(dialogue_talk_queued(), 1);
  for (int i = 0; i < 40; i++) {  // the panel scrolls as it is drawn
    Now += 50;
    Speaker_panel.draw();
    dialogue_do_frame();
  }
  EXPECT_EQ(talk.size(), 2u);
  finished = 1;
  dialogue_do_frame();
  EXPECT_EQ(dialogue_talk_queued(), 0);
}

TEST_F(Dialogue, APersistentPersonsTextStaysFromOneTalkToTheNext) {
  ASSERT_EQ(dialogue_start("Aska", -1), 0);
  dialogue_do_frame();
  EXPECT_EQ(speaker_lines(), (std::vector<std::string>{"Aska: \"Back again?\"", "Ruvizo: We walk on."}));
  dialogue_advance();
  dialogue_choose(conversation_find_topic(conversation_find_person("Aska"), "\"Farewell.\""));
  EXPECT_EQ(dialogue_state(), DIALOGUE_IDLE);
  ASSERT_EQ(dialogue_start("Aska", -1), 0);
  dialogue_do_frame();
  EXPECT_EQ(speaker_lines().size(), 4u);
  dialogue_end(false);
  // Another person's talk starts on an empty panel, and so does Tessam's,
  // who is not persistent.
  ASSERT_EQ(dialogue_start("Tessam", -1), 0);
  dialogue_do_frame();
  EXPECT_EQ(speaker_lines(), (std::vector<std::string>{"Tessam: \"Well met.\""}));
}

// The dialogue view stands beside the pair on the game camera's side, at
// the camera height, with both in front of it; the blend eases between
// the two views.
TEST(DialogueView, FramesHeroAndPersonFromTheCamerasSide) {
  const vector hero(0, 0, 0), person(2, 0, 0);
  for (float side : {-5.0f, 5.0f}) {
    vector eye;
    matrix o;
    dialogue_view(hero, person, 1.8f, vector(1, 2, side), &eye, &o);
    EXPECT_GT(eye.z * side, DIALOGUE_VIEW_MIN_DISTANCE - 0.01f) << side;
    EXPECT_NEAR(eye.y, 1.8f + DIALOGUE_VIEW_RISE, 1e-4f);
    for (const vector& who : {hero, person}) {
      // Feet and head within 36 degrees of the view's axis, the head above
      // the middle of the view.
      for (float y : {0.0f, 1.8f}) {
        vector to = vector(who.x, y, who.z) - eye;
        to.normalize();
        EXPECT_GT(vector::dot(to, o.forward), 0.8f) << side << " " << y;
      }
      vector head = vector(who.x, 1.8f, who.z) - eye;
      EXPECT_GT(vector::dot(head, o.up), 0.0f) << side;
    }
  }
  vector eye;
  matrix o;
  const vector from_eye(0, 5, -10), to_eye(4, 1, 2);
  const matrix from_o = matrix::from_forward(vector(0, 0, 1)), to_o = matrix::from_forward(vector(1, 0, 0));
  dialogue_view_blend(from_eye, from_o, to_eye, to_o, 0.0f, &eye, &o);
  EXPECT_NEAR((eye - from_eye).length(), 0.0f, 1e-5f);
  dialogue_view_blend(from_eye, from_o, to_eye, to_o, 1.0f, &eye, &o);
  EXPECT_NEAR((eye - to_eye).length(), 0.0f, 1e-5f);
  EXPECT_NEAR(o.forward.x, 1.0f, 1e-5f);
  // Halfway by weight is halfway by the ease (3w^2 - 2w^3 = 0.5); a quarter
  // is 0.15625 of the way.
  dialogue_view_blend(from_eye, from_o, to_eye, to_o, 0.25f, &eye, &o);
  EXPECT_NEAR(eye.x, 4.0f * 0.15625f, 1e-5f);
}

}  // namespace
