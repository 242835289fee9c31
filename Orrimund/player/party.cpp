#include "Orrimund/player/party.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/gameflags.h"
#include "Orrimund/gamewide.h"
#include "quarn/math/matrix.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/timer.h"

PlayerRecord Player_records[MAX_PLAYER_RECORDS];
PlayerRecord* Selected_record = nullptr;
living_entity* Selected_entity = nullptr;
PlayerRecord* Follow_leader = nullptr;
living_entity* Follow_target = nullptr;
uint8_t Party_combat_ready = 0;
PartyHooks Party_hooks;

namespace {

// Sentinels of the three lists.
PlayerRecord Free_list, In_party, Out_party;

// Whether the player drives an entity (the AI drives the others).
bool Player_control[MAX_LIVING_ENTIITES];

// Hero skill tables: skill, minimum level, initial value. Max_skills lowers
// the minimum levels for the rest of the run, as the game does.
HeroSkillRow Hero0_skills[] = {{3, 1, 10},  {27, 1, 10}, {14, 1, 10},  {11, 1, 10}, {28, 1, 10}, {6, 5, 10},
                               {9, 6, 10},  {31, 7, 10}, {8, 8, 10},   {32, 9, 10}, {7, 10, 10}, {5, 12, 10},
                               {35, 13, 10}, {13, 14, 10}, {4, 15, 10}, {29, 16, 10}, {10, 17, 10}};
HeroSkillRow Hero1_skills[] = {{4, 1, 10}, {3, 1, 10},   {11, 1, 10},  {8, 1, 10},   {9, 1, 10},
                               {14, 1, 10}, {5, 5, 10},  {10, 6, 10},  {15, 8, 10},  {12, 10, 10},
                               {13, 12, 10}, {35, 14, 10}, {28, 18, 10}};
HeroSkillRow Hero2_skills[] = {{7, 1, 10},  {21, 1, 10}, {11, 1, 10}, {22, 1, 10}, {3, 1, 10},   {17, 1, 10},
                               {29, 4, 10}, {15, 4, 10}, {18, 5, 10}, {8, 6, 10},  {20, 7, 10},  {23, 8, 10},
                               {9, 10, 10}, {16, 11, 10}, {35, 16, 10}, {10, 18, 10}};
HeroSkillRow Hero3_skills[] = {{6, 1, 10},  {28, 1, 10}, {30, 1, 10}, {11, 1, 10},  {19, 1, 10},
                               {35, 5, 10}, {29, 6, 10}, {32, 7, 10}, {31, 8, 10},  {7, 9, 10},
                               {33, 10, 10}, {16, 12, 10}, {9, 14, 10}, {12, 16, 10}};
struct HeroTable {
  HeroSkillRow* rows;
  int count;
};
const HeroTable Hero_tables[4] = {{Hero0_skills, 17}, {Hero1_skills, 13}, {Hero2_skills, 16}, {Hero3_skills, 14}};

void list_init(PlayerRecord* s) { s->next = s->prev = s; }
void unlink(PlayerRecord* r) {
  if (r->next) r->next->prev = r->prev;
  if (r->prev) r->prev->next = r->next;
  r->next = r->prev = nullptr;
}
void append(PlayerRecord* list, PlayerRecord* r) {
  r->prev = list->prev;
  r->next = list;
  list->prev->next = r;
  list->prev = r;
}
PlayerRecord* first_of(PlayerRecord* list) { return list->next == list ? nullptr : list->next; }
PlayerRecord* next_of(PlayerRecord* list, PlayerRecord* r) { return r->next == list ? nullptr : r->next; }
int entity_index(const living_entity* e) { return e ? static_cast<int>(e - Living_entities) : -1; }

int hero_index(const PlayerRecord* r) {
  if (r->type < 0 || r->type >= Num_character_infos) return -1;
  int kind = Character_infos[r->type].kind;
  return charinfo_is_hero(kind) ? kind : -1;
}
int entity_hero_index(const living_entity* e) {
  return e && e->character && charinfo_is_hero(e->character->kind) ? e->character->kind : -1;
}

bool entity_dead(const living_entity* e) { return !e || (e->state & ES_DEAD) || e->type == OBJ_DEAD_PLAYER; }

void message(const char* fmt, const char* name) {
  char text[96];
  std::snprintf(text, sizeof text, fmt, name);
  if (Party_hooks.hud_message) Party_hooks.hud_message(text);
  else console_printf("%s", text);
}

void feedback(int sound) {
  if (Party_hooks.play_feedback) Party_hooks.play_feedback(sound);
}

PlayerRecord* find_by_name(PlayerRecord* list, const char* name) {
  for (PlayerRecord* p = first_of(list); p; p = next_of(list, p)) {
    living_entity* e = member_entity(p);
    if (e && name && strcasecmp(e->get_name(), name) == 0) return p;
  }
  return nullptr;
}

PlayerRecord* find_by_type(PlayerRecord* list, int type) {
  for (PlayerRecord* p = first_of(list); p; p = next_of(list, p))
    if (p->type == type) return p;
  return nullptr;
}

void select_first_living(const PlayerRecord* except) {
  Selected_record = nullptr;
  Selected_entity = nullptr;
  for (PlayerRecord* p = first_of(&In_party); p; p = next_of(&In_party, p)) {
    living_entity* e = member_entity(p);
    if (p != except && e && !entity_dead(e)) {
      party_select_member(p);
      return;
    }
  }
}

}  // namespace

PlayerRecord* party_first() { return first_of(&In_party); }
PlayerRecord* party_next(PlayerRecord* r) { return r ? next_of(&In_party, r) : nullptr; }
PlayerRecord* party_out_first() { return first_of(&Out_party); }
PlayerRecord* party_out_next(PlayerRecord* r) { return r ? next_of(&Out_party, r) : nullptr; }

int party_record_count() {
  int n = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) n++;
  for (PlayerRecord* p = party_out_first(); p; p = party_out_next(p)) n++;
  return n;
}

void party_set_hooks(const PartyHooks& h) { Party_hooks = h; }

living_entity* member_entity(const PlayerRecord* r) {
  if (!r || r->entity < 0) return nullptr;
  return entity_from_handle(r->entity);
}

void party_init() {
  list_init(&Free_list);
  list_init(&In_party);
  list_init(&Out_party);
  for (PlayerRecord& r : Player_records) {
    r = PlayerRecord();
    append(&Free_list, &r);
  }
  Selected_record = nullptr;
  Selected_entity = nullptr;
  Follow_leader = nullptr;
  Follow_target = nullptr;
  Party_combat_ready = 0;
  for (bool& c : Player_control) c = false;
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit(party_free_all);
  }
}

PlayerRecord* player_slot_alloc() {
  if (!Free_list.next) party_init();
  PlayerRecord* r = first_of(&Free_list);
  if (!r) {
    critical_error("player.cpp", 397,
                   "No more player slots availeble -- something went horribly wrong (MAX_PLAYER_RECORDS is 5)");
  }
  unlink(r);
  append(&In_party, r);
  r->type = -1;
  r->entity = -1;
  r->flags = 0;
  r->network_player = nullptr;
  r->skill_count = 0;
  r->skills = nullptr;
  r->pending_bonus = 0.0f;
  r->spare[0] = r->spare[1] = 0;
  r->unspent_stat_points = r->unspent_skill_points = 0;
  r->pending_hp_bonus = 0.0f;
  r->stat_allow_mask = 0xFFFFFFFFu;
  r->member_flags = 0;
  for (int32_t& c : r->cooldowns) c = -1;
  return r;
}

void player_slot_free(PlayerRecord* r, bool destroy) {
  if (!r || !r->next) return;
  unlink(r);
  append(&Free_list, r);
  if (Selected_record == r) select_first_living(r);
  living_entity* e = member_entity(r);
  if (e) {
    if (Party_hooks.group_leave) Party_hooks.group_leave(e);
    if (Selected_entity == e) Selected_entity = nullptr;
    if (destroy) {
      Player_control[entity_index(e)] = false;
      e->flags |= OF_DELETE;
      if (Follow_leader == r) Follow_target = nullptr;
    }
  }
  r->entity = -1;
  if (Follow_leader == r) Follow_leader = nullptr;
}

void party_free_all() {
  if (!In_party.next) return;
  while (PlayerRecord* r = first_of(&In_party)) player_slot_free(r, true);
  while (PlayerRecord* r = first_of(&Out_party)) player_slot_free(r, true);
  Selected_record = nullptr;
  Selected_entity = nullptr;
}

PlayerRecord* party_find_member(int32_t handle) {
  if (handle < 0 || !In_party.next) return nullptr;
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (p->entity == handle) return p;
  for (PlayerRecord* p = party_out_first(); p; p = party_out_next(p))
    if (p->entity == handle) return p;
  return nullptr;
}

void party_forget_entity(int32_t handle) {
  if (PlayerRecord* r = party_find_member(handle)) r->entity = -1;
}

void member_set_player_control(PlayerRecord* r, bool on) {
  living_entity* e = member_entity(r);
  if (e) Player_control[entity_index(e)] = on;
}

bool entity_player_controlled(const living_entity* e) {
  int i = entity_index(e);
  return i >= 0 && i < MAX_LIVING_ENTIITES && Player_control[i];
}

bool member_take_control(PlayerRecord* r) {
  if (!r || (r->flags & PR_CONTROLLED) || !member_entity(r)) return false;
  r->flags &= ~PR_HOLD;
  r->flags |= PR_CONTROLLED;
  member_set_player_control(r, true);
  return true;
}

bool member_release_control(PlayerRecord* r) {
  if (!r || !(r->flags & PR_CONTROLLED)) return false;
  r->flags &= ~PR_CONTROLLED;
  member_set_player_control(r, false);
  if (game_flags_test(GF_SOLO)) r->flags |= PR_HOLD;
  return true;
}

bool member_is_controlled(const PlayerRecord* r) { return r && (r->flags & PR_CONTROLLED); }

living_entity* member_spawn(PlayerRecord* r, const vector& pos, const matrix& orient, const char* name,
                            bool selected) {
  living_entity* e = living_entity_create(OBJ_PLAYER, r->type, pos, orient, -1, 1, false);
  if (!e) return nullptr;
  r->entity = e->handle;
  if (selected) Selected_entity = e;
  int hero = entity_hero_index(e);
  r->skills = hero >= 0 ? Hero_tables[hero].rows : nullptr;
  r->skill_count = hero >= 0 ? Hero_tables[hero].count : 0;
  for (int s = 3; s < NUM_STATS; s++) e->stats[s] = 0;
  for (int i = 0; i < r->skill_count; i++) {
    HeroSkillRow& row = r->skills[i];
    if (Max_skills) {
      e->stats[row.skill] = 100;
      row.min_level = 1;
    } else if (e->level >= row.min_level) {
      e->stats[row.skill] = static_cast<uint8_t>(row.initial);
    }
  }
  r->pending_bonus = 0.0f;
  for (int32_t& c : r->cooldowns) c = -1;
  if (name && *name) e->set_name(name);
  member_set_player_control(r, game_is_networked() || selected);
  ai_init_for_spawn(&e->ai);
  e->set_team(0);
  if (!game_is_networked() && !selected && Selected_entity && Selected_entity != e) {
    if (Party_hooks.group_join) Party_hooks.group_join(e, Selected_entity);
  } else if (Party_hooks.group_new) {
    Party_hooks.group_new(e);
  }
  return e;
}

bool member_has_skill(const PlayerRecord* r, int skill) {
  living_entity* e = member_entity(r);
  if (!e) return false;
  if (skill == 2) return true;
  for (int i = 0; i < r->skill_count; i++)
    if (r->skills[i].skill == skill) return e->level >= r->skills[i].min_level;
  return false;
}

bool member_skill_allowed(const PlayerRecord* r, int skill) {
  if (skill >= 0 && skill <= 2) return true;
  // The type's own permission to summon is the All_summons switch here.
  const bool summons_allowed = r && r->type >= 0 && r->type < Num_character_infos && All_summons;
  auto flag = [](int level, const char* name) {
    return Party_hooks.story_flag ? Party_hooks.story_flag(level, name) : false;
  };
  if (skill == 52 || (skill >= 0 && skill < NUM_SKILLS && (Skills[skill].flags & SKILL_SUMMON)))
    return summons_allowed || skill_summon_allowed(skill);
  if (skill == 27 && !summons_allowed) {
    if (!flag(24, "got_ring_of_darkness")) return false;
    if (flag(17, "act2_done") && !flag(16, "got_ring_of_water")) return false;
  }
  if (!Max_skills && (skill == 22 || skill == 23) && !flag(24, "lpalaceint_tessam_found")) return false;
  if (!r) return false;
  for (int i = 0; i < r->skill_count; i++)
    if (r->skills[i].skill == skill) return true;
  return false;
}

void party_select_member(PlayerRecord* r) {
  living_entity* e = member_entity(r);
  if (!e) return;
  if (r == Selected_record) {
    member_take_control(r);
    return;
  }
  if (entity_player_controlled(e) && member_is_controlled(r)) return;
  if (!member_is_controlled(r) && Selected_record) member_release_control(Selected_record);
  Selected_record = r;
  Selected_entity = e;
  member_take_control(r);
  if (Party_hooks.screen_special) Party_hooks.screen_special();
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) member_set_player_control(p, p == r);
  if (Party_hooks.group_make_leader) Party_hooks.group_make_leader(e);
  if (Party_hooks.ai_clear_orders) Party_hooks.ai_clear_orders(e);
  if (Party_hooks.hud_clear_buttons) Party_hooks.hud_clear_buttons();
  if (Party_hooks.camera_target) Party_hooks.camera_target(e);
  if (game_flags_test(GF_LEVEL_IN_PLAY)) feedback(40);
}

void party_select_member_if_able(PlayerRecord* r) {
  living_entity* e = member_entity(r);
  if (e && !entity_dead(e) && !(e->state & ES_HELD)) {
    for (PlayerRecord* p = party_first(); p; p = party_next(p))
      if (p != r) member_release_control(p);
    party_select_member(r);
    feedback(35);
  } else {
    feedback(36);
  }
}

void party_start_skill_cooldown(living_entity* e, int skill) {
  if (Max_skills || !e || skill < 0 || skill >= NUM_SKILL_COOLDOWNS) return;
  PlayerRecord* r = party_find_member(e->handle);
  if (!r) return;
  int seconds = Skills[skill].extra > 0 ? Skills[skill].extra : 0;
  r->cooldowns[skill] = timestamp_set(timer_game_clock, seconds * 1000);
}

bool party_remove_member(const char* name) {
  if (!In_party.next) return false;
  PlayerRecord* r = find_by_name(&In_party, name);
  if (!r) return false;
  unlink(r);
  append(&Out_party, r);
  living_entity* e = member_entity(r);
  if (Party_hooks.group_leave) Party_hooks.group_leave(e);
  if (entity_hero_index(e) >= 0) message("%s has left the party!\n", e->get_name());
  if (Selected_record == r) {
    member_release_control(r);
    select_first_living(nullptr);
  }
  return true;
}

PlayerRecord* party_add_member(const char* name) {
  if (!In_party.next) return nullptr;
  PlayerRecord* r = find_by_name(&Out_party, name);
  if (!r) return nullptr;
  unlink(r);
  append(&In_party, r);
  living_entity* e = member_entity(r);
  if (Party_hooks.group_join && Selected_entity && Selected_entity != e) Party_hooks.group_join(e, Selected_entity);
  e->state &= ~(ES_DEAD | ES_HELD);
  if (e->type == OBJ_DEAD_PLAYER) e->type = OBJ_PLAYER;
  e->hp = static_cast<float>(e->get_max_points(0));
  e->ap = static_cast<int16_t>(e->get_max_points(1));
  e->cure_all_status_effects();
  member_set_player_control(r, false);
  party_sort();
  if (entity_hero_index(e) >= 0) message("%s has joined the party!\n", e->get_name());
  return r;
}

void party_sort() {
  if (!In_party.next) return;
  // Buckets in the game's order: hero 0, 2, 3, 1, then everyone else.
  static const int bucket_of_hero[4] = {0, 3, 1, 2};
  PlayerRecord* buckets[5] = {};
  PlayerRecord* others[MAX_PLAYER_RECORDS];
  int n_others = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    int h = hero_index(p);
    if (h >= 0) {
      if (buckets[bucket_of_hero[h]]) others[n_others++] = buckets[bucket_of_hero[h]];
      buckets[bucket_of_hero[h]] = p;
    } else {
      others[n_others++] = p;
    }
  }
  for (int b = 0; b < 4; b++)
    if (buckets[b]) {
      unlink(buckets[b]);
      append(&In_party, buckets[b]);
    }
  for (int i = 0; i < n_others; i++) {
    unlink(others[i]);
    append(&In_party, others[i]);
  }
}

int party_count_active() {
  int n = 0;
  bool map = Party_hooks.on_world_map && Party_hooks.on_world_map();
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = member_entity(p);
    if (e && (map || !(e->state & ES_HELD))) n++;
  }
  return n;
}

living_entity* hero_create(const char* name, int level, bool selected, bool place, int type) {
  if (Party_hooks.load_pending && Party_hooks.load_pending()) return nullptr;
  if (!In_party.next) party_init();
  if (type < 0) type = charinfo_lookup(name);
  if (type < 0 || type >= Num_character_infos) return nullptr;
  int existing = party_record_count();
  if (!game_is_networked()) {
    PlayerRecord* r = find_by_type(&In_party, type);
    if (!r) r = find_by_type(&Out_party, type);
    if (r) return member_entity(r);
    if (existing >= MAX_PLAYER_RECORDS) return nullptr;
  }
  PlayerRecord* r = player_slot_alloc();
  r->type = type;
  living_entity* e = member_spawn(r, vector{0, 0, 0}, identity_matrix, name, selected);
  if (!e) {
    player_slot_free(r, false);
    return nullptr;
  }
  if (selected) Selected_record = r;
  if (level > 1 && Party_hooks.give_experience) Party_hooks.give_experience(e, level);
  ai_reset_to_idle(&e->ai);
  if (place) e->place_at_party_start(existing);
  party_sort();
  message("%s has joined the party!\n", e->get_name());
  return e;
}

bool toggle_solo_mode() {
  if (Party_hooks.is_town && Party_hooks.is_town()) {
    game_flags_clear(GF_SOLO);
    return false;
  }
  GameFlags ^= GF_SOLO;
  bool on = game_flags_test(GF_SOLO);
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    if (on) {
      if (member_is_controlled(p)) continue;
      p->flags |= PR_HOLD;
      living_entity* e = member_entity(p);
      if (e && Party_hooks.ai_clear_orders && !(Party_hooks.ai_has_ready_order && Party_hooks.ai_has_ready_order(e)))
        Party_hooks.ai_clear_orders(e);
    } else {
      p->flags &= ~PR_HOLD;
    }
  }
  return on;
}

void party_set_combat_ready(bool on) {
  if (Party_hooks.is_town && Party_hooks.is_town()) {
    Party_combat_ready = 0;
    return;
  }
  if ((Party_combat_ready != 0) == on) return;
  Party_combat_ready = on ? 1 : 0;
  if (!Party_hooks.ai_set_ready) return;
  if (game_is_networked()) {
    if (Selected_entity) Party_hooks.ai_set_ready(Selected_entity, on);
    return;
  }
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (living_entity* e = member_entity(p)) Party_hooks.ai_set_ready(e, on);
}

void party_teleport(const vector& pos, int area) {
  if (!Selected_entity) return;
  Selected_entity->place_at_point(pos, 0.0f, area);
  float dx = 0.0f;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = member_entity(p);
    if (!e || e == Selected_entity) continue;
    dx += 0.75f;
    e->place_at_point(vector{pos.x + dx, pos.y, pos.z}, 0.0f, area);
  }
  if (Party_hooks.camera_target) Party_hooks.camera_target(Selected_entity);
}

// --- console ---------------------------------------------------------------------

namespace {
void add_hero(const char* name) {
  if (Console_run) hero_create(name, 1, false, true, -1);
}
}  // namespace

static ConsoleCommand cc_rivud("rivud", "Add Rivud to the game", [] { add_hero("Rivud"); });
static ConsoleCommand cc_zazuru("zazuru", "Add Zazuru to the game", [] { add_hero("Zazuru"); });
static ConsoleCommand cc_rivadara("rivadara", "Add Rivadara to the game", [] { add_hero("Rivadara"); });

static ConsoleCommand cc_character("character", "Set the current main character", [] {
  if (!Console_run) return;
  console_get_arg(ARG_STRING | ARG_NONE);
  if (!(Console_arg.type & ARG_STRING)) {
    console_printf("Usage: character <string>\n");
    return;
  }
  int type = charinfo_lookup(Console_arg.original);
  if (type < 0) {
    console_printf("Unable to find character %s in character table\n", Console_arg.original);
    return;
  }
  PlayerRecord* r = Selected_record;
  living_entity* old = member_entity(r);
  if (!r || !old) return;
  vector pos = old->pos;
  matrix orient = old->orient;
  if (Party_hooks.group_leave) Party_hooks.group_leave(old);
  old->flags |= OF_DELETE;
  r->type = type;
  r->flags &= ~PR_CONTROLLED;
  living_entity* e = member_spawn(r, pos, orient, nullptr, true);
  if (!e) return;
  ai_reset_to_idle(&e->ai);
  member_take_control(r);
  if (Party_hooks.camera_target) Party_hooks.camera_target(e);
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* m = member_entity(p);
    if (m && m != e && Party_hooks.group_join) Party_hooks.group_join(m, e);
  }
  console_printf("Main character: %s\n", Character_infos[type].name);
});

static ConsoleCommand cc_add_xp("add_xp", "Adds experience points to currently selected character", [] {
  if (!Console_run) return;
  console_get_arg(ARG_INT);
  if (!Selected_entity) return;
  if (Party_hooks.add_experience) Party_hooks.add_experience(Selected_entity, Console_arg.int_value);
  else Selected_entity->experience += static_cast<uint32_t>(Console_arg.int_value);
});

ChainMember party_chain_member(living_entity* e) {
  ChainMember m;
  m.type = e ? e->character : nullptr;
  m.has_entity = e != nullptr;
  m.entity_name = e ? e->get_name() : "";
  m.ap = e ? e->ap : 0;
  return m;
}
