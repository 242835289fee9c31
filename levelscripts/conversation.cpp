#include "levelscripts/conversation.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/characterinfo.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/quest_lookup.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

namespace {

std::vector<DialoguePerson> Persons;
int Current_person = -1, Current_topic = -1;
bool Journal_updated = false;

constexpr int NAME_CAPACITY = 256;
constexpr int TEXT_CAPACITY = 1025;

const char* const Flag_names[] = {"Cflag_None", "Cflag_NoCameraMovement", "Cflag_DontFacePlayer", "Cflag_NoAbort",
                                  "Cflag_Important", "Cflag_Persistent"};
const uint16_t Flag_values[] = {Cflag_None, Cflag_NoCameraMovement, Cflag_DontFacePlayer, Cflag_NoAbort,
                                Cflag_Important, Cflag_Persistent};

const char* const Effect_keywords[NUM_DIALOGUE_EFFECTS] = {
    "+Add topic:", "+Remove topic:", "+Add initial topic:", "+Remove initial topic:", "+Hide topic:",
    "+Unhide topic:", "+Hide quest:", "+Unhide quest:", "+Set important", "+Clear important", "+Set hail topic:"};

const char* const Hero_lines[][2] = {
    {"+RuvizoText:", "Ruvizo"}, {"+RivadaraText:", "Rivadara"}, {"+RivudText:", "Rivud"}, {"+ZazuruText:", "Zazuru"}};

bool next_is(ParseContext& pc, char c) {
  pc.skip_space();
  return pc.cursor() && *pc.cursor() == c;
}

std::string quoted(ParseContext& pc) {
  char b[NAME_CAPACITY];
  pc.read_string(b, sizeof b);
  return b;
}
std::string braced(ParseContext& pc, int capacity = NAME_CAPACITY) {
  std::vector<char> b(static_cast<size_t>(capacity));
  pc.read_string(b.data(), capacity, '{', '}');
  return b.data();
}

int find_person(const std::vector<DialoguePerson>& persons, const char* name) {
  for (size_t i = 0; name && i < persons.size(); i++)
    if (!strcasecmp(persons[i].name.c_str(), name)) return static_cast<int>(i);
  return -1;
}
int find_topic(const DialoguePerson& p, const std::string& name) {
  for (size_t i = 0; i < p.topics.size(); i++)
    if (p.topics[i].name == name) return static_cast<int>(i);
  return -1;
}

// The hero named by a reward, as the event records keep it: the hero's
// character type, -1 the whole party.
int hero_argument(ParseContext& pc) {
  if (!next_is(pc, '"')) return -1;
  const std::string hero = quoted(pc);
  return charinfo_lookup(hero.c_str());
}

// One topic's entries, in any order, until none follows. False: the load
// fails (already reported).
void read_topic_body(ParseContext& pc, DialoguePerson& person, DialogueTopic& t) {
  while (true) {
    if (pc.optional_string("+Shop")) {
      t.flags |= TOPIC_SHOP;
    } else if (pc.optional_string("+Hidden")) {
      t.flags |= TOPIC_HIDDEN;
    } else if (pc.optional_string("+Farewell")) {
      t.flags |= TOPIC_FAREWELL;
    } else if (pc.optional_string("+PCText:")) {
      t.lines.push_back({"", braced(pc, TEXT_CAPACITY)});
    } else if (pc.optional_string("+NPCText:")) {
      std::string speaker = next_is(pc, '"') ? quoted(pc) : person.name;
      t.lines.push_back({speaker, braced(pc, TEXT_CAPACITY)});
    } else if (pc.optional_string("+Trigger:") || pc.optional_string("+Event:")) {
      DialogueCondition c;
      c.kind = "event";
      c.a = quoted(pc);
      t.conditions.push_back(c);
    } else if (pc.optional_string("+Unhide by item:") || pc.optional_string("+Hide by item:")) {
      DialogueCondition c;
      c.kind = "item";
      c.a = braced(pc);
      t.conditions.push_back(c);
    } else if (pc.optional_string("+Unhide by gold:") || pc.optional_string("+Hide by gold:")) {
      DialogueCondition c;
      c.kind = "gold";
      c.a = braced(pc);
      c.value = pc.read_int();
      t.conditions.push_back(c);
    } else if (pc.optional_string("+Unhide by event:") || pc.optional_string("+Hide by event:")) {
      DialogueCondition c;
      c.kind = "flag";
      c.a = braced(pc);
      c.b = quoted(pc);
      c.c = quoted(pc);
      c.value = level_script_info_lookup(c.c.c_str());
      c.c = quoted(pc);
      t.conditions.push_back(c);
    } else if (pc.optional_string("+AddXP:")) {
      const int v = pc.read_int();
      t.rewards.push_back({nullptr, nullptr, SE_XP, v, hero_argument(pc)});
    } else if (pc.optional_string("+AddSP:")) {
      const int v = pc.read_int();
      t.rewards.push_back({nullptr, nullptr, SE_SKILL_POINTS, v, hero_argument(pc)});
    } else if (pc.optional_string("+AdjustGP:")) {
      t.rewards.push_back({nullptr, nullptr, SE_GOLD, pc.read_int(), -1});
    } else if (pc.optional_string("+Gain item:")) {
      const std::string item = quoted(pc);
      t.rewards.push_back({nullptr, nullptr, SE_GAIN_ITEM, item_lookup(item.c_str()), -1});
    } else if (pc.optional_string("+Lose item:")) {
      const std::string item = quoted(pc);
      t.rewards.push_back({nullptr, nullptr, SE_LOSE_ITEM, item_lookup(item.c_str()), -1});
    } else {
      bool hero_line = false;
      for (const auto& h : Hero_lines) {
        if (!pc.optional_string(h[0])) continue;
        t.lines.push_back({h[1], braced(pc, TEXT_CAPACITY)});
        hero_line = true;
        break;
      }
      if (hero_line) continue;
      int kind = -1;
      for (int k = 0; k < NUM_DIALOGUE_EFFECTS && kind < 0; k++)
        if (pc.optional_string(Effect_keywords[k])) kind = k;
      if (kind < 0) return;
      DialogueEffect e;
      e.person_name = person.name;
      if (kind == DE_HIDE_QUEST || kind == DE_UNHIDE_QUEST) {
        const std::string quest = braced(pc);
        e.quest = quest_find(quest.c_str());
        if (e.quest < 0) console_printf("Illegal quest name : %s\n", quest.c_str());
      } else {
        if (kind != DE_SET_IMPORTANT && kind != DE_CLEAR_IMPORTANT) e.topic_name = braced(pc);
        if (pc.optional_string(kind == DE_SET_HAIL ? "For:" : "From:")) e.person_name = quoted(pc);
      }
      t.effects[kind].push_back(e);
    }
  }
}

// False: a repeated name (reported).
bool read_person(ParseContext& pc, std::vector<DialoguePerson>& persons) {
  DialoguePerson p;
  p.name = quoted(pc);
  if (find_person(persons, p.name.c_str()) >= 0) {
    console_printf("%s: the person %s is defined twice\n", pc.filename(), p.name.c_str());
    return false;
  }
  if (pc.optional_string("+Move in time:")) p.move_in_ms = static_cast<uint16_t>(pc.read_int_in(0, 65535, "+Move in time:"));
  if (pc.optional_string("+Move out time:"))
    p.move_out_ms = static_cast<uint16_t>(pc.read_int_in(0, 65535, "+Move out time:"));
  if (pc.optional_string("+Flags:")) {
    do {
      const std::string word = quoted(pc);
      bool known = false;
      for (int i = 0; i < 6; i++)
        if (!strcasecmp(word.c_str(), Flag_names[i])) p.flags |= Flag_values[i], known = true;
      if (!known) pc.error("a DialogueFlags keyword");
    } while (next_is(pc, '"'));
  }
  while (pc.optional_string("+Topic:")) {
    DialogueTopic t;
    t.name = braced(pc);
    if (find_topic(p, t.name) >= 0) {
      console_printf("%s: %s has the topic {%s} twice\n", pc.filename(), p.name.c_str(), t.name.c_str());
      return false;
    }
    read_topic_body(pc, p, t);
    p.topics.push_back(std::move(t));
  }
  int farewell = find_topic(p, DIALOGUE_FAREWELL_NAME);
  if (farewell < 0) {
    DialogueTopic t;
    t.name = DIALOGUE_FAREWELL_NAME;
    p.topics.push_back(t);
    farewell = static_cast<int>(p.topics.size()) - 1;
  }
  p.topics[farewell].flags |= TOPIC_FAREWELL | TOPIC_INITIAL;
  pc.require_string("$Initial topics:");
  while (next_is(pc, '{')) {
    const std::string name = braced(pc);
    const int t = find_topic(p, name);
    if (t < 0) {
      console_printf("%s: %s has no topic {%s} to start with\n", pc.filename(), p.name.c_str(), name.c_str());
      continue;
    }
    p.topics[t].flags |= TOPIC_INITIAL;
    if (p.hail < 0) p.hail = t;
  }
  persons.push_back(std::move(p));
  return true;
}

bool resolve(std::vector<DialoguePerson>& persons) {
  for (DialoguePerson& p : persons)
    for (DialogueTopic& t : p.topics)
      for (auto& list : t.effects)
        for (DialogueEffect& e : list) {
          if (e.quest >= 0 || (e.person_name.empty() && e.topic_name.empty())) continue;
          e.person = find_person(persons, e.person_name.c_str());
          if (e.person < 0) {
            console_printf("Dialogue effect names the unknown person %s\n", e.person_name.c_str());
            return false;
          }
          if (e.topic_name.empty()) continue;
          e.topic = find_topic(persons[static_cast<size_t>(e.person)], e.topic_name);
          if (e.topic < 0) {
            console_printf("Dialogue effect names the unknown topic {%s} of %s\n", e.topic_name.c_str(),
                           e.person_name.c_str());
            return false;
          }
        }
  return true;
}

int load(ParseContext& pc) {
  conversation_unload();
  std::vector<DialoguePerson> persons;
  while (pc.optional_string("$Character:"))
    if (!read_person(pc, persons)) return -1;
  pc.require_string("$End");
  if (!resolve(persons)) return -1;
  Persons = std::move(persons);
  return 0;
}

DialogueTopic* topic_at(int person, int topic) {
  if (person < 0 || person >= static_cast<int>(Persons.size())) return nullptr;
  DialoguePerson& p = Persons[static_cast<size_t>(person)];
  return topic >= 0 && topic < static_cast<int>(p.topics.size()) ? &p.topics[static_cast<size_t>(topic)] : nullptr;
}

int first_initial_shown(const DialoguePerson& p) {
  for (size_t i = 0; i < p.topics.size(); i++)
    if ((p.topics[i].flags & TOPIC_INITIAL) && !(p.topics[i].flags & TOPIC_HIDDEN)) return static_cast<int>(i);
  return -1;
}

void apply(int kind, const DialogueEffect& e) {
  DialogueTopic* t = topic_at(e.person, e.topic);
  DialoguePerson* p = e.person >= 0 && e.person < static_cast<int>(Persons.size()) ? &Persons[static_cast<size_t>(e.person)]
                                                                                    : nullptr;
  switch (kind) {
    case DE_ADD_TOPIC: if (t) t->flags |= TOPIC_AVAILABLE | TOPIC_NEW; break;
    case DE_REMOVE_TOPIC: if (t) t->flags &= ~TOPIC_AVAILABLE; break;
    case DE_ADD_INITIAL: if (t) t->flags |= TOPIC_INITIAL | TOPIC_NEW; break;
    case DE_REMOVE_INITIAL:
      if (!t) break;
      t->flags &= ~(TOPIC_INITIAL | TOPIC_AVAILABLE);
      if (p && p->hail == e.topic) p->hail = first_initial_shown(*p);
      break;
    case DE_HIDE_TOPIC: if (t) t->flags |= TOPIC_HIDDEN; break;
    case DE_UNHIDE_TOPIC: if (t) t->flags &= ~TOPIC_HIDDEN; break;
    case DE_HIDE_QUEST:
    case DE_UNHIDE_QUEST:
      if (e.quest < 0) break;
      quest_set_active(e.quest, kind == DE_UNHIDE_QUEST);
      Journal_updated = true;
      break;
    case DE_SET_IMPORTANT: if (p) p->flags |= Cflag_Important; break;
    case DE_CLEAR_IMPORTANT: if (p) p->flags &= ~Cflag_Important; break;
    case DE_SET_HAIL:
      if (p && t) {
        p->hail = e.topic;
        t->flags |= TOPIC_INITIAL;
      }
      break;
    default: break;
  }
}

}  // namespace

int dlg_table_load_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, length > 0 ? static_cast<size_t>(length) : 0);
  return load(pc);
}

int dlg_table_load(const char* script) {
  char file[96];
  std::snprintf(file, sizeof file, "%.64s_dlg.tbl", script ? script : "");
  ParseContext pc;
  const int rc = pc.open(file, VFILE_ANY_TYPE);
  if (rc != 0) {
    conversation_unload();
    return rc;
  }
  return load(pc);
}

void conversation_unload() {
  Persons.clear();
  Current_person = Current_topic = -1;
  Journal_updated = false;
}

int conversation_person_count() { return static_cast<int>(Persons.size()); }
DialoguePerson* conversation_person(int index) {
  return index >= 0 && index < static_cast<int>(Persons.size()) ? &Persons[static_cast<size_t>(index)] : nullptr;
}
int conversation_find_person(const char* name) { return find_person(Persons, name); }
int conversation_find_topic(int person, const char* topic) {
  const DialoguePerson* p = conversation_person(person);
  return p && topic ? find_topic(*p, topic) : -1;
}

int conversation_begin(const char* name) {
  const int person = find_person(Persons, name);
  DialoguePerson* p = conversation_person(person);
  if (!p) return -1;
  const DialogueTopic* hail = topic_at(person, p->hail);
  if (!hail || (hail->flags & TOPIC_HIDDEN)) return -1;
  Current_person = person;
  for (size_t i = 0; i < p->topics.size(); i++) {
    DialogueTopic& t = p->topics[i];
    if (static_cast<int>(i) == p->hail || (t.flags & TOPIC_INITIAL)) t.flags |= TOPIC_AVAILABLE | TOPIC_NEW;
    else t.flags &= ~(TOPIC_AVAILABLE | TOPIC_NEW);
  }
  Current_topic = -1;
  Journal_updated = false;
  conversation_pick(p->hail);
  return 0;
}

void conversation_pick(int topic) {
  DialogueTopic* t = topic_at(Current_person, topic);
  if (!t || !(t->flags & TOPIC_AVAILABLE) || (t->flags & TOPIC_HIDDEN)) return;
  t->flags &= ~TOPIC_AVAILABLE;
  t->flags |= TOPIC_SAID;
  Current_topic = topic;
  for (DialogueTopic& other : Persons[static_cast<size_t>(Current_person)].topics) other.flags &= ~TOPIC_NEW;
  static const int order[] = {DE_SET_HAIL,    DE_ADD_TOPIC,    DE_ADD_INITIAL, DE_REMOVE_TOPIC,
                              DE_REMOVE_INITIAL, DE_HIDE_TOPIC, DE_UNHIDE_TOPIC, DE_HIDE_QUEST,
                              DE_UNHIDE_QUEST, DE_SET_IMPORTANT, DE_CLEAR_IMPORTANT};
  // The lists may change this topic's own person, never the list being read.
  const DialogueTopic picked = *t;
  for (int kind : order)
    for (const DialogueEffect& e : picked.effects[kind]) apply(kind, e);
  // The rewards come when the dialogue runtime shows the topic's lines.
}

void conversation_end() { Current_person = Current_topic = -1; }
int conversation_current_person() { return Current_person; }
int conversation_current_topic() { return Current_topic; }
bool conversation_journal_updated() { return Journal_updated; }

int conversation_first_offered() {
  const DialoguePerson* p = conversation_person(Current_person);
  for (size_t i = 0; p && i < p->topics.size(); i++)
    if ((p->topics[i].flags & TOPIC_AVAILABLE) && !(p->topics[i].flags & TOPIC_HIDDEN)) return static_cast<int>(i);
  return -1;
}

int dialogue_set_topic_available(const char* person, const char* topic, bool on) {
  const int pi = find_person(Persons, person);
  const int ti = conversation_find_topic(pi, topic);
  DialogueTopic* t = topic_at(pi, ti);
  if (!t) return -1;
  DialoguePerson& p = Persons[static_cast<size_t>(pi)];
  if (on) {
    t->flags &= ~TOPIC_HIDDEN;
  } else {
    t->flags |= TOPIC_HIDDEN;
    if (p.hail == ti) p.hail = first_initial_shown(p);
  }
  return 0;
}
