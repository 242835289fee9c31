#include "levelscripts/dialogue.h"

#include <algorithm>
#include <strings.h>

#include <cmath>
#include <string>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_component.h"
#include "Engine/ai/ai_core.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Orrimund/player/party.h"
#include "levelscripts/conversation.h"
#include "levelscripts/script_ops.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/text_panel.h"
#include "quarn/os/timer.h"

namespace {

DialogueHooks Hooks;

struct Runtime {
  int entity = -1;
  int state = DIALOGUE_IDLE;
  int approach = 0;
  int camera = 0;
  float move_in = 3000.0f, move_out = 1500.0f;
  uint16_t flags = 0;
  float camera_height = 0.0f;
  vector hero_last{0, 0, 0};
  vector ahead{0, 0, 0};
  uint32_t timer_start = 0;
  float timer_length = 0.0f;
  bool choices = false;
  bool walked = false;
  std::string person;
} R;
std::string Last_person;  // the person of the last conversation

// The texts the speaker panel points at live here; the panel never holds
// more entries than the ring has texts.
std::string Texts[TEXT_PANEL_ENTRIES];
int Next_text = 0;

uint32_t now() { return Hooks.now_ms ? Hooks.now_ms() : timer_get(1000); }

void timer_set(float ms) {
  R.timer_start = now();
  R.timer_length = ms;
}
float timer_left() {
  const float left = R.timer_length - static_cast<float>(now() - R.timer_start);
  return left > 0.0f ? left : 0.0f;
}

living_entity* person_entity() { return entity_from_handle(R.entity); }
living_entity* hero() { return Selected_entity; }

const TextPanelEntry* post(const std::string& text, int kind, intptr_t tag) {
  std::string& slot = Texts[Next_text];
  Next_text = (Next_text + 1) % TEXT_PANEL_ENTRIES;
  slot = text;
  return hud_text_post(slot.c_str(), kind, tag);
}

// The talk queue: a used list in the order the lines were posted and a
// free list, over 16 fixed entries.
struct TalkEntry {
  int entity = -1;
  int move = -1;
  bool shown = false;
  int slot = -1;               // the line's speaker panel entry
  const char* text = nullptr;  // the line, to tell a reused entry
  int next = -1;
};
TalkEntry Talk[DIALOGUE_TALK_QUEUE];
int Talk_head = -1, Talk_tail = -1, Talk_free = -1;

void talk_reset() {
  Talk_head = Talk_tail = -1;
  Talk_free = -1;
  for (int i = DIALOGUE_TALK_QUEUE - 1; i >= 0; i--) {
    Talk[i] = TalkEntry{};
    Talk[i].next = Talk_free;
    Talk_free = i;
  }
}

void talk_queue(int entity, const TextPanelEntry* line) {
  if (entity < 0 || !line || Talk_free < 0) return;
  const int i = Talk_free;
  Talk_free = Talk[i].next;
  Talk[i] = TalkEntry{entity, -1, false, static_cast<int>(line - Speaker_panel.entries), line->text, -1};
  if (Talk_tail >= 0) Talk[Talk_tail].next = i;
  else Talk_head = i;
  Talk_tail = i;
}

void talk_pop() {
  const int i = Talk_head;
  Talk_head = Talk[i].next;
  if (Talk_head < 0) Talk_tail = -1;
  Talk[i].next = Talk_free;
  Talk_free = i;
}

int talk_play(int entity) {
  if (Hooks.talk_play) return Hooks.talk_play(entity);
  living_entity* e = entity_from_handle(entity);
  const Move_info* m = e && e->character ? e->pick_talk_move() : nullptr;
  return m ? e->play_move(m, 1.0f, false, false, 0) : -1;
}

bool talk_finished(int entity, int move) {
  if (Hooks.talk_finished) return Hooks.talk_finished(entity, move);
  living_entity* e = entity_from_handle(entity);
  return !e || e->move_finished(move);
}

// One speaker at a time: the head's line is in view, it talks; its move
// over, the next one's turn.
void talk_advance() {
  while (Talk_head >= 0) {
    TalkEntry& t = Talk[Talk_head];
    if (t.shown) {
      if (t.move >= 0 && !talk_finished(t.entity, t.move)) return;
      talk_pop();
      continue;
    }
    const TextPanelEntry& line = Speaker_panel.at_slot(t.slot);
    if (line.text != t.text) {  // the ring dropped it
      talk_pop();
      continue;
    }
    if (Speaker_panel.scrolling() || !Speaker_panel.entry_fits(t.slot)) return;
    t.shown = true;
    t.move = talk_play(t.entity);
  }
}

// The entity speaking a line: the controlled hero, the person, a hero of
// the party by its kind's name, or an entity of that name.
int speaker_entity(const DialogueLine& line) {
  if (line.speaker.empty()) return Selected_entity ? Selected_entity->handle : -1;
  if (!strcasecmp(line.speaker.c_str(), R.person.c_str())) return R.entity;
  static const char* const Hero_kinds[] = {"Ruvizo", "Zazuru", "Rivud", "Rivadara"};
  for (int kind = 0; kind < 4; kind++) {
    if (strcasecmp(line.speaker.c_str(), Hero_kinds[kind])) continue;
    living_entity* list = entity_live_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
      if (e->character && e->character->kind == kind && !(e->state & ES_DEAD)) return e->handle;
    return -1;
  }
  const living_entity* e = entity_find_by_name(line.speaker.c_str());
  return e ? e->handle : -1;
}

// The speaker of a text line: the controlled hero, the person, or the first
// living hero of the named kind.
std::string speaker_name(const DialogueLine& line) {
  if (line.speaker.empty()) return hero() ? hero()->get_name() : "";
  return line.speaker;
}

void script_character_hold(bool held) {
  const int c = script_character_find(R.person.c_str());
  if (ScriptCharacter* sc = c >= 0 ? script_character_at(c) : nullptr) sc->paused = held;
}

void face_hero() {
  living_entity* p = person_entity();
  living_entity* h = hero();
  if (!p || !h || (R.flags & Cflag_DontFacePlayer)) return;
  ai_turn_toward(&p->ai, h->pos, 0);
}

const DialogueTopic* current_topic() {
  const DialoguePerson* p = conversation_person(conversation_current_person());
  const int t = conversation_current_topic();
  return p && t >= 0 && t < static_cast<int>(p->topics.size()) ? &p->topics[static_cast<size_t>(t)] : nullptr;
}

void show_topic(bool echo) {
  const DialoguePerson* p = conversation_person(conversation_current_person());
  const DialogueTopic* t = current_topic();
  if (!p || !t) return;
  if (t->lines.empty() && (t->flags & (TOPIC_FAREWELL | TOPIC_SHOP))) {
    dialogue_advance();
    return;
  }
  Choice_panel.clear();
  R.choices = false;
  R.state = DIALOGUE_SHOWING;
  // The picked topic's echo scrolls up to the top of the panel, its answer
  // below it.
  if (echo && Speaker_panel.count > 0) {
    post(t->name, TP_PLAIN, conversation_current_topic() + 1);
    const TextPanelEntry& e = Speaker_panel.at_slot(Speaker_panel.entry_slot(Speaker_panel.count - 1));
    Speaker_panel.target = -e.offset;
  }
  for (const DialogueLine& line : t->lines) {
    const TextPanelEntry* e = post(speaker_name(line) + ": " + line.text, TP_SPEECH, 0);
    if (line.text.find('"') != std::string::npos) talk_queue(speaker_entity(line), e);
  }
  // Rewards come with the lines that grant them.
  for (const ScriptEvent& r : t->rewards) script_event_execute(&r);
  if (!t->effects[DE_HIDE_QUEST].empty() || !t->effects[DE_UNHIDE_QUEST].empty())
    post("<Quest Journal Updated>", TP_COPIED, 0);
}

void approach_over() {
  R.approach = 3;
  face_hero();
  if (R.camera == 0) {
    R.camera = 1;
    timer_set(R.move_in);
  }
  if (Hooks.open_box) Hooks.open_box(R.person.c_str());
  R.state = DIALOGUE_WAITING;
  show_topic(false);
}

// The point on the line from the person toward the hero where the hero
// stands to talk.
vector talk_point(const living_entity* h, const living_entity* p) {
  vector d = h->pos - p->pos;
  d.y = 0.0f;
  const float len = std::sqrt(d.x * d.x + d.z * d.z);
  const float at = h->get_radius() + p->get_radius() + DIALOGUE_STAND_OFF;
  if (len < 1e-4f) return p->pos;
  return p->pos + d * (at / len);
}

void approach_step() {
  living_entity* h = hero();
  living_entity* p = person_entity();
  if (!h || !p) {
    approach_over();
    return;
  }
  const vector point = talk_point(h, p);
  const vector to_point = h->pos - point;
  const float near_point = std::sqrt(to_point.x * to_point.x + to_point.z * to_point.z);
  const vector to_person = h->pos - p->pos;
  const float hero_person = std::sqrt(to_person.x * to_person.x + to_person.z * to_person.z);
  const float point_person = h->get_radius() + p->get_radius() + DIALOGUE_STAND_OFF;
  if (R.approach == 0) {
    if (near_point <= DIALOGUE_NEAR_ENOUGH && hero_person <= point_person) {
      approach_over();
      return;
    }
    if (h->state & ES_COMBAT_READY) party_set_combat_ready(false);
    ai_travel_to(&h->ai, point);
    R.walked = true;
    R.approach = 1;
    return;
  }
  // Walking: arrived, or the time allowed for the walk is over.
  if (near_point <= DIALOGUE_NEAR_ENOUGH || timer_left() <= 0.0f) approach_over();
}

bool camera_stays() {
  const int mode = Hooks.camera_mode ? Hooks.camera_mode() : 0;
  return (R.flags & Cflag_NoCameraMovement) || mode == 1 || (mode == 2 && !(R.flags & Cflag_Important));
}

void go_idle() {
  R.camera = 0;
  R.state = DIALOGUE_IDLE;
  if (Hooks.camera_restore) Hooks.camera_restore();
}

// True when the runtime became idle this frame.
bool camera_step() {
  if (camera_stays()) {
    if (R.camera == 3) {
      go_idle();
      return true;
    }
    return false;
  }
  const int hero_handle = hero() ? hero()->handle : -1;
  switch (R.camera) {
    case 1: {
      const float w = R.move_in > 0.0f ? 1.0f - timer_left() / R.move_in : 1.0f;
      if (Hooks.camera_blend) Hooks.camera_blend(w, hero_handle, R.entity, R.camera_height);
      if (w >= 1.0f) R.camera = 2;
      break;
    }
    case 2:
      if (Hooks.camera_blend) Hooks.camera_blend(1.0f, hero_handle, R.entity, R.camera_height);
      break;
    case 3: {
      const float w = R.move_out > 0.0f ? timer_left() / R.move_out : 0.0f;
      if (Hooks.camera_blend) Hooks.camera_blend(w, hero_handle, R.entity, R.camera_height);
      if (w <= 0.0f) {
        go_idle();
        return true;
      }
      break;
    }
    default: break;
  }
  return false;
}

}  // namespace

void dialogue_set_hooks(const DialogueHooks& hooks) { Hooks = hooks; }

int dialogue_start(const char* person, int entity) {
  if (!person || conversation_begin(person) != 0) {
    dialogue_end(false);
    return -1;
  }
  const DialoguePerson* p = conversation_person(conversation_current_person());
  R = Runtime{};
  R.person = p->name;
  R.entity = entity;
  R.move_in = p->move_in_ms;
  R.move_out = p->move_out_ms;
  R.flags = p->flags;
  if (Hooks.camera_save) Hooks.camera_save();
  living_entity* h = hero();
  living_entity* e = person_entity();
  if (h && e) R.camera_height = (h->pos.y + h->get_height() + e->pos.y + e->get_height()) * 0.5f + 0.25f;
  timer_set(DIALOGUE_APPROACH_MS);
  R.state = DIALOGUE_STARTING;
  if (h) R.hero_last = h->pos;
  if (e) {
    R.ahead = e->pos + e->orient.forward;
    ai_reset_to_idle(&e->ai);
  }
  script_character_hold(true);
  talk_reset();
  // A persistent person's talk goes on where the last one with it ended:
  // its text stays in the panel above the new greeting.
  if (!(R.flags & Cflag_Persistent) || Last_person != R.person) Speaker_panel.reset();
  Last_person = R.person;
  Choice_panel.clear();
  return 0;
}

int dialogue_start_from_player(const char* person, int entity) {
  if (living_entity* h = hero(); h && !ai_is_uninterruptible(&h->ai)) {
    ai_queue_clear(&h->ai);
    ai_reset_to_idle(&h->ai);
  }
  return dialogue_start(person, entity);
}

void dialogue_end(bool open_trade) {
  if (R.state == DIALOGUE_IDLE) return;
  living_entity* e = person_entity();
  if (e) {
    ai_queue_clear(&e->ai);
    ai_turn_toward(&e->ai, R.ahead, 0);
  }
  script_character_hold(false);
  if (Hooks.camera_restore) Hooks.camera_restore();
  timer_set(R.move_out);
  R.camera = R.camera == 0 ? 0 : 3;
  R.state = DIALOGUE_IDLE;
  R.choices = false;
  conversation_end();
  Choice_panel.clear();
  if (Hooks.close_box) Hooks.close_box();
  if (open_trade && Hooks.open_trade) Hooks.open_trade(R.person.c_str());
}

bool dialogue_is_idle() { return R.state == DIALOGUE_IDLE && R.camera == 0; }
int dialogue_state() { return R.state; }
int dialogue_camera_step() { return R.camera; }
bool dialogue_choices_shown() { return R.choices; }
bool dialogue_may_abort() { return !(R.flags & Cflag_NoAbort); }

int dialogue_talk_queued() {
  int n = 0;
  for (int i = Talk_head; i >= 0; i = Talk[i].next) n++;
  return n;
}

int dialogue_talk_head(bool* playing) {
  if (playing) *playing = Talk_head >= 0 && Talk[Talk_head].shown;
  return Talk_head >= 0 ? Talk[Talk_head].entity : -1;
}

int dialogue_do_frame() {
  if (R.state == DIALOGUE_IDLE && R.camera == 0) return -1;
  if (camera_step()) return 1;
  if (R.state == DIALOGUE_STARTING) {
    approach_step();
    if (R.camera == 0 && R.state == DIALOGUE_STARTING) {
      living_entity* h = hero();
      living_entity* p = person_entity();
      if (h && p) {
        const vector d = h->pos - p->pos;
        if (std::sqrt(d.x * d.x + d.z * d.z) - h->get_radius() - p->get_radius() <= DIALOGUE_CAMERA_START) {
          R.camera = 1;
          timer_set(R.move_in);
        }
      }
    }
  } else if (R.state != DIALOGUE_IDLE) {
    talk_advance();
    living_entity* h = hero();
    if (h) {
      const vector d = h->pos - R.hero_last;
      if (d.x * d.x + d.y * d.y + d.z * d.z >= 0.1f) {
        R.hero_last = h->pos;
        face_hero();
      }
    }
  }
  return 0;
}

void dialogue_advance() {
  if (R.state == DIALOGUE_IDLE || R.state == DIALOGUE_STARTING) return;
  R.state = DIALOGUE_WAITING;
  const DialogueTopic* t = current_topic();
  if (t && !(t->flags & TOPIC_FAREWELL)) {
    if (t->flags & TOPIC_SHOP) {
      dialogue_end(true);
      return;
    }
    const DialoguePerson* p = conversation_person(conversation_current_person());
    Choice_panel.clear();
    for (size_t i = 0; p && i < p->topics.size(); i++) {
      const DialogueTopic& o = p->topics[i];
      if ((o.flags & TOPIC_AVAILABLE) && !(o.flags & TOPIC_HIDDEN))
        Choice_panel.add(o.name.c_str(), TP_CHOICE, static_cast<intptr_t>(i) + 1);
    }
    if (Choice_panel.count > 0) {
      R.choices = true;
      return;
    }
  }
  dialogue_end(false);
}

void dialogue_choose(int topic) {
  if (R.state != DIALOGUE_WAITING || !R.choices) return;
  const int before = conversation_current_topic();
  conversation_pick(topic);
  if (conversation_current_topic() == before && before != topic) return;
  show_topic(true);
}

void dialogue_view(const vector& hero, const vector& person, float height, const vector& camera, vector* eye,
                   matrix* orient) {
  vector along = person - hero;
  along.y = 0.0f;
  float apart = along.length();
  if (apart < 1e-3f) {
    along = vector(0, 0, 1);
    apart = 0.0f;
  } else {
    along = along * (1.0f / apart);
  }
  vector side(-along.z, 0.0f, along.x);
  vector middle = (hero + person) * 0.5f;
  middle.y = height;
  if (vector::dot(camera - middle, side) < 0.0f) side = side * -1.0f;
  const float back = std::max(DIALOGUE_VIEW_MIN_DISTANCE, apart * 1.2f + 2.0f);
  // A little behind the hero's shoulder, so the person faces the camera,
  // and above the pair looking down at their feet: they stand in the upper
  // half of the view, over the conversation's text box.
  *eye = middle + side * back - along * (apart * 0.25f);
  eye->y = height + DIALOGUE_VIEW_RISE;
  vector feet = middle;
  feet.y = std::min(hero.y, person.y);
  *orient = matrix::from_forward(feet - *eye);
}

void dialogue_view_blend(const vector& from_eye, const matrix& from_orient, const vector& to_eye,
                         const matrix& to_orient, float weight, vector* eye, matrix* orient) {
  const float w = std::clamp(weight, 0.0f, 1.0f);
  const float eased = w * w * (3.0f - 2.0f * w);
  *eye = from_eye + (to_eye - from_eye) * eased;
  const vector look = from_orient.forward + (to_orient.forward - from_orient.forward) * eased;
  *orient = look.length() < 1e-3f ? to_orient : matrix::from_forward(look);
}
