#pragma once
// Conversations: the persons of a level script's dialogue table
// ("<script>_dlg.tbl"), their topics and what picking a topic does to other
// topics, persons and quests. One table is loaded at a time; names of
// persons are compared without regard to case, topic names exactly.
#include <cstdint>
#include <string>
#include <vector>

#include "levelscripts/script_ops.h"

enum DialogueFlags : uint16_t {
  Cflag_None = 0, Cflag_NoCameraMovement = 1, Cflag_DontFacePlayer = 2, Cflag_NoAbort = 4, Cflag_Important = 8,
  Cflag_Persistent = 16
};
// Topic bits.
constexpr uint32_t TOPIC_SAID = 1, TOPIC_AVAILABLE = 2, TOPIC_FAREWELL = 4, TOPIC_INITIAL = 8, TOPIC_NEW = 16,
                   TOPIC_HIDDEN = 32, TOPIC_SHOP = 64;
// The farewell topic every person has: the quote marks are part of its name.
#define DIALOGUE_FAREWELL_NAME "\"Farewell.\""

// The eleven effect lists, in the order the table names them.
enum DialogueEffectKind {
  DE_ADD_TOPIC, DE_REMOVE_TOPIC, DE_ADD_INITIAL, DE_REMOVE_INITIAL, DE_HIDE_TOPIC, DE_UNHIDE_TOPIC, DE_HIDE_QUEST,
  DE_UNHIDE_QUEST, DE_SET_IMPORTANT, DE_CLEAR_IMPORTANT, DE_SET_HAIL, NUM_DIALOGUE_EFFECTS
};

struct DialogueLine {
  std::string speaker;  // empty: the player's hero; a hero's name for the hero lines
  std::string text;
};
struct DialogueCondition {
  std::string kind;  // "+Trigger:", "+Event:", "+Unhide by item:", ...
  std::string a, b, c;
  int32_t value = 0;
};
struct DialogueEffect {
  int person = -1;  // the target person (index), -1 unresolved
  int topic = -1;   // the target topic of that person, -1 none
  int quest = -1;   // the quest of DE_HIDE_QUEST / DE_UNHIDE_QUEST
  std::string person_name, topic_name;  // kept until resolved after "$End"
};
struct DialogueTopic {
  std::string name;
  uint32_t flags = 0;
  std::vector<DialogueLine> lines;
  std::vector<DialogueCondition> conditions;
  std::vector<ScriptEvent> rewards;
  std::vector<std::string> reward_names;  // item names the reward records point at
  std::vector<DialogueEffect> effects[NUM_DIALOGUE_EFFECTS];
};
struct DialoguePerson {
  std::string name;
  uint16_t flags = Cflag_None;
  uint16_t move_in_ms = 3000, move_out_ms = 1500;
  std::vector<DialogueTopic> topics;  // file order
  int hail = -1;                      // topic index
};

// Reads the table text into the manager: 0, or -1 when a cross-person
// reference cannot be resolved or a name repeats (the manager then holds no
// table). A missing token is the parser's error.
int dlg_table_load_text(const char* filename, const char* text, int length);
// The script's "<script>_dlg.tbl": 0, -1 as above, or the file layer's error
// when there is none (the script has no conversations).
int dlg_table_load(const char* script);
void conversation_unload();

int conversation_person_count();
DialoguePerson* conversation_person(int index);
int conversation_find_person(const char* name);  // -1 none
int conversation_find_topic(int person, const char* topic);

// 0, or -1 when there is no such person or its hail topic is missing or
// hidden. Offers the hail topic and the initial topics and picks the hail.
int conversation_begin(const char* person);
// Picking an offered topic applies its effect lists.
void conversation_pick(int topic);
void conversation_end();
int conversation_current_person();
int conversation_current_topic();
// The current person's first topic offered and not hidden, -1 none.
int conversation_first_offered();
bool conversation_journal_updated();
// on clears hidden; off hides the topic, moving the hail to the first
// initial topic that is not hidden. 0, or -1 for an unknown person or topic.
int dialogue_set_topic_available(const char* person, const char* topic, bool on);
