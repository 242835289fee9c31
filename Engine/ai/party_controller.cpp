#include "Engine/ai/party_controller.h"

#include <cmath>
#include <vector>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

party_group PartyController[MAX_PARTY_GROUPS];
bool Party_controller_check = false;

namespace {

PartyControllerHooks Hooks;

constexpr int ATTACK_PRIORITY = 1000;
constexpr int CAST_PRIORITY = 999999;
constexpr int SPELL_GROUP_HEAL = 21, SPELL_HEAL = 19;
constexpr uint32_t ES_UNSEEN = 0x20000;

// The working lists of the group being planned.
living_entity* Members[MAX_GROUP_MEMBERS];
int Member_count = 0;
living_entity* Targets[MAX_GROUP_TARGETS];
int Target_count = 0;

int32_t now() { return timer_game_clock; }
living_entity* resolve(int handle) { return handle < 0 ? nullptr : entity_from_handle(handle); }
bool gone(const living_entity* e) { return !e || (e->state & ES_DEAD) || e->type == OBJ_FREE; }
float flat_dist(const living_entity* a, const living_entity* b) {
  return std::hypot(a->pos.x - b->pos.x, a->pos.z - b->pos.z);
}
const living_entity* controlled() { return Hooks.controlled ? Hooks.controlled() : nullptr; }

bool usable(const living_entity* t) {
  return !gone(t) && !t->has_status_effect(STATUS_SLEEP) && !t->has_status_effect(STATUS_PARALYZE) &&
         !t->has_status_effect(STATUS_TURNED);
}

bool player_controlled(const living_entity* m) {
  if (Hooks.player_controlled) return Hooks.player_controlled(m);
  return m->type == OBJ_PLAYER && ((m->ai.flags & AIF_PLAYER_CAST_BLOCK) || m == controlled());
}

bool is_member(const party_group& g, int handle) {
  for (int i = 0; i < g.member_count; i++)
    if (g.members[i] == handle) return true;
  return false;
}

bool left_out(const party_group& g, const living_entity* m) {
  if (player_controlled(m)) return true;
  // One that follows a leader of another group takes its orders there; a
  // hero following its own party's leader is still planned for.
  if (m->ai.leader >= 0 && m->ai.leader != m->handle && resolve(m->ai.leader) && !is_member(g, m->ai.leader))
    return true;
  if (m->has_status_effect(STATUS_SLEEP) || m->has_status_effect(STATUS_FADED)) return true;
  return (m->state & ES_HELD) || m->ai.state == AI_STATE_DISABLED;
}

void order_attack(party_group& g, living_entity* m, living_entity* enemy, bool fallback) {
  if ((g.flags & PG_PLAYERS) && !(g.flags & PG_MADE_READY) && Hooks.party_combat_ready &&
      !Hooks.party_combat_ready()) {
    if (Hooks.set_party_combat_ready) Hooks.set_party_combat_ready(true);
    g.flags |= PG_MADE_READY;
  }
  ai_queue_attack(&m->ai, enemy->handle, ATTACK_PRIORITY);
  ai_queue_execute(&m->ai);
  if (fallback) m->ai.flags |= AIF_FIGHT_SLEEPER;
}

void plan_nearest(party_group& g, living_entity* m) {
  if (Target_count == 1) return order_attack(g, m, Targets[0], true);
  living_entity* best = nullptr;
  float best_d = 0.0f;
  for (int i = 0; i < Target_count; i++) {
    if (!usable(Targets[i])) continue;
    const float d = flat_dist(m, Targets[i]);
    if (!best || d < best_d) {
      best = Targets[i];
      best_d = d;
    }
  }
  if (best) order_attack(g, m, best, false);
  else order_attack(g, m, Targets[0], true);
}

void plan_assist(party_group& g, living_entity* m) {
  if (Target_count == 1) return order_attack(g, m, Targets[0], true);
  for (int i = 0; i < Target_count; i++) {
    living_entity* t = Targets[i];
    living_entity* l = resolve(t->ai.leader);
    if (!l || !is_member(g, l->handle)) continue;
    const int b = ai_get_behaviour(&l->ai);
    if (b >= 2 && b <= 5) {
      order_attack(g, m, t, false);
      m->ai.flags |= AIF_FIGHT_SLEEPER;
      return;
    }
  }
  if (m->ai.leader >= 0 && resolve(m->ai.leader)) return;
  living_entity* pick = nullptr;
  float best = 0.0f;
  for (int i = 0; i < Target_count; i++) {
    if (!usable(Targets[i]) || ai_count_attackers_of_leader(&Targets[i]->ai, false) > 0) continue;
    const float d = flat_dist(m, Targets[i]);
    if (!pick || d < best) pick = Targets[i], best = d;
  }
  if (!pick) {
    for (int i = 0; i < Target_count; i++) {
      if (!usable(Targets[i])) continue;
      bool fought = false;
      for (int k = 0; k < Member_count; k++) fought |= Members[k]->ai.target == Targets[i]->handle;
      if (!fought) continue;
      const int max = Targets[i]->get_max_points(0);
      const float ratio = max > 0 ? Targets[i]->hp / static_cast<float>(max) : 1.0f;
      if (!pick || ratio < best) pick = Targets[i], best = ratio;
    }
  }
  for (int i = 0; !pick && i < Target_count; i++)
    if (usable(Targets[i]) && ai_count_attackers_of_leader(&Targets[i]->ai, false) < 10) pick = Targets[i];
  for (int i = 0; !pick && i < Target_count; i++)
    if (usable(Targets[i])) pick = Targets[i];
  if (pick) order_attack(g, m, pick, false);
  else order_attack(g, m, Targets[0], true);
}

void plan_concentrate(party_group& g, living_entity* m) {
  if (Target_count == 1) return order_attack(g, m, Targets[0], true);
  for (int i = 0; i < Target_count; i++)
    if (usable(Targets[i]) && ai_count_attackers_of_leader(&Targets[i]->ai, false) > 0)
      return order_attack(g, m, Targets[i], false);
  if (usable(Targets[0])) order_attack(g, m, Targets[0], false);
}

float hp_ratio(const living_entity* e) {
  const int max = e->get_max_points(0);
  return max > 0 ? e->hp / static_cast<float>(max) : 1.0f;
}

// Heals the group, or the member that needs it most, when it can; else it
// fights as a concentrating member does.
void plan_spell_support(party_group& g, living_entity* m) {
  ai_component* ai = &m->ai;
  if (ai_is_casting(ai) || ai->state == AI_STATE_DISABLED) return;
  const int max_ap = m->get_max_points(1);
  const bool enough_ap = max_ap <= 0 || m->ap / static_cast<float>(max_ap) > 0.25f;
  if (enough_ap && !(ai->flags & AIF_LOW_AP)) {
    if (m->can_cast_spell(SPELL_GROUP_HEAL)) {
      int hurt = 0;
      for (int i = 0; i < Member_count; i++) hurt += hp_ratio(Members[i]) < 0.5f;
      if (hurt >= 2) {
        ai_queue_action3(ai, SPELL_GROUP_HEAL, CAST_PRIORITY);
        return;
      }
    }
    if (m->can_cast_spell(SPELL_HEAL)) {
      living_entity* neediest = nullptr;
      float best = 0.0f;
      for (int i = 0; i < Member_count; i++) {
        if (Members[i]->has_status_effect(STATUS_BLESS)) continue;
        const float score = 30.0f - 30.0f * hp_ratio(Members[i]);
        if (score > best) best = score, neediest = Members[i];
      }
      if (neediest && best >= 15.0f) {
        ai_queue_action4(ai, SPELL_HEAL, neediest->handle, CAST_PRIORITY);
        return;
      }
    }
  }
  if (ai->state != AI_STATE_COMBAT && Target_count > 0) plan_concentrate(g, m);
}

}  // namespace

void party_controller_set_hooks(const PartyControllerHooks& hooks) { Hooks = hooks; }

void party_table_reset() {
  for (party_group& g : PartyController) g = party_group{};
}

void party_table_resume() {
  for (party_group& g : PartyController) {
    if (g.member_count > 0 && (g.flags & PG_PLAYERS)) {
      g.plan_timer = now();
    } else {
      g = party_group{};
    }
  }
}

int party_create(living_entity* e) {
  if (!e) return -1;
  for (int i = 0; i < MAX_PARTY_GROUPS; i++) {
    party_group& g = PartyController[i];
    if (g.member_count != 0) continue;
    g = party_group{};
    g.member_count = 1;
    g.members[0] = g.leader = e->handle;
    g.plan_timer = now();
    if (e->type == OBJ_PLAYER) g.flags |= PG_PLAYERS;
    if (game_flags_test(GF_NETWORKED)) {
      const bool local = (g.flags & PG_PLAYERS) ? e == controlled() : multi_is_host();
      if (local) g.flags |= PG_LOCAL;
    }
    e->ai.group = i;
    return i;
  }
  return -1;
}

void party_join(int group, living_entity* e) {
  if (!e || group < 0 || group >= MAX_PARTY_GROUPS) return;
  party_group& g = PartyController[group];
  if (g.member_count >= MAX_GROUP_MEMBERS || g.member_count <= 0 || is_member(g, e->handle)) return;
  g.members[g.member_count++] = e->handle;
  e->ai.group = group;
}

void party_leave(living_entity* e) {
  if (!e || e->ai.group < 0 || e->ai.group >= MAX_PARTY_GROUPS) return;
  party_group& g = PartyController[e->ai.group];
  e->ai.group = -1;
  // A link left over from before the table was reset names a record that
  // may hold another group by now: that one is not touched.
  int at = -1;
  for (int i = 0; i < g.member_count; i++)
    if (g.members[i] == e->handle) at = i;
  if (at < 0) return;
  if (g.member_count <= 1) {
    g.member_count = 0;
    g.flags = 0;
    g.leader = -1;
    g.members[0] = -1;
    return;
  }
  for (int i = at; i + 1 < g.member_count; i++) g.members[i] = g.members[i + 1];
  g.members[--g.member_count] = -1;
  if (g.leader == e->handle) g.leader = g.members[0];
}

void party_group_packs(living_entity* const* entities, int count, float radius) {
  // First the packs (the first creature of each heads it), then a group for
  // every pack of two or more: a creature alone seeks on its own and keeps
  // the few group records free.
  std::vector<int> head(static_cast<size_t>(count), -1), size(static_cast<size_t>(count), 0);
  auto pack_creature = [&](const living_entity* e) { return e && e->type == OBJ_CREATURE && !gone(e) && e->ai.group < 0; };
  for (int i = 0; i < count; i++) {
    if (!pack_creature(entities[i])) continue;
    for (int k = 0; k < i && head[i] < 0; k++) {
      if (head[k] != k || size[k] >= MAX_GROUP_MEMBERS || entities[k]->team != entities[i]->team) continue;
      if (flat_dist(entities[i], entities[k]) <= radius) head[i] = k;
    }
    if (head[i] < 0) head[i] = i;
    size[head[i]]++;
  }
  for (int i = 0; i < count; i++) {
    if (head[i] < 0 || size[head[i]] < 2) continue;
    if (head[i] == i) party_create(entities[i]);
    else if (entities[head[i]]->ai.group >= 0) party_join(entities[head[i]]->ai.group, entities[i]);
  }
}

living_entity* party_group_leader(const living_entity* e) {
  if (!e || e->ai.group < 0 || e->ai.group >= MAX_PARTY_GROUPS) return nullptr;
  const party_group& g = PartyController[e->ai.group];
  return g.member_count > 0 ? resolve(g.leader) : nullptr;
}

void party_gather(int group) {
  party_group& g = PartyController[group];
  Member_count = Target_count = 0;
  living_entity* leader = resolve(g.leader);
  if (!leader) return;
  for (int i = 0; i < g.member_count; i++)
    if (living_entity* m = resolve(g.members[i]); m && !gone(m)) Members[Member_count++] = m;
  g.target_count = 0;
  const living_entity* hero = controlled();
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (gone(e) || (e->state & ES_UNSEEN) || !leader->is_hostile_to(e)) continue;
    if (Hooks.on_screen && !Hooks.on_screen(e)) continue;
    bool enemy = false;
    for (int i = 0; i < Member_count && !enemy; i++) {
      const living_entity* m = Members[i];
      const float d = m->distance_to(e, false, -1);
      const float sight = m->character ? m->character->fov_range : 0.0f;
      if (d > sight || (Hooks.can_see && !Hooks.can_see(m, e))) continue;
      const float range = m->character ? m->character->attack_radius : 0.0f;
      vector u = e->pos - m->pos;
      const float l = u.length();
      const float facing = l > 0.0f ? vector::dot(u * (1.0f / l), m->orient.forward) : 1.0f;
      // Within striking range always; otherwise a member that is not blind
      // notices what lies in its forward cone, or anything within its
      // near range.
      const float near = m->character ? m->character->detection_range : 0.0f;
      enemy = d < range || (!m->has_status_effect(STATUS_BLIND) && (facing >= 0.71f || d <= near));
    }
    if (!enemy) continue;
    if (hero && std::fabs(e->pos.y - hero->pos.y) > 3.0f) continue;
    if (g.target_count < MAX_GROUP_TARGETS) g.targets[g.target_count++] = e->handle;
  }
  if (g.target_count >= 2) {
    for (int k = 0; k < 2 * g.target_count; k++) {
      const int a = os_rand() % g.target_count, b = os_rand() % g.target_count;
      const int32_t t = g.targets[a];
      g.targets[a] = g.targets[b];
      g.targets[b] = t;
    }
  }
  for (int i = 0; i < g.target_count; i++)
    if (living_entity* t = resolve(g.targets[i])) Targets[Target_count++] = t;
}

void party_plan(int group) {
  party_group& g = PartyController[group];
  int attacking = 0;
  for (int i = 0; i < Member_count; i++) attacking += Members[i]->ai.state == AI_STATE_COMBAT;
  for (int i = 0; i < Member_count; i++) {
    living_entity* m = Members[i];
    if (m == controlled()) continue;
    if (attacking < Target_count && !player_controlled(m)) m->ai.flags &= ~AIF_FIGHT_SLEEPER;
    const int b = ai_get_behaviour(&m->ai);
    if ((b == 4 || b == 5) && !m->has_status_effect(STATUS_SILENCE)) {
      const int max = m->get_max_points(1);
      if (max <= 0 || m->ap > 0.4f * max) m->ai.flags &= ~AIF_LOW_AP;
    }
    if (living_entity* l = resolve(m->ai.leader); l && l != m && Hooks.can_see && !Hooks.can_see(m, l)) {
      m->ai.leader = -1;
      ai_queue_remove_attacks(&m->ai);
    }
  }
  if (Target_count == 0) {
    g.flags &= ~PG_FAST_REPLAN;
    return;
  }
  for (int i = 0; i < Member_count; i++) {
    living_entity* m = Members[i];
    if (m->type == OBJ_NEUTRAL || left_out(g, m)) continue;
    switch (ai_get_behaviour(&m->ai)) {
      case 0: plan_nearest(g, m); break;
      case 1: plan_assist(g, m); break;
      case 2: case 4: plan_concentrate(g, m); break;
      case 3: case 5: plan_spell_support(g, m); break;
      // A type the behaviour table does not name fights the nearest enemy,
      // or a pack of such creatures would never attack.
      default: plan_nearest(g, m); break;
    }
  }
}

void party_update() {
  for (int i = 0; i < MAX_PARTY_GROUPS; i++) {
    party_group& g = PartyController[i];
    if (g.member_count > 0 && !resolve(g.leader)) {
      // The level its members lived in is gone: the record is free again.
      bool any = false;
      for (int k = 0; k < g.member_count; k++) any |= resolve(g.members[k]) != nullptr;
      if (!any) {
        g = party_group{};
        continue;
      }
    }
    if (g.member_count <= 0 || g.plan_timer < 0 || !timestamp_elapsed(g.plan_timer, now())) continue;
    if (game_flags_test(GF_NETWORKED) && !(g.flags & PG_LOCAL)) continue;
    g.flags &= ~PG_MADE_READY;
    party_gather(i);
    party_plan(i);
    g.plan_timer = timestamp_set(now(), (g.flags & PG_FAST_REPLAN) ? 1000 : timestamp_random_ms(1500, 2500));
  }
}

namespace {
CONSOLE_BOOL_VARIABLE(cc_party_controller_check, "party_controller_check", "Toggles Party_controller_check",
                      Party_controller_check);
}  // namespace
