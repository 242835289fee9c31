#include "Orrimund/control/world_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/doors.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/avoidance.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_search.h"
#include "Engine/Objects/items.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/rendering/scene.h"
#include "Engine/s3d/collide.h"
#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/control/movement.h"
#include "Engine/Objects/inventory.h"
#include "Orrimund/gameoptions.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/ground_marks.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/conversation.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/timer.h"

InputRecord Input_record;
WorldInputState World_input;
int Hud_targeting = TARGETING_NONE;
HudPending Hud_pending;

void hud_targeting_clear() {
  Hud_targeting = TARGETING_NONE;
  Hud_pending = HudPending{};
}

const float Highlight_valid[3] = {0.75f, 1.0f, 1.0f};
const float Highlight_invalid[3] = {1.0f, 0.5f, 0.5f};
const float Highlight_friend[3] = {0.75f, 1.0f, 0.75f};
const float Highlight_mesh[3] = {0.75f, 1.0f, 1.0f};

namespace {

constexpr int KEY_GRAVE = 41;
constexpr float PICK_START = 10000.0f;
constexpr float BEST_START = 10000000.0f;
constexpr int WHEEL_ZOOM = 15;

bool mouse_over_ui() { return screen_mouse_over(); }
int wheel_delta() {
  int dx = 0, dy = 0, dz = 0;
  mouse_get_delta(&dx, &dy, &dz);
  return dz;
}
void real_mouse_pos(int* x, int* y) {
  int z = 0;
  mouse_get_pos(x, y, &z);
}
const WorldInputDevices Real{key_is_down, key_down_fraction, mouse_down, mouse_down_count, mouse_up_count,
                             mouse_down_time, real_mouse_pos, wheel_delta, mouse_over_ui};
WorldInputDevices Dev = Real;
WorldInputHooks Hooks;

void sound(int s) { gamesound_play_default(s, 1.0f); }

bool in_conversation() { return game_flags_test(GF_CONVERSATION); }

living_entity* hero() { return Selected_entity; }

float flat_sq(const vector& a, const vector& b) {
  const float dx = a.x - b.x, dz = a.z - b.z;
  return dx * dx + dz * dz;
}

const char* person_name(const living_entity* e) {
  if (e->name[0]) return e->name;
  return e->character ? e->character->name : "";
}

void highlight(int object, const float* c) {
  scene_set_highlight_a(object, static_cast<int>(c[0] * 255.0f), static_cast<int>(c[1] * 255.0f),
                        static_cast<int>(c[2] * 255.0f));
}

bool is_door(int mesh) {
  return mesh >= 0 && mesh < Level.instance_count && (Level.instances[mesh].flags & MI_MOVABLE);
}

bool hero_reaches(int mesh) { return hero() && level_mesh_within_reach(hero()->pos, mesh); }

bool networked() { return game_is_networked() && !game_is_single_player(); }
bool host() { return !networked() || (Hooks.net_host && Hooks.net_host()); }
bool client() { return networked() && !host(); }

}  // namespace

void world_input_set_devices(const WorldInputDevices* devices) { Dev = devices ? *devices : Real; }
void world_input_set_hooks(const WorldInputHooks& hooks) { Hooks = hooks; }
const WorldInputHooks& world_input_hooks() { return Hooks; }

WorldInputHooks world_input_game_hooks() {
  WorldInputHooks h = Hooks;
  // Conversations are the dialogue's own (dialogue_install).
  h.container_open = [](game_object* c) { set_screen(SCREEN_CONTAINER, c); };
  h.door_key = [](int mesh) -> const char* {
    const LevelMovableMesh* m = level_mesh_movable_info(mesh);
    if (!m || m->key_item < 0 || m->key_item >= Num_item_infos) return nullptr;
    return Item_infos[m->key_item].name;
  };
  h.portrait_clicked = []() -> living_entity* {
    const int index = hud_portrait_clicked();
    int i = 0;
    for (PlayerRecord* p = party_first(); p && index >= 0; p = party_next(p), i++)
      if (i == index) return member_entity(p);
    return nullptr;
  };
  h.party_has_item = [](const char* name) {
    const int index = item_lookup(name);
    const Item_info* info = index >= 0 ? &Item_infos[index] : nullptr;
    if (!info) return false;
    if (party_inventory_find(info) >= 0) return true;
    for (PlayerRecord* p = party_first(); p; p = party_next(p))
      if (living_entity* m = member_entity(p); m && entity_has_equipped(m, info)) return true;
    return false;
  };
  return h;
}

// ---- the record ------------------------------------------------------------------------

void input_record_build(InputRecord& r) {
  if (in_conversation() || game_flags_test(GF_PARTY_DEAD)) return;
  r = InputRecord{};
  Dev.mouse_pos(&r.x, &r.y);
  if (Dev.key_down(KEY_LSHIFT) || Dev.key_down(KEY_RSHIFT)) r.bits |= IR_SHIFT;
  if (Dev.key_down(KEY_LALT) || Dev.key_down(KEY_RALT)) r.bits |= IR_ALT;
  const bool over = Dev.over_screen_element();
  if (!over) {
    if (Dev.mouse_down_count(MOUSE_RIGHT_BUTTON) > 0) r.bits |= IR_RIGHT_DOWN;
    if (Dev.mouse_up_count(MOUSE_RIGHT_BUTTON) > 0) r.bits |= IR_RIGHT_UP;
  }
  const bool left = Dev.mouse_down(MOUSE_LEFT_BUTTON);
  if (World_input.held_click && left && Dev.mouse_down_time(MOUSE_LEFT_BUTTON) >= HOLD_TO_TRAVEL_MS)
    r.bits |= IR_TRAVEL;
  if (!World_input.held_click || !left) {
    World_input.walk_marker = true;
    World_input.held_click = false;
  }
  if (!over && Dev.mouse_down_count(MOUSE_LEFT_BUTTON) > 0) {
    World_input.held_click = true;
    // A click is a click: the modifiers held with it do not change its kind.
    r.bits = IR_CLICK;
    if (Dev.key_down(KEY_LCTRL) || Dev.key_down(KEY_RCTRL)) r.bits |= IR_CTRL;
    if (Dev.key_down(KEY_GRAVE)) r.bits |= Dev.key_down(KEY_LSHIFT) ? IR_TELEPORT : IR_STUDY;
    World_input.walk_marker = false;
  }
}

void camera_input_from_mouse(const InputRecord& r, int screen_width) {
  if (in_conversation()) return;
  // Only a key held for the whole interval counts.
  int turn = static_cast<int>(Dev.key_fraction(KEY_LEFT) - Dev.key_fraction(KEY_RIGHT));
  if (Game_options.reverse_mouse_turn) turn = -turn;
  const bool buttons = Dev.mouse_down(MOUSE_LEFT_BUTTON) || Dev.mouse_down(MOUSE_RIGHT_BUTTON);
  if (!buttons) {
    if (r.x < 3) turn -= 1;
    else if (r.x > screen_width - 4) turn += 1;
  }
  int zoom = 0;
  const int screen = screen_get_current();
  if (screen != SCREEN_ASSESS && screen != SCREEN_TRADE) {
    const int w = Dev.wheel();
    if (w > 0) zoom -= WHEEL_ZOOM;
    else if (w < 0) zoom += WHEEL_ZOOM;
  }
  game_camera.set_input(static_cast<float>(turn), static_cast<float>(zoom), 0.0f);
}

// ---- picking ----------------------------------------------------------------------------

int ray_pick_level(const vector& origin, const vector& direction, float far, vector* hit, int* face) {
  int best = -1;
  float best_d = PICK_START;
  vector start = origin;
  const vector delta = direction * far;
  const float length = delta.length();
  float travelled = 0;
  // A hit on a face the pick passes through goes on from just beyond it.
  for (int step = 0; step < 16 && travelled < length; step++) {
    CollisionQuery q{};
    q.start = start;
    q.delta = direction * (length - travelled);
    q.radius = 0.0f;
    CollisionResult res{};
    collide_level(&q, &res);
    if (res.count <= 0) break;
    const float along = res.fraction * (length - travelled);
    const vector at = start + q.delta * res.fraction;
    const float d = travelled + along;
    if (res.face && (res.face->flags & FACE_PICK_PASS) != FACE_PICK_PASS && d < best_d) {
      best_d = d;
      best = res.instance;
      *hit = at;
      *face = static_cast<int>(res.face - Level.instances[res.instance].mesh->faces);
      break;
    }
    travelled = d + 0.01f;
    start = origin + direction * travelled;
  }
  return best;
}

game_object* pick_object_among(const PickCandidate* c, int count, const vector& camera, const vector& hit) {
  game_object* taken = nullptr;
  float taken_r = 0, best = BEST_START;
  vector taken_centre{0, 0, 0};
  const vector seg = hit - camera;
  const float seg_sq = seg.length_squared();
  for (int i = 0; i < count; i++) {
    const float t = seg_sq > 0 ? std::fmin(std::fmax(vector::dot(c[i].centre - camera, seg) / seg_sq, 0.0f), 1.0f) : 0;
    const vector q = camera + seg * t;
    const vector d = q - c[i].centre;
    const float d2 = d.length_squared();
    const float h2 = d.x * d.x + d.z * d.z;
    const float r = c[i].radius;
    if (!(d2 < r * r) || !(h2 < r * 0.5f) || !(d2 < best)) continue;
    if (taken && !(taken_r * 0.5f <= 0.5f * (c[i].centre - taken_centre).length())) continue;
    taken = c[i].object;
    taken_r = r;
    taken_centre = c[i].centre;
    best = d2;
  }
  return taken;
}

game_object* pick_object(const vector& camera, const vector& hit) {
  static PickCandidate list[MAX_OBJECTS];
  int n = 0;
  for (game_object* o = objects_first(); o && n < MAX_OBJECTS; o = objects_next(o)) {
    // Loose items and containers lying active in the world; an item inside a
    // container is reached through the container.
    if (o->flags & (OF_DELETE | OF_HIDDEN)) continue;
    if (!(o->flags & OF_ACTIVE) && (o->type == OBJ_GROUND_ITEM || o->type == OBJ_CONTAINER)) continue;
    if (o->type == OBJ_GROUND_ITEM && static_cast<ground_item*>(o)->container) continue;
    // The fallen only matter to a spell aimed at a creature.
    const bool dead_ok = Hud_targeting == TARGETING_CREATURE && obj_is_dead_entity(o);
    if (obj_is_living_entity(o) || dead_ok) {
      auto* e = static_cast<living_entity*>(o);
      list[n++] = {o, e->pos + vector{0, e->get_height() * 0.5f, 0}, e->get_radius() * 2.0f};
    } else if (o->type == OBJ_GROUND_ITEM) {
      list[n++] = {o, o->pos, o->radius > 0 ? o->radius : 0.5f};
    } else if (o->type == OBJ_CONTAINER) {
      list[n++] = {o, o->pos, 2.0f};
    }
  }
  return pick_object_among(list, n, camera, hit);
}

// ---- classification ------------------------------------------------------------------

bool can_talk(const living_entity* p) {
  if (!p || (p->state & ES_DEAD)) return false;
  if (Hooks.dialogue_idle && !Hooks.dialogue_idle()) return false;
  const living_entity* h = hero();
  if (!h) return false;
  if (std::fabs((p->pos.y + p->offset.y) - (h->pos.y + h->offset.y)) > 0.5f) return false;
  if (std::sqrt(flat_sq(p->pos, h->pos)) - p->get_radius() - h->get_radius() >= REACH_ITEM) return false;
  if (networked()) return Hooks.shopkeeper_exists && Hooks.shopkeeper_exists(p->name);
  return Hooks.conversation_exists && Hooks.conversation_exists(person_name(p));
}

bool spell_target_valid(int spell, const living_entity* h, const living_entity* e) {
  if (!h || !e || spell < 0 || spell >= MAX_SPELLS) return false;
  const Spell_info& s = Spells[spell];
  if (s.flags & SPELL_OFFENSIVE) {
    if (!h->is_hostile_to(e)) return false;
  } else if (!obj_is_living_entity(e) && !obj_is_dead_entity(e)) {
    return false;
  }
  const bool dead = (e->state & ES_DEAD) || !(e->hp > 0);
  // The two raising spells want the fallen, every other spell the living.
  if (spell == 3 || spell == 5) {
    if (!dead) return false;
  } else if (dead) {
    return false;
  }
  if (spell == 11 && (e->state & ES_DEAD)) return false;
  if (spell == 69 && Hooks.spell_consent && !Hooks.spell_consent(const_cast<living_entity*>(e), spell)) return false;
  if (s.distance > 0.0f && (e->pos - h->pos).length() > s.distance) return false;
  return true;
}

namespace {
const bool Filter_default[8] = {true, true, true, true, true, false, false, false};
const bool Filter_spell38[8] = {false, true, true, false, false, true, false, false};
const bool* Pick_filter = nullptr;
}  // namespace

void pick_filter_for_spell(int spell) { Pick_filter = spell == 38 ? Filter_spell38 : Filter_default; }
void pick_filter_clear() { Pick_filter = nullptr; }
bool pick_filter_accepts(int surface) {
  const bool* f = Pick_filter ? Pick_filter : Filter_default;
  return surface >= 0 && surface < 8 && f[surface];
}

bool cursor_spot(int valid_bitmap, int invalid_bitmap, int mesh, int face, const vector& point, bool check) {
  if (!Pick_filter) Pick_filter = Filter_default;
  living_entity* h = hero();
  bool valid = true;
  if (check) {
    valid = h && mesh >= 0 && mesh < Level.instance_count && (Level.instances[mesh].flags & MI_GROUND);
    const int size = h ? h->size_class() : 0;
    const int sector = valid ? path_sector_at(size, point.x, point.z) : -1;
    const float flat = h ? flat_sq(point, h->pos) : 0.0f;
    valid = valid && sector >= 0 && std::fabs(point.y - h->pos.y) < 5.0f && flat < 169.0f && flat >= 9.0f;
    // A face of no known surface counts as the first kind.
    const int surface = valid && face >= 0 ? std::max(0, gamesound_surface_sound(mesh, face)) : 0;
    valid = valid && pick_filter_accepts(surface);
    valid = valid && path_line_walkable(h->pos, point, size, path_sector_at(size, h->pos.x, h->pos.z)) >= 0;
  }
  vector eye;
  matrix orient;
  float fov = 0;
  game_camera.get_view(&eye, &orient, &fov);
  float hf = 0, vf = 0;
  gr_3d_get_fov(hf, vf);
  const float angle = std::fmin(hf, vf) * 0.5f * 3.1415927f / 180.0f;
  const GroundTarget t{point, valid, nullptr};
  ground_target_marker_add(t, valid_bitmap, invalid_bitmap, (point - eye).length(), std::tan(angle));
  World_input.spot_valid = valid;
  return valid;
}

int target_classify(game_object* object, int mesh, const vector& hit, bool* valid) {
  *valid = true;
  if (in_conversation()) {
    Hud_targeting = TARGETING_NONE;
    return TC_NONE;
  }
  living_entity* h = hero();
  if (!h) return TC_NONE;
  switch (Hud_targeting) {
    case TARGETING_CREATURE: {
      living_entity* e = object && (obj_is_living_entity(object) || obj_is_dead_entity(object))
                             ? static_cast<living_entity*>(object)
                             : nullptr;
      *valid = spell_target_valid(Hud_pending.spell, h, e);
      cursor_spot(Cursorspot_target, Cursorspot_invalid, mesh, World_input.face, e ? e->pos : hit, false);
      World_input.spot_valid = *valid;
      return TC_CREATURE;
    }
    case TARGETING_POINT:
      if (Dev.over_screen_element()) return TC_NONE;
      *valid = cursor_spot(Cursorspot_target, Cursorspot_invalid, mesh, World_input.face, hit, true);
      return TC_POINT;
    case TARGETING_LOCK:
      if (!object && is_door(mesh) && hero_reaches(mesh)) return TC_LOCK_PICK;
      if (object && object->type == OBJ_CONTAINER && (object->pos - h->pos).length_squared() <= REACH_GOLD * REACH_GOLD)
        return TC_LOCK_PICK;
      return TC_NONE;
    default: break;
  }
  if (!object) {
    if (mesh < 0) return TC_NONE;
    return is_door(mesh) ? TC_DOOR : TC_LEVEL_ITEM;
  }
  const bool single = game_is_single_player();
  switch (object->type) {
    case OBJ_GROUND_ITEM:
    case OBJ_CONTAINER:
      if ((object->pos - h->pos).length_squared() <= REACH_GOLD * REACH_GOLD)
        return object->type == OBJ_GROUND_ITEM ? TC_GOLD : TC_CONTAINER;
      return TC_NONE;
    case OBJ_NEUTRAL:
      if (can_talk(static_cast<living_entity*>(object))) return single ? TC_TALK : TC_MERCHANT;
      return TC_NONE;
    case OBJ_CREATURE:
    case OBJ_BOSS: {
      auto* e = static_cast<living_entity*>(object);
      if (h->is_hostile_to(e) && !(e->state & ES_DEAD)) return TC_ENEMY;
      return TC_NONE;
    }
    case OBJ_PLAYER: {
      auto* e = static_cast<living_entity*>(object);
      if (e == h || (e->state & (ES_DOWN | ES_DEAD | ES_HELD))) return TC_NONE;
      if (single) return TC_MEMBER;
      if (!(e->state & ES_SUMMONED) && (e->pos - h->pos).length_squared() <= REACH_ITEM * REACH_ITEM) return TC_TRADE;
      return TC_NONE;
    }
    default: return TC_NONE;
  }
}

// ---- actions ---------------------------------------------------------------------------

bool attack_order(living_entity* target) {
  living_entity* h = hero();
  if (!h || !target || !h->is_hostile_to(target)) {
    sound(36);
    return false;
  }
  // The hero in control always; the others when they are free to join in.
  ai_queue_attack(&h->ai, target->handle, WALK_ORDER_PRIORITY);
  for (PlayerRecord* p = party_first(); p && !game_is_networked(); p = party_next(p)) {
    living_entity* m = member_entity(p);
    if (!m || m == h || (m->state & ES_DEAD)) continue;
    if (!m->is_engaged()) ai_queue_attack(&m->ai, target->handle, WALK_ORDER_PRIORITY);
  }
  party_set_combat_ready(true);
  sound(35);
  return true;
}

bool talk_to(living_entity* npc) {
  if (!npc || game_flags_test(GF_UI_MODE) || !Hooks.conversation_exists ||
      !Hooks.conversation_exists(person_name(npc))) {
    sound(36);
    return false;
  }
  sound(35);
  game_flags_set(GF_CONVERSATION);
  // A conversation that cannot begin would leave the input locked.
  if (Hooks.conversation_start && !Hooks.conversation_start(person_name(npc))) {
    game_flags_clear(GF_CONVERSATION);
    return false;
  }
  return true;
}

void door_use(int mesh) {
  LevelMovableMesh* m = level_mesh_movable_info(mesh);
  const char* name = Level.instances[mesh].name ? Level.instances[mesh].name : "";
  bool open = false, locked = false;
  if (!level_two_stage_get(name, &open, &locked)) locked = m && (m->door_flags & MOVABLE_LOCKED);
  const char* key = Hooks.door_key ? Hooks.door_key(mesh) : nullptr;
  const bool has_key_item = key && *key;
  if (locked && has_key_item && Hooks.party_has_item && Hooks.party_has_item(key)) {
    locked = false;
    level_two_stage_set(name, open, false);
    hud_message("Unlocked!");
    sound(6);
  }
  const float lock = m ? m->lock_value : 0.0f;
  const bool track = level_mesh_has_track(mesh);
  if (client()) {
    if (!locked) {
      if (Hooks.net_request) Hooks.net_request(open ? WI_REQ_DOOR_CLOSE : WI_REQ_DOOR_OPEN, mesh);
    } else if (!track && has_key_item) {
      hud_message("Need item to use");
      sound(5);
    } else if (!track) {
      hud_message("Can't use");
      sound(36);
    } else if (lock != 0.0f) {
      if (Hooks.feedback) Hooks.feedback(hero(), 3);
      hud_message("Locked");
      sound(5);
    } else if (!has_key_item) {
      hud_message("Cannot be opened from here");
      sound(5);
    } else {
      if (Hooks.feedback) Hooks.feedback(hero(), 3);
      hud_message("Locked, Cannot Pick");
      sound(5);
    }
    return;
  }
  const bool worked = !locked && level_mesh_use(mesh, false);
  if (worked) {
    if (networked() && Hooks.net_door_state) Hooks.net_door_state(mesh);
    return;
  }
  if (!track && has_key_item) {
    hud_message("Need item to use");
    sound(5);
  } else if (lock != 0.0f || locked) {
    World_input.remembered_door = mesh;  // what lock picking works on
    if (Hooks.feedback) Hooks.feedback(hero(), 3);
    hud_message("Locked");
    sound(5);
  }
}

void level_item_examine(int mesh) {
  const char* name = nullptr;
  const char* text = nullptr;
  int count = 0;
  bool taken = false, flag80 = false;
  if (!Hooks.level_item || !Hooks.level_item(mesh, &name, &count, &text, &taken, &flag80)) return;
  if (Hooks.level_item_script) Hooks.level_item_script(mesh);
  static const char* const ok[] = {"Ok"};
  if (count < 1) {
    if (text && *text) MessagePopup("Examine", text, -1, -1, 1, ok, nullptr, 0);
    return;
  }
  if (taken) {
    MessagePopup("Examine", "Nothing!", -1, -1, 1, ok, nullptr, 0);
    return;
  }
  if (Hooks.level_item_take) Hooks.level_item_take(mesh);
  if (strcasecmp(name, "gold") == 0) Party_inventory.gold += count;
  else party_inventory_add_by_name(name, count, -1, true);
  char line[128];
  if (count >= 2) std::snprintf(line, sizeof line, "Found %d %s!", count, name);
  else std::snprintf(line, sizeof line, "Found %s!", name);
  MessagePopup("Examine", line, -1, -1, 1, ok, nullptr, 0);
}

bool walk_order(InputRecord& r, const vector& point, int mesh) {
  if (!(r.bits & IR_CLICK) || in_conversation()) return false;
  living_entity* h = hero();
  if (!h) return false;
  if ((h->state & ES_FREE_MOVE) && !ai_can_act(&h->ai)) {
    sound(36);
    return false;
  }
  vector goal = point;
  const int sector = mesh >= 0 ? level_mesh_sector(mesh) : -1;
  // A point inside the hero itself is no order.
  if (flat_sq(goal, h->pos) <= h->get_radius() * h->get_radius()) return false;
  if (sector >= 0) {
    const int size = h->size_class();
    if (!path_point_in_sector(goal, size, sector)) {
      path_push_out_of_obstacles(goal, size, sector);
      vector back = h->pos - goal;
      back.y = 0;
      if (back.length() > 1.5f) goal += back * (1.5f / back.length());
      if (!path_point_in_sector(goal, size, sector)) return false;
    }
  }
  if (sector >= 0 && aa_point_blocked(goal, sector, h->size_class())) {
    sound(36);
    return false;
  }
  World_input.travel_armed = true;
  ai_queue_path_to(&h->ai, goal, (r.bits & IR_CTRL) ? 1 : 0, WALK_ORDER_PRIORITY, true);
  sound(35);
  World_input.walk_marker_pos = goal;
  return true;
}

void gold_pick_up(game_object* o) {
  auto* g = static_cast<ground_item*>(o);
  if (!g || g->quantity < 1) return;
  if (client()) {
    if (Hooks.net_request) Hooks.net_request(WI_REQ_ITEM, o->handle);
    return;
  }
  if (networked() && Hooks.net_announce_gold) Hooks.net_announce_gold(o);
  if (g->is_gold()) {
    char line[64];
    std::snprintf(line, sizeof line, "Picked up %d Gold", g->quantity);
    hud_message(line);
  }
  party_inventory_pickup(g, true);
}

void container_use(game_object* o) {
  if (networked() && Hooks.net_container_in_use && Hooks.net_container_in_use(o)) {
    hud_message("Container is currently in use");
    return;
  }
  if (Hooks.container_lock && Hooks.container_lock(o) > 0.0f) {
    World_input.remembered_object = o->handle;  // what lock picking works on
    if (Hooks.feedback) Hooks.feedback(hero(), 3);
    hud_message("Locked");
    sound(5);
    return;
  }
  if (client()) {
    if (Hooks.net_request) Hooks.net_request(WI_REQ_CONTAINER, o->handle);
    return;
  }
  if (networked() && Hooks.net_announce_container) Hooks.net_announce_container(o);
  if (Hooks.container_open) Hooks.container_open(o);
}

bool hold_travel_steer(const vector& camera, const vector& ray, const InputRecord& r) {
  living_entity* h = hero();
  if (!h) return false;
  vector hit;
  bool found = false;
  if (ray.y != 0.0f) {
    const float t = (h->pos.y - camera.y) / ray.y;
    if (t > 0.0f) hit = camera + ray * t, found = true;
  }
  if (!found) {
    // The plane 10 units along the ray from the hero, facing back along it.
    const vector q = h->pos + ray * 10.0f;
    const float den = -vector::dot(ray, ray);
    const float t = den != 0.0f ? -vector::dot(q - camera, ray) / den : -1.0f;
    if (t > 0.0f) hit = camera + ray * t, found = true;
  }
  if (!found) return false;
  vector dir = hit - h->pos;
  dir.y = 0.0f;
  const float length = dir.length();
  if (!(length > 0.0f)) return false;
  dir = dir * (1.0f / length);
  float speed;
  if (game_camera.distance < 4.0f) {
    speed = std::fmin(length * 0.25f, 1.0f);
  } else {
    const float w = static_cast<float>(gr_screen.clip_width > 0 ? gr_screen.clip_width : 1);
    const float hgt = static_cast<float>(gr_screen.clip_height > 0 ? gr_screen.clip_height : 1);
    const float sx = (2.0f * static_cast<float>(r.x - gr_screen.offset_x) / w - 1.0f) * 1.1f;
    const float sy = (2.0f * static_cast<float>(r.y - gr_screen.offset_y) / hgt - 1.0f) * 1.1f;
    speed = (std::sqrt(sx * sx + sy * sy) + 0.05f) * 0.952381f;
  }
  World_input.steering = true;
  World_input.steer_dir = dir;
  World_input.steer_speed = speed;
  // The hero travels toward a point just ahead, turned at its own rate, at
  // the share of its running speed the mouse gives.
  ai_core_travel_to(&h->ai, h->pos + dir * 2.0f);
  ai_step_toward(&h->ai, h->pos + dir, 1.0f);
  const float run = h->run_speed > 0.0f ? h->run_speed : (h->walk_speed > 0.0f ? h->walk_speed : 1.0f);
  h->set_move_mode(speed * run);
  return true;
}

void chain_input(const InputRecord& r) {
  static GameTimestamp timer;
  living_entity* h = hero();
  if (!(r.bits & IR_RIGHT_DOWN) || !h || (timer.is_valid() && !timer.elapsed())) return;
  int slot;
  if (Dev.key_down(KEY_LSHIFT) || Dev.key_down(KEY_RSHIFT)) slot = 1;
  else if (Dev.key_down(KEY_LCTRL) || Dev.key_down(KEY_RCTRL)) slot = 2;
  else if (Dev.key_down(KEY_LALT) || Dev.key_down(KEY_RALT)) slot = 3;
  else if (Dev.key_down(KEY_CAPSLOCK)) slot = 0;
  else slot = party_chain_member(h).selected_slot;
  const CombatHooks& c = combat_hooks();
  const int skill = c.chain_skill_get ? c.chain_skill_get(h, slot) : CS_NONE;
  if (skill == CS_NONE || skill < 0 || skill >= NUM_SKILLS) return;
  timer.set(1000);
  // Outside a swing there is no chain to time.
  if (!h->combat.is_attacking()) return;
  const float t = h->combat.try_chain(skill);
  if (t == 0.0f) {
    char line[96];
    std::snprintf(line, sizeof line, "Chain %s", Skills[skill].name ? Skills[skill].name : "");
    hud_message(line);
    std::snprintf(line, sizeof line, "Chain %d", static_cast<int>(h->combat.chain_count));
    hud_message2(line);
    sound(3);
  } else {
    hud_message(t > 0.0f ? "Too slow!" : "Too fast!");
    sound(4);
  }
}

namespace {

// A targeting click that hit something valid: the pending item or skill is
// used on the creature or at the point, and the aim ends.
void use_pending(int code, game_object* o, const vector& hit, int mesh) {
  living_entity* h = hero();
  HudPending p = Hud_pending;
  if (p.item) {
    p.inventory_entry = -1;
    for (int i = 0; i < Party_inventory.count; i++)
      if (Party_inventory.entries[i].item == p.item) p.inventory_entry = i;
    if (p.inventory_entry < 0) {
      hud_targeting_clear();
      return;
    }
  }
  if (code == TC_CREATURE) {
    auto* e = static_cast<living_entity*>(o);
    if (p.inventory_entry >= 0) party_inventory_use_item(h, p.inventory_entry, e, nullptr, 0);
    else if (p.equipped_slot >= 0 && Hooks.use_equipped) Hooks.use_equipped(h, p.equipped_slot, e);
    else if (p.skill >= 0 && Hooks.skill_on_creature) Hooks.skill_on_creature(p.skill, e);
    else if (p.spell >= 0) ai_queue_action4(&h->ai, p.spell, e->handle, WALK_ORDER_PRIORITY);
  } else {
    (void)mesh;
    // Spell 29 starts from the user whatever place was clicked.
    const vector at = p.spell == 29 ? h->pos : hit;
    if (p.inventory_entry >= 0) party_inventory_use_item(h, p.inventory_entry, nullptr, &at, 0);
    else if (p.equipped_slot < 0 && p.spell >= 0) ai_queue_cast_at_point(&h->ai, p.spell, hit, 0, WALK_ORDER_PRIORITY);
  }
  hud_targeting_clear();
}

}  // namespace

void world_input_actions(InputRecord& r, const vector& camera, const vector& ray) {
  living_entity* h = hero();
  if (!h) return;
  chain_input(r);
  // Letting go of the button ends a steered walk.
  if (World_input.steering && !(r.bits & IR_TRAVEL)) {
    World_input.steering = false;
    if (ai_is_traveling_sub1(&h->ai)) ai_core_reset_to_idle(&h->ai);
    h->set_move_mode(0.0f);
  }
  if ((h->state & (ES_DEAD | ES_HELD))) return;
  // Aimed at a creature, a click on a member's portrait names him as the
  // target, as a click on him in the world would.
  if (Hud_targeting == TARGETING_CREATURE && Hooks.portrait_clicked) {
    if (living_entity* m = Hooks.portrait_clicked()) {
      World_input.travel_armed = false;
      if (!spell_target_valid(Hud_pending.spell, h, m)) {
        sound(36);
        return;
      }
      use_pending(TC_CREATURE, m, m->pos, -1);
      return;
    }
  }
  World_input.object = 0;
  World_input.view_w = gr_screen.clip_width;
  World_input.view_h = gr_screen.clip_height;
  if ((r.bits & IR_TRAVEL) && World_input.travel_armed) {
    hold_travel_steer(camera, ray, r);
    return;
  }
  // The ray is cast every third frame; the frames between keep its result.
  if (++World_input.ray_counter >= 3 || (r.bits & IR_CLICK)) {
    World_input.ray_counter = 0;
    World_input.mesh = ray_pick_level(camera, ray, fog_get_far(), &World_input.hit, &World_input.face);
  }
  if (Dev.over_screen_element() && Hud_targeting < 0) {
    cursor_set(Cursor_walk);
    return;
  }
  if (World_input.mesh < 0) {
    World_input.travel_armed = true;
    cursor_set(Cursor_walk);
    return;
  }
  const int mesh = World_input.mesh;
  const vector hit = World_input.hit;
  // A spell aimed at a creature looks for one under the mouse as well.
  game_object* o = Hud_targeting < 0 || Hud_targeting == TARGETING_CREATURE || Hud_targeting == TARGETING_LOCK
                       ? pick_object(camera, hit)
                       : nullptr;
  if (o && obj_is_living_entity(o) && o->type != OBJ_PLAYER) {
    auto* e = static_cast<living_entity*>(o);
    if ((e->ai.state == 6 && (e->state & ES_HELD)) || e->is_mount()) o = nullptr;
    else if ((game_camera.flags & CAM_ATTACHED) &&
             ((e->pos - h->pos).length() >= PICK_FAR || std::fabs(e->pos.y - h->pos.y) >= PICK_HEIGHT))
      o = nullptr;
  } else if (o && o->type == OBJ_PLAYER && !(static_cast<living_entity*>(o)->hp > 0)) {
    o = nullptr;
  }
  int kept_mesh = -1;
  if (!o && !networked()) {
    if (is_door(mesh)) {
      if (hero_reaches(mesh)) kept_mesh = mesh;
    } else if (Hooks.level_item) {
      const char* name;
      const char* text;
      int count = 0;
      bool taken = false, flag80 = false;
      if (Hooks.level_item(mesh, &name, &count, &text, &taken, &flag80) && !flag80 && (!taken || count >= 1)) {
        vector c;
        float rad;
        level_mesh_sphere(mesh, &c, &rad);
        if ((c - h->pos).length_squared() <= REACH_ITEM * REACH_ITEM) kept_mesh = mesh;
      }
    }
    if (kept_mesh >= 0) highlight(scene_highlight_mesh(kept_mesh), Highlight_mesh);
  }
  World_input.object = o ? o->handle : 0;
  if (!o && kept_mesh < 0) scene_set_highlight_a(0, 0, 0, 0);
  if (!r.bits && !o && kept_mesh < 0 && Hud_targeting < 0) {
    World_input.last_code = TC_NONE;
    cursor_set(Cursor_walk);
    return;
  }
  if ((r.bits & IR_TELEPORT) && (Level.instances[mesh].flags & MI_GROUND)) {
    party_teleport(hit, vis_layer_of_mesh(mesh));
    r.bits = 0;
    return;
  }
  if ((r.bits & IR_STUDY) && o && obj_is_living_entity(o) && static_cast<living_entity*>(o)->hp > 0) {
    World_input.study_object = o->handle;
    Hud_hidden = true;
    r.bits = 0;
    return;
  }
  bool valid = true;
  const int code = target_classify(o, o ? -1 : kept_mesh, hit, &valid);
  World_input.last_code = code;
  // What the mouse is over shows in its highlight and cursor.
  if (o) {
    if (code == TC_MEMBER || code == TC_TRADE || code == TC_MERCHANT) highlight(o->handle, Highlight_friend);
    else if (code == TC_NONE) highlight(o->handle, Highlight_invalid);
    else highlight(o->handle, Highlight_valid);
  }
  cursor_set(code == TC_NONE ? Cursor_walk : Cursor_target);
  if ((code == TC_POINT || code == TC_CREATURE) && (r.bits & IR_CLICK)) {
    r.bits &= ~IR_CLICK;
    World_input.travel_armed = false;
    if (!valid) {
      sound(36);
      return;
    }
    use_pending(code, o, hit, mesh);
    return;
  }
  if (!(r.bits & IR_CLICK)) return;
  World_input.travel_armed = false;
  r.bits &= ~IR_CLICK;
  switch (code) {
    case TC_NONE: r.bits |= IR_CLICK; break;
    case TC_MEMBER:
      if (PlayerRecord* p = party_find_member(o->handle)) party_select_member_if_able(p);
      break;
    case TC_TALK: talk_to(static_cast<living_entity*>(o)); break;
    case TC_ENEMY: attack_order(static_cast<living_entity*>(o)); break;
    case TC_GOLD: gold_pick_up(o); break;
    case TC_CONTAINER: container_use(o); break;
    case TC_DOOR: door_use(kept_mesh); break;
    case TC_LEVEL_ITEM: level_item_examine(kept_mesh); break;
    case TC_LOCK_PICK:
      hud_targeting_clear();
      if (Hooks.lock_pick) Hooks.lock_pick(o, o ? -1 : kept_mesh);
      break;
    case TC_TRADE:
      if (Hooks.open_trade) {
        set_screen(SCREEN_HUD, nullptr);
        Hooks.open_trade(static_cast<living_entity*>(o));
      }
      break;
    case TC_MERCHANT:
      if (Hooks.open_merchant) Hooks.open_merchant(static_cast<living_entity*>(o));
      break;
    default: break;
  }
  walk_order(r, hit, mesh);
}

void world_input_frame(float dt) {
  if (game_flags_test(GF_INPUT_LOCKED)) return;
  if (screen_is_modal()) return;
  input_record_build(Input_record);
  camera_input_from_mouse(Input_record, gr_screen_width());
  game_camera.update(dt);
}

// ---- developer queries ---------------------------------------------------------------------

// The view the renderer was handed, for developers and tests that turn a
// screen point into a ray of their own.
static ConsoleCommand cc_camera_view("camera_view", "Prints the game camera's view", [] {
  if (!Console_run) return;
  vector eye;
  matrix o;
  float fov;
  game_camera.get_view(&eye, &o, &fov);
  console_printf("Camera at %.4f %.4f %.4f fov %.4f mode %d\n", eye.x, eye.y, eye.z, fov, game_camera.mode);
  console_printf("Camera right %.5f %.5f %.5f\n", o.right.x, o.right.y, o.right.z);
  console_printf("Camera up %.5f %.5f %.5f\n", o.up.x, o.up.y, o.up.z);
  console_printf("Camera forward %.5f %.5f %.5f\n", o.forward.x, o.forward.y, o.forward.z);
  float h = 0, v = 0;
  gr_3d_get_fov(h, v);
  console_printf("Screen %d %d view fov %.4f %.4f view %d %d\n", gr_screen_width(), gr_screen_height(), h, v,
                 World_input.view_w, World_input.view_h);
});

// The AI of the study object (a study click chooses it), else of the hero in
// control.
static ConsoleCommand cc_ai_state("ai_state", "Prints the AI state of the study object or the controlled hero", [] {
  if (!Console_run) return;
  living_entity* e = entity_from_handle(World_input.study_object);
  if (!e) e = Selected_entity;
  if (!e) {
    console_printf("No entity\n");
    return;
  }
  char text[1024];
  ai_describe(&e->ai, text, sizeof text);
  console_printf("AI of %s: %s", e->get_name(), text);
  for (const ai_action& a : e->ai.queue)
    if (a.type == AI_ACTION_WALK) console_printf("Walk order to %.3f %.3f %.3f\n", a.point.x, a.point.y, a.point.z);
});

// What the mouse is over: the action code and the cursor.
static ConsoleCommand cc_pick_state("pick_state", "Prints what the mouse is over", [] {
  if (!Console_run) return;
  console_printf("Pick code %d mesh %d object %d cursor %s\n", World_input.last_code, World_input.mesh,
                 World_input.object, cursor_get() == Cursor_target ? "target" : "walk");
  console_printf("Party gold %u\n", static_cast<unsigned>(Party_inventory.gold));
});

// The developer's slew camera: detached from the hero and flown by the
// keypad and A/Z from where the view stood.
bool Slew_mode = false;
static ConsoleCommand cc_slew("slew", "Toggles Slew Mode", [] {
  if (!Console_run) return;
  Slew_mode = !Slew_mode;
  if (Slew_mode) {
    movement_set_limits(10.0f, 1.0f, 0.1f, 0.1f);
    game_camera.free_position = game_camera.view_position;
    game_camera.free_orientation = game_camera.view_orientation;
    game_camera.set_follow_flags(false, true);
  } else {
    game_camera.attach();
  }
  if (Console_status) console_printf("Slew mode is %s\n", Slew_mode ? "on" : "off");
});
