// Dialogue tables and conversations: a table spelled out by hand from the
// grammar, its persons, farewell topics and initial topics, effects that
// reach a person defined later, and what picking topics offers next.
#include <gtest/gtest.h>

#include <string>

#include "levelscripts/conversation.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/savegame.h"
#include <cstring>
#include "quarn/os/console.h"
#include "tests/support/critical_error_trap.h"
#include "tools/writers/script_table_writers.h"

namespace {

const char Table[] =
    "$Character: \"Tessam\"\r\n"
    "+Move in time: 2000\r\n"
    "+Flags: \"Cflag_Important\" \"Cflag_NoAbort\"\r\n"
    "+Topic: {Greetings}\r\n"
    "+NPCText: {Well met, travellers.}\r\n"
    "+PCText: {Hello.}\r\n"
    "+Add topic: {The ring}\r\n"
    "+Hide topic: {Old news} From: \"Galienne\"\r\n"
    "+Topic: {The ring}\r\n"
    "+Hidden\r\n"
    "+RivudText: {We seek a ring.}\r\n"
    "+AddXP: 25\r\n"
    "+AddSP: 1 \"Rivud\"\r\n"
    "+Unhide quest: {The Lost Rings}\r\n"
    "+Remove initial topic: {Greetings}\r\n"
    "+Set hail topic: {Old news} For: \"Galienne\"\r\n"
    "+Topic: {Trade}\r\n"
    "+Shop\r\n"
    "$Initial topics: {Greetings} {Trade}\r\n"
    "$Character: \"Galienne\"\r\n"
    "+Topic: {Old news}\r\n"
    "+NPCText: \"Tessam\" {She knows.}\r\n"
    "+Farewell\r\n"
    "$Initial topics: {Old news}\r\n"
    "$Character: \"Quiet\"\r\n"
    "$Initial topics:\r\n"
    "$End\r\n";

class Talk : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string events = demo_events_text(game_event_declarations(), demo_quests());
    demo_events_load_text("demo_events.tbl", events.c_str(), static_cast<int>(events.size()));
    savegame_layout();  // quests are kept in the save image
    console_set_output_hook([](const char* t) { said() += t; });
    said().clear();
    ASSERT_EQ(dlg_table_load_text("test_dlg.tbl", Table, sizeof Table - 1), 0) << said();
  }
  void TearDown() override {
    conversation_unload();
    console_set_output_hook(nullptr);
  }
  static std::string& said() {
    static std::string s;
    return s;
  }
  static uint32_t flags(const char* person, const char* topic) {
    const int p = conversation_find_person(person);
    return conversation_person(p)->topics[static_cast<size_t>(conversation_find_topic(p, topic))].flags;
  }
};

TEST_F(Talk, TheTableGivesPersonsTopicsLinesAndAFarewellEach) {
  ASSERT_EQ(conversation_person_count(), 3);
  DialoguePerson* t = conversation_person(conversation_find_person("TESSAM"));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->move_in_ms, 2000);
  EXPECT_EQ(t->move_out_ms, 1500);
  EXPECT_EQ(t->flags, Cflag_Important | Cflag_NoAbort);
  ASSERT_EQ(t->topics.size(), 4u);  // three of the table and the farewell
  EXPECT_EQ(t->topics[3].name, "\"Farewell.\"");
  EXPECT_EQ(t->topics[3].flags, TOPIC_FAREWELL | TOPIC_INITIAL);
  ASSERT_EQ(t->topics[0].lines.size(), 2u);
  EXPECT_EQ(t->topics[0].lines[0].speaker, "Tessam");
  EXPECT_EQ(t->topics[0].lines[1].speaker, "");
  EXPECT_EQ(t->topics[1].lines[0].speaker, "Rivud");
  EXPECT_EQ(t->topics[1].flags, TOPIC_HIDDEN);
  EXPECT_EQ(t->topics[2].flags, TOPIC_SHOP | TOPIC_INITIAL);
  EXPECT_EQ(t->hail, 0);
  // "+AddXP:" without a hero is the party's; "+AddSP:" names Rivud.
  ASSERT_EQ(t->topics[1].rewards.size(), 2u);
  EXPECT_EQ(t->topics[1].rewards[0].hero, -1);
  EXPECT_EQ(t->topics[1].rewards[0].value, 25);
  EXPECT_EQ(t->topics[1].rewards[1].type, SE_SKILL_POINTS);
  // Galienne's topic was named by Tessam before Galienne was read.
  const DialogueEffect& hide = t->topics[0].effects[DE_HIDE_TOPIC][0];
  EXPECT_EQ(hide.person, conversation_find_person("Galienne"));
  EXPECT_EQ(hide.topic, 0);
  DialoguePerson* g = conversation_person(conversation_find_person("Galienne"));
  // A topic that ends the talk is not the farewell: that one is added.
  ASSERT_EQ(g->topics.size(), 2u);
  EXPECT_EQ(g->topics[1].name, DIALOGUE_FAREWELL_NAME);
  DialoguePerson* q = conversation_person(conversation_find_person("Quiet"));
  ASSERT_EQ(q->topics.size(), 1u);  // no topics: only the farewell
  EXPECT_EQ(q->hail, -1);
  EXPECT_EQ(conversation_begin("Quiet"), -1);  // nothing to open with
}

TEST_F(Talk, PickingOffersHidesAndOpensAQuest) {
  ASSERT_EQ(conversation_begin("tessam"), 0);
  EXPECT_EQ(conversation_current_topic(), 0);
  // The greeting offered "The ring", but it is hidden until unhidden.
  EXPECT_TRUE(flags("Tessam", "The ring") & TOPIC_AVAILABLE);
  EXPECT_EQ(conversation_first_offered(), 2);  // Trade: initial and shown
  EXPECT_TRUE(flags("Galienne", "Old news") & TOPIC_HIDDEN);
  conversation_pick(1);  // hidden: ignored
  EXPECT_EQ(conversation_current_topic(), 0);
  ASSERT_EQ(dialogue_set_topic_available("Tessam", "The ring", true), 0);
  conversation_pick(1);
  EXPECT_EQ(conversation_current_topic(), 1);
  EXPECT_TRUE(conversation_journal_updated());
  EXPECT_TRUE(quest_is_active(quest_find("The Lost Rings")));
  // The greeting is no longer an opening; Galienne now opens with her news.
  EXPECT_FALSE(flags("Tessam", "Greetings") & TOPIC_INITIAL);
  EXPECT_EQ(conversation_person(conversation_find_person("Tessam"))->hail, 2);
  EXPECT_EQ(conversation_person(conversation_find_person("Galienne"))->hail, 0);
  conversation_end();
  EXPECT_EQ(conversation_current_person(), -1);
  EXPECT_EQ(dialogue_set_topic_available("Nobody", "x", true), -1);
}

TEST_F(Talk, BadTablesLeaveNoConversations) {
  const char* const bad[] = {
      "$Character: \"A\"\r\n$Initial topics:\r\n$Character: \"a\"\r\n$Initial topics:\r\n$End\r\n",
      "$Character: \"A\"\r\n+Topic: {x}\r\n+Topic: {x}\r\n$Initial topics:\r\n$End\r\n",
      "$Character: \"A\"\r\n+Topic: {x}\r\n+Add topic: {y} From: \"Nobody\"\r\n$Initial topics:\r\n$End\r\n",
      "$Character: \"A\"\r\n+Topic: {x}\r\n+Remove topic: {missing}\r\n$Initial topics:\r\n$End\r\n",
  };
  for (const char* text : bad) {
    EXPECT_EQ(dlg_table_load_text("bad_dlg.tbl", text, static_cast<int>(std::strlen(text))), -1) << text;
    EXPECT_EQ(conversation_person_count(), 0);
  }
  said().clear();
  const char quest[] = "$Character: \"A\"\r\n+Topic: {x}\r\n+Hide quest: {No Such Quest}\r\n$Initial topics: {x}\r\n$End\r\n";
  EXPECT_EQ(dlg_table_load_text("q_dlg.tbl", quest, sizeof quest - 1), 0);
  EXPECT_NE(said().find("Illegal quest name : No Such Quest"), std::string::npos);
  CriticalErrorTrap trap;
  const char missing[] = "$Character: \"A\"\r\n+Topic: {x}\r\n$End\r\n";  // no "$Initial topics:"
  EXPECT_THROW(dlg_table_load_text("m_dlg.tbl", missing, sizeof missing - 1), CriticalErrorThrown);
}

}  // namespace
