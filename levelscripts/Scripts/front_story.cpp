#include "levelscripts/Scripts/front_story.h"

#include <cmath>
#include <cstring>

#include "levelscripts/Scripts/story_common.h"
#include "quarn/os/console.h"

// --- tutorial triggers ---------------------------------------------------------------------

bool Ignore_tutorial = false;
float Tutorial_second_hero_value = 1.0f;

namespace {
bool Box_shown = false;
int Box_lesson = -1, Box_page = 0;

bool fires(int level, const char* needs, const char* own) {
  return (!needs || H().flag(level, needs)) && !H().flag(level, own);
}
const char* const Scout = "Kasdrian Scout#$npc002";

// Each lesson belongs to the level that declares its flags: on another
// level its flag could never be set, and the lesson would fire for ever.
bool basic_controls(int level) {
  if (level != L_MASAD) return false;
  if (!fires(level, "masad_intro", "masad_basic_controls_tutorial")) return false;
  H().set_flag(level, "masad_basic_controls_tutorial", true);
  return true;
}
bool basic_combat(int level) {
  if (level != L_MASAD) return false;
  if (!fires(level, "masad_basic_controls_tutorial", "masad_basic_combat_tutorial_part1")) return false;
  if (!H().character_exists(Scout) || H().character_dead(Scout) || H().character_leader_distance(Scout) > 5.0f)
    return false;
  H().set_flag(level, "masad_basic_combat_tutorial_part1", true);
  return true;
}
bool scout_defeated(int level) {
  if (level != L_MASAD) return false;
  if (!fires(level, "masad_basic_combat_tutorial_part1", "masad_basic_combat_tutorial_part2")) return false;
  if (H().character_playing_move(Scout)) return false;
  H().set_flag(level, "masad_basic_combat_tutorial_part2", true);
  H().two_stage_set("invis-door01", true);
  H().effect_show("masad-firedoor2.vfx", false);
  return true;
}
bool second_hero(int level) {
  if (level != L_SEWER) return false;
  if (!fires(level, nullptr, "sewer_rivud_tutorial")) return false;
  if (!H().party_has("Rivud") || Tutorial_second_hero_value < 0.5f) return false;
  H().set_flag(level, "sewer_rivud_tutorial", true);
  return true;
}
bool summoning(int level) {
  if (level != L_LPALACE_INT) return false;
  if (!fires(level, "got_ring_of_darkness", "lpalaceint_ring_tutorial_part1")) return false;
  H().set_flag(level, "lpalaceint_ring_tutorial_part1", true);
  return true;
}

const char* const Controls_pages[] = {
    "Click on the ground to walk there. Double-click to run.",
    "Hold the right mouse button and move the mouse to turn the view.",
    "Click on a villager to talk to them.",
    "Press F1 at any time for the keys of the game."};
const char* const Combat_pages[] = {
    "A scout blocks the way. Click on him to attack.",
    "Right-click while fighting to chain your attacks.",
    "Watch your health bar at the bottom of the screen.",
    "Drink a potion from your belt when you are hurt."};
const char* const Scout_pages[] = {"Well fought! The way east is open now.",
                                   "Walk through the fire to reach the next part of the village."};
const char* const Hero_pages[] = {"A second hero has joined your party.",
                                  "Click a portrait or press F5 to F9 to choose whom you control.",
                                  "The others follow the hero you control."};
const char* const Summon_pages[] = {"The Ring of Darkness lets Ruvizo summon.",
                                    "Open the skill rollout and choose Summon.",
                                    "Click on the ground where the summoned creature should appear.",
                                    "Summoned creatures fight for you until they are banished."};

void page_closed(int) {
  if (Box_lesson < 0) return;
  const TutorialLesson& l = Tutorial_lessons[Box_lesson];
  if (++Box_page >= l.page_count) {
    Box_shown = false;
    Box_lesson = -1;
    return;
  }
  const char* next[] = {"Next"};
  H().popup("Tutorial", l.pages[Box_page], 1, next, page_closed);
}
}  // namespace

const TutorialLesson Tutorial_lessons[NUM_TUTORIAL_LESSONS] = {
    {basic_controls, Controls_pages, 4, 3, {0, 0}, 60, 60, 480},
    {basic_combat, Combat_pages, 4, 3, {0, 0}, 60, 250, 480},
    {scout_defeated, Scout_pages, 2, 3, {0, 0}, 60, 60, 480},
    {second_hero, Hero_pages, 3, 9, {0, 0}, 60, 60, 480},
    {summoning, Summon_pages, 4, 24, {0, 0}, 60, 60, 480},
};

int tutorial_triggers_frame(int level) {
  if (Ignore_tutorial || Box_shown || H().in_cutscene() || H().popup_open()) return -1;
  for (int i = 0; i < NUM_TUTORIAL_LESSONS; i++) {
    if (!Tutorial_lessons[i].test(level)) continue;
    Box_shown = true;
    Box_lesson = i;
    Box_page = 0;
    const char* next[] = {"Next"};
    H().popup("Tutorial", Tutorial_lessons[i].pages[0], 1, next, page_closed);
    return i;
  }
  return -1;
}
bool tutorial_box_shown() { return Box_shown; }
void tutorial_level_start() {
  Box_shown = false;
  Box_lesson = -1;
}

static ConsoleCommand cc_ignore_tutorial("Ignore_tutorial", "Toggles Ignore_tutorial", [] {
  console_bool_var("Ignore_tutorial", "Ignore_tutorial", Ignore_tutorial);
});

// --- elevators ------------------------------------------------------------------------------

namespace {
struct Elevator {
  int level;
  const char* navpoint;
  const char* text;
  int buttons;
  const char* labels[3];
  int sets[3];
};
const Elevator Elevators[] = {
    {L_ODRIN_EXT, "$npc117", "Go up?", 2, {"Yes", "No", nullptr}, {4, 3, 0}},
    {L_ODRIN_EXT, "$npc118", "Go down?", 2, {"Yes", "No", nullptr}, {3, 4, 0}},
    {L_ELEH, "$npc106", "Which floor?", 3, {"Upper", "Lower", "Cancel"}, {5, 4, 3}},
    {L_ELEH, "$npclg2", "Which floor?", 3, {"Upper", "Ground", "Cancel"}, {5, 3, 4}},
    {L_ELEH, "$npclg3", "Which floor?", 3, {"Ground", "Lower", "Cancel"}, {3, 4, 5}},
};
constexpr float ELEVATOR_REACH = 2.0f;
const Elevator* Open_elevator = nullptr;
// After a ride the elevators wait until the hero has stepped away from every
// one of them: a start set placed within reach of an elevator would else
// reopen its popup at once, for ever.
bool Disarmed = false;

void elevator_answer(int button) {
  const Elevator* e = Open_elevator;
  Open_elevator = nullptr;
  if (!e || button < 0 || button >= e->buttons) return;
  Disarmed = true;
  H().leader_to_start_set(e->sets[button]);
}
}  // namespace

void elevators_frame(int level) {
  if (!H().networked() || H().popup_open()) return;
  const Elevator* hit = nullptr;
  for (const Elevator& e : Elevators)
    if (e.level == level && H().leader_near(e.navpoint, ELEVATOR_REACH)) {
      hit = &e;
      break;
    }
  if (!hit) {
    Disarmed = false;
    return;
  }
  if (Disarmed) return;
  Open_elevator = hit;
  H().popup("Elevator", hit->text, hit->buttons, hit->labels, elevator_answer);
}
void elevators_reset() {
  Open_elevator = nullptr;
  Disarmed = false;
}

// --- world-map landmarks -------------------------------------------------------------------

Landmark Landmarks[NUM_LANDMARKS] = {
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$masad", "Masad"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$thalem", "Thalem"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$odrin", "Odrin"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$ikaemos", "Ikaemos"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$khosani", "Khosani"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$eleh", "Eleh"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$vozido", "Vozido"},
    {0, false, {}, 0, 0, 0, 0, 0, 0, 0, 0, "$shenwu", "Shenwu"},
};
bool Landmarks_display = true;

namespace {
const float Bound_left[3] = {10, 13, 16}, Bound_right[3] = {629, 786, 1006};
const float Bound_top[3] = {10, 13, 16}, Bound_bottom[3] = {377, 471, 603};
const float Label_gap[3] = {20, 25, 32};
}  // namespace

void landmarks_level_start(int s, bool (*find)(const char*, vector*)) {
  bool mid = s >= 9 && s <= 14;
  bool enabled[NUM_LANDMARKS] = {
      s < 9,
      !mid,
      s >= 2 && !mid,
      H().flag(L_THALEM1B, "got_ikaemos_map") && !mid,
      H().flag(L_WORLDMAP1, "found_khosani") && !mid,
      s == 14,
      mid,
      s == 13 || s == 14,
  };
  for (int i = 0; i < NUM_LANDMARKS; i++) {
    Landmark& l = Landmarks[i];
    l.found = find && find(l.navpoint, &l.pos);
    l.flags = enabled[i] && l.found ? LANDMARK_ENABLED : 0;
  }
  Landmarks_display = true;
}

bool landmarks_key(int level, int key) {
  if (level != L_WORLDMAP1 || key != 38) return false;
  Landmarks_display = !Landmarks_display;
  return true;
}

bool landmarks_update(LandmarkView& view, const vector& hero, int res) {
  if (res < 0 || res > 2) res = 0;
  float hx, hy;
  if (!view.project(hero, &hx, &hy)) return false;
  for (Landmark& l : Landmarks) {
    if (!(l.flags & LANDMARK_ENABLED)) continue;
    l.flags &= ~(LANDMARK_ARROW | LANDMARK_LABEL);
    int w = 0, h = 0;
    view.text_size(l.label, &w, &h);
    l.label_w = w + 3;
    l.label_h = h + 4;
    if (!view.sphere_in_view(l.pos, 1.0f)) {
      vector d = l.pos - hero;
      float dist = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      float t = (50.0f - dist) * 0.025f;
      l.scale = 0.5f + 0.5f * (t < 0 ? 0 : t > 1 ? 1 : t);
      if (dist <= 0.0f) continue;
      vector toward = hero + d * (1.0f / dist);
      float px, py;
      if (!view.project(toward, &px, &py)) continue;
      l.angle = std::atan2(py - hy, px - hx);
      float c = std::cos(l.angle), s = std::sin(l.angle);
      l.arrow_x = c >= 0 ? hx + c * (Bound_right[res] - hx) : hx + c * (hx - Bound_left[res]);
      l.arrow_y = s >= 0 ? hy + s * (Bound_bottom[res] - hy) : hy + s * (hy - Bound_top[res]);
      // Beside the arrow, away from the edge it points at.
      l.label_x = l.arrow_x - c * Label_gap[res] - l.label_w * 0.5f;
      l.label_y = l.arrow_y - s * Label_gap[res] - l.label_h * 0.5f;
      l.flags |= LANDMARK_ARROW | LANDMARK_LABEL;
    } else {
      float x, y;
      if (!view.project(l.pos, &x, &y)) continue;
      l.label_x = x - l.label_w * 0.5f;
      l.label_y = y - l.label_h * 0.5f;
      l.flags |= LANDMARK_LABEL;
    }
  }
  return true;
}
