// The combat part's phase machines: choosing attacks, exchanges with their
// initiative, one-sided attacks with their cooldown, missiles, backstabs,
// chain clicks, landing a blow with its reach, and the COM_SEQ replay.
#include "Engine/Objects/combat.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/ai/engagement.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

bool Assisted_chains = false;
bool Super_power = false;

CONSOLE_BOOL_VARIABLE(cc_super_power, "Super_power", "Toggles Super_power", Super_power);

namespace {

CombatHooks Hooks;

// Entities with no speed of their own would never wait between one-sided
// attacks; a tenth is the slowest the cooldown counts with.
constexpr float kMinSpeed = 0.1f;

bool in_exchange(const living_entity* e) {
  return e->ai.state == AI_STATE_COMBAT &&
         (e->ai.sub_state == AI_SUB_EXCHANGE_A || e->ai.sub_state == AI_SUB_EXCHANGE_B ||
          e->ai.sub_state == AI_SUB_EXCHANGE_C);
}

float positive(float v) { return v > 0.0f ? v : 0.0f; }

living_entity* selected_hero() { return entity_game().selected ? entity_game().selected() : nullptr; }

void hud(const char* text) {
  if (Hooks.hud_message) Hooks.hud_message(text);
}

int variation_of(const char* name) { return word_index(Variation_names, NUM_VARIATIONS, name); }

const Move_info* move_by_variation_name(const living_entity* e, int list, const char* name) {
  const int v = variation_of(name);
  if (v < 0 || !e->character) return nullptr;
  return charinfo_get_move(e->character, list, v, true);
}

const Item_info* weapon_of(const living_entity* e) {
  const item_instance* w = e->equipment[EQ_WEAPON];
  return w && w->info && w->info->type == ITEM_WEAPON ? w->info : nullptr;
}

// The random chain slot of the assisted chains: up, down, right, left.
int assisted_slot() {
  const float r = frand();
  return r < 0.25f ? 0 : r < 0.5f ? 1 : r < 0.75f ? 3 : 2;
}

void announce_chain(int s) {
  char text[96];
  snprintf(text, sizeof text, "Chain %s!", s >= 0 && s < NUM_SKILLS ? Skills[s].name : "?");
  hud(text);
}

int assisted_skill(living_entity* hero) {
  int s = Hooks.chain_skill_get ? Hooks.chain_skill_get(hero, assisted_slot()) : CS_NONE;
  if (s == CS_NONE) s = 61;
  return s;
}

void use_chain(living_entity* hero, int s, int count) {
  if (Hooks.chain_skill_use) Hooks.chain_skill_use(hero, s, count);
}

bool networked() { return game_is_networked(); }

// A reaction ends at its move's end tag, or with the move when it ends
// first (its tag lies past its end, or it has none); one whose move never
// started (a type without the animation) is over at once rather than
// holding the fight for good.
bool reaction_over(living_entity* e) {
  if (e->move_tag_state(TRIGGER_CRITICAL_END) == 1) return true;
  return e->current_move_id < 0 || e->move_finished(e->current_move_id);
}

}  // namespace

void combat_set_hooks(const CombatHooks& hooks) { Hooks = hooks; }
const CombatHooks& combat_hooks() { return Hooks; }

combat_state::combat_state() { reset(); }

void combat_state::reset() {
  phase = CP_IDLE;
  target = -1;
  move_handle = 0;
  defence_move = nullptr;
  target_combat = nullptr;
  last_variation = 0;
  skill = CS_NONE;
  attack_type = CS_NONE;
  attack_cooldown = 0.0f;
  chain_queued = 0;
  initiative = 0;
  clear_chain();
}

void combat_state::set_target(living_entity*, living_entity* t) {
  reset();
  target = t ? t->handle : -1;
}

living_entity* combat_state::get_target() const {
  return static_cast<living_entity*>(obj_living_entity_from_handle(target));
}

void combat_state::set_boss_attack_type(int s) {
  if (owner && owner->character && owner->character->kind == 89) attack_type = s;
}

// ---- engage ----------------------------------------------------------------------------

bool combat_state::engage(int variation) {
  living_entity* t = get_target();
  if (!t || !owner) {
    reset();
    return true;
  }
  target_combat = &t->combat;
  const float facing = vector::dot(t->orient.forward, owner->orient.forward);
  if (!in_exchange(owner)) {
    if (owner->ai.state == AI_STATE_COMBAT && owner->ai.sub_state == AI_SUB_MISSILE) update_missile();
    else if (owner->ai.state == AI_STATE_COMBAT && owner->ai.sub_state == AI_SUB_BACKSTAB) update_backstab();
    return phase == CP_IDLE;
  }
  (void)variation;
  if (!owner->is_boss() && !t->is_boss() && in_exchange(t) && t->combat.target == owner->handle &&
      facing < -0.95f) {
    t->combat.target_combat = this;
    update_exchange();
  } else {
    update_attack();
  }
  return phase == CP_IDLE;
}

void combat_entity_step(living_entity* e) {
  if (!e || (e->state & ES_DOWN)) return;
  if (e->hp <= 0.0f) {
    e->die();
    return;
  }
  if (e->ai.state == AI_STATE_COMBAT && e->combat.target != -1) e->combat.engage(0);
}

void combat_entities_frame() {
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e;) {
    // A death moves the entity to the dead list.
    living_entity* next = entity_next(list, e);
    combat_entity_step(e);
    e = next;
  }
}

// ---- choosing an attack ----------------------------------------------------------------

int combat_state::pick_skill() {
  if (owner == selected_hero()) return CS_NONE;
  if (frand() > 0.2f) return CS_NONE;
  if (owner->type == OBJ_PLAYER) return owner->get_stat(CS_DOUBLE) > 0.0f ? CS_DOUBLE : CS_NONE;
  const living_entity* t = get_target();
  int found[6], n = 0;
  for (int s = CS_CRITICAL; s <= CS_AIMED; s++) {
    if (!(owner->get_stat(s) > 0.0f)) continue;
    if (s == CS_KICK && !(t && t->combat.target == owner->handle)) continue;
    if (s == CS_TRIP && t &&
        (ai_is_in_state(&t->ai, AI_STATE_DISABLED, AI_SUB_DOWN) || (t->character->flags & CIF_NOTRIP)))
      continue;
    if (s == CS_PUSH && t && (t->character->flags & CIF_NOPUSH)) continue;
    found[n++] = s;
  }
  return n ? found[os_rand() % n] : CS_NONE;
}

const Move_info* combat_state::pick_attack_move(bool track_variation) {
  const living_entity* t = get_target();
  if (!t || !owner->character) return nullptr;
  vector d(t->pos.x - owner->pos.x, 0.0f, t->pos.z - owner->pos.z);
  const float len = d.length();
  if (len <= 0.0f) return nullptr;
  d = d * (1.0f / len);
  if (vector::dot(d, owner->orient.forward) < 0.95f) return nullptr;
  int vars[16];
  const int n = charinfo_collect_variations(vars, owner->character, MOVE_ATTACK,
                                            track_variation ? static_cast<int>(last_variation) : -1);
  if (n <= 0) return nullptr;
  int i = static_cast<int>(frand() * n);
  if (i >= n) i = n - 1;
  if (track_variation && !(last_variation == 0 && n == 1)) last_variation = static_cast<uint32_t>(vars[i]);
  return charinfo_get_move(owner->character, MOVE_ATTACK, vars[i], true);
}

void combat_state::play_skill_move(int s) {
  const Move_info* m = nullptr;
  switch (s) {
    case CS_COUNTER:
    case CS_DOUBLE: m = move_by_variation_name(owner, MOVE_SPECIAL_ATTACK, "double attack"); break;
    case CS_PUSH: m = move_by_variation_name(owner, MOVE_SPECIAL_ATTACK, "push"); break;
    case CS_KICK: m = move_by_variation_name(owner, MOVE_SPECIAL_ATTACK, "kick"); break;
    case CS_TRIP: m = move_by_variation_name(owner, MOVE_SPECIAL_ATTACK, "trip"); break;
    case CS_AXESPIN: m = move_by_variation_name(owner, MOVE_ATTACK, "axespin"); break;
    case CS_EARTHSHAKER: m = move_by_variation_name(owner, MOVE_ATTACK, "earthshaker"); break;
    default:
      if ((s >= 53 && s <= 70) || s == CS_MUG) m = pick_attack_move(false);
      else if (s >= 73 && s <= 78) m = move_by_variation_name(owner, MOVE_SPECIAL_ATTACK, "attackcast");
      break;
  }
  // A counterattack without a move of its own strikes with a plain attack.
  if (!m && s == CS_COUNTER) m = pick_attack_move(false);
  if (!m) {
    phase = CP_IDLE;
    return;
  }
  attack_type = s;
  move_handle = owner->play_move(m, 1.0f, false, true, 0);
  phase = move_handle >= 0 ? CP_ATTACKING : CP_IDLE;
}

void combat_state::choose_attack() {
  attack_type = CS_NONE;
  if (skill == CS_NONE) skill = pick_skill();
  if (skill != CS_NONE) {
    const int s = skill;
    skill = CS_NONE;
    play_skill_move(s);
    return;
  }
  const Move_info* m = pick_attack_move(true);
  if (!m) return;
  move_handle = owner->play_move(m, 1.0f, false, true, 0);
  if (move_handle >= 0) phase = CP_ATTACKING;
}

// ---- starting an attack ----------------------------------------------------------------

float combat_state::initiative_chance(const combat_state* tc) const {
  const living_entity* t = tc->owner;
  float a = positive(owner->get_stat(CS_SPEED)), d = positive(t->get_stat(CS_SPEED));
  if (a == 0.0f && d == 0.0f) return 0.5f;
  if (owner->get_stat(CS_DOUBLE) > 0.0f) a *= owner->get_stat(CS_DOUBLE) + 1.0f;
  if (t->get_stat(CS_DOUBLE) > 0.0f) d *= t->get_stat(CS_DOUBLE) + 1.0f;
  const living_entity* hero = selected_hero();
  if (Assisted_chains) {
    if (owner == hero) a *= 1.25f;
    else if (t == hero) d *= 1.25f;
  }
  if (initiative && t == hero && Assisted_chains) return 0.0f;
  return a + d > 0.0f ? a / (a + d) : 0.5f;
}

void combat_state::attack(bool one_sided) {
  living_entity* t = get_target();
  if (!t) return;
  if (networked()) {
    const living_entity* hero = selected_hero();
    if (multi_is_client()) {
      if (owner != hero && (one_sided || t != hero)) return;
    } else if (!multi_entity_is_local(owner) || (!one_sided && !multi_entity_is_local(t))) {
      return;
    }
  }
  defence_move = nullptr;
  living_entity* hero = selected_hero();
  if (one_sided) {
    if (Assisted_chains && owner == hero && initiative) {
      const int s = assisted_skill(hero);
      use_chain(hero, s, 0);
      announce_chain(s);
      skill = s;
    } else if (!Assisted_chains) {
      if (!chain_queued) clear_chain();
      chain_queued = 0;
    }
    if (in_exchange(owner)) choose_attack();
    else {
      const Move_info* m = charinfo_get_move(owner->character, MOVE_RANGED_ATTACK, 32, true);
      if (m) {
        move_handle = owner->play_move(m, 1.0f, false, true, 0);
        if (move_handle >= 0) phase = CP_MISSILE;
      }
    }
    if (phase == CP_ATTACKING) {
      // A boss's module may keep the target unwarned, and may take the
      // attack's hit into its own hands.
      const bool unwarned = owner->type == OBJ_BOSS && boss_offense_begin(this);
      if (!unwarned) t->combat.hit_chance(this, true);
      if (owner->type == OBJ_BOSS && boss_attack_begin(owner, move_handle)) phase = CP_BOSS;
    }
    if (t->type == OBJ_PLAYER && Hooks.party_combat_ready) Hooks.party_combat_ready();
  } else {
    combat_state* tc = &t->combat;
    tc->defence_move = nullptr;
    const float r = frand();
    float p = initiative_chance(tc);
    if (!Assisted_chains) {
      if (chain_queued) {
        chain_queued = 0;
        use_chain(owner, skill, chain_count);
        p = 1.0f;
      } else if (tc->chain_queued) {
        tc->chain_queued = 0;
        use_chain(t, tc->skill, tc->chain_count);
        p = 0.0f;
      } else {
        last_chain_skill = CS_NONE;
        if (owner == hero || t == hero) p = initiative ? 0.0f : 1.0f;
      }
    }
    if (skill == CS_COUNTER) p = 1.0f;
    else if (tc->skill == CS_COUNTER) p = 0.0f;
    combat_state* winner = r <= p ? this : tc;
    combat_state* loser = winner == this ? tc : this;
    if (Assisted_chains && winner->owner == hero && winner->initiative) {
      const int s = assisted_skill(hero);
      winner->skill = s;
      announce_chain(s);
    }
    if (skill == CS_COUNTER) {
      if (winner->owner == hero) hud("Counterattack!");
    } else {
      winner->initiative = 1;
      loser->initiative = 0;
    }
    loser->clear_chain();
    winner->choose_attack();
    if (winner->phase != CP_ATTACKING) {
      loser->choose_attack();
      if (loser->phase == CP_ATTACKING) winner->hit_chance(loser, false);
    } else {
      loser->hit_chance(winner, false);
    }
  }
  if (networked() && (phase == CP_ATTACKING || t->combat.phase == CP_ATTACKING)) send_attack(one_sided);
}

// ---- chain clicks ----------------------------------------------------------------------

float combat_state::try_chain(int s) {
  if (phase != CP_ATTACKING) return -100.0f;
  float w = positive(owner->get_stat(CS_SPEED)) * 2.0f;
  for (int i = 0; i < chain_count; i++) w *= i < gentle_steps ? 0.95f : 0.9f;
  if (s == CS_PUSH) w *= 2.0f;
  const float dbl = owner->get_stat(CS_DOUBLE);
  if (dbl > 0.0f) w *= dbl + 1.0f;
  const Item_info* weapon = weapon_of(owner);
  if (s == CS_AXESPIN &&
      (!move_by_variation_name(owner, MOVE_ATTACK, "axespin") || !weapon || weapon->weapon.skill != 4))
    return 100.0f;
  if (s == CS_EARTHSHAKER && (!move_by_variation_name(owner, MOVE_ATTACK, "earthshaker") ||
                               !((owner->character && owner->character->kind == 4) ||
                                 (weapon && weapon->weapon.skill == 5))))
    return 100.0f;
  const float t6 = -owner->time_to_tag(TRIGGER_CRITICAL_END);
  if (t6 <= 0.0f) return -100.0f;
  const float t7 = -owner->time_to_tag(TRIGGER_IMPACT_START);
  if (t7 <= 0.0f && -t7 >= w) return w + t7;
  if (t7 > 0.0f && t7 >= w) return t7 - w;
  if (s == CS_NONE) return 0.0f;
  if (s == last_chain_skill) return 100.0f;
  chain_queued = 1;
  if (chain_count == 0) gentle_steps = 0;
  chain_count++;
  skill = last_chain_skill = s;
  return 0.0f;
}

// ---- the exchange ----------------------------------------------------------------------

bool combat_state::defence_in_time() const {
  if (!target_combat || !defence_move) return false;
  living_entity* opp = target_combat->owner;
  const float left = opp->time_to_tag(TRIGGER_IMPACT_START);
  if (left <= 0.0f) return true;
  return move_trigger_time(defence_move, TRIGGER_IMPACT_START) >= left;
}

void combat_state::queue_counterattack() {
  const float v = owner->get_stat(CS_COUNTER);
  if (v > 0.0f && v >= frand()) {
    skill = CS_COUNTER;
    console_printf("Queueing counter attack for %s\n", owner->character->name);
  }
}

void combat_state::update_exchange() {
  combat_state* partner = target_combat;
  if (!partner) return;
  switch (phase) {
    case CP_IDLE:
      if (partner->phase == CP_IDLE) attack(false);
      break;
    case CP_ATTACKING:
      if (owner->move_tag_state(TRIGGER_CRITICAL_END) == 1) {
        phase = CP_IDLE;
      } else if (owner->move_tag_state(TRIGGER_IMPACT_START) == 1) {
        if (owner->is_hero() && Hooks.voice) Hooks.voice(owner, 1);
        if (partner->phase == CP_STRUCK) {
          process_hit(true);
        } else if (partner->defence_move && partner->defence_move->list == MOVE_PARRY) {
          combat_spark_on_parry(owner, partner->owner);
          if (Hooks.struck_specials) Hooks.struck_specials(partner->owner, owner, 0.0f);
        }
      }
      break;
    case CP_STRUCK:
      if (partner->phase == CP_REACTING || partner->phase == CP_IDLE) phase = CP_IDLE;
      break;
    case CP_DEFENDING:
      if (partner->phase == CP_IDLE || partner->phase == CP_REACTING) {
        phase = CP_IDLE;
      } else if (defence_in_time()) {
        play_defence_move();
        if (phase == CP_REACTING && defence_move && defence_move->list == MOVE_PARRY) queue_counterattack();
      }
      break;
    case CP_REACTING:
    case CP_MISSILE:
      if (reaction_over(owner)) phase = CP_IDLE;
      break;
    default: break;
  }
}

void combat_state::play_parry(const combat_state* attacker) {
  const Move_info* am = attacker && attacker->owner ? attacker->owner->current_move : nullptr;
  const Move_info* m = am ? charinfo_get_move_by_location(owner->character, MOVE_PARRY, am->location, true) : nullptr;
  if (!m) m = charinfo_get_move(owner->character, MOVE_PARRY, 0, true);
  if (!m) m = owner->character->moves[MOVE_PARRY];
  defence_move = m;
  phase = m ? CP_DEFENDING : CP_IDLE;
}

void combat_state::play_dodge() {
  const Move_info* m = charinfo_get_move(owner->character, MOVE_DODGE, 0, true);
  if (!m) m = owner->character->moves[MOVE_DODGE];
  defence_move = m;
  phase = m ? CP_DEFENDING : CP_IDLE;
}

void combat_state::play_defence_move() {
  if (!defence_move || ai_is_in_state(&owner->ai, AI_STATE_DISABLED, AI_SUB_STUNNED)) {
    phase = CP_IDLE;
    return;
  }
  const int h = owner->play_move(defence_move, 1.0f, false, true, 0);
  phase = h >= 0 ? CP_REACTING : CP_IDLE;
}

void combat_state::play_reaction(int location) {
  if (ai_is_in_state(&owner->ai, AI_STATE_DISABLED, AI_SUB_STUNNED)) {
    phase = CP_IDLE;
    return;
  }
  const int list = owner->type == OBJ_PLAYER && !(owner->state & ES_HELD) ? MOVE_NONCOMBAT_FLINCH : MOVE_FLINCH;
  const Move_info* m = charinfo_get_move_by_location(owner->character, list, location, false);
  if (!m) m = owner->character->moves[list];
  if (!m) return;
  reaction_move = owner->play_move(m, 1.0f, false, true, 1);
  phase = CP_REACTING;
}

void combat_state::play_reaction_checked(int location) {
  if (owner->is_boss()) return;
  play_reaction(location);
  move_handle = reaction_move;
}

void combat_state::react_to_hit(int location) {
  if (owner->is_boss() || in_exchange(owner) || owner->ai.state == AI_STATE_DISABLED ||
      (owner->ai.state == AI_STATE_COMBAT && owner->ai.sub_state == AI_SUB_MISSILE))
    return;
  play_reaction_checked(location);
}

// ---- one-sided, missile and backstab ---------------------------------------------------

void combat_state::update_attack() {
  if (attack_cooldown > 0.0f) attack_cooldown -= FrameTimer;
  living_entity* t = get_target();
  switch (phase) {
    case CP_IDLE: {
      if (!chain_queued && attack_cooldown > 0.0f && !(t && t->is_boss())) break;
      if (owner->type == OBJ_BOSS && t && (!boss_in_attack_range(owner, t) || boss_vetoes_attack(owner, t))) break;
      float speed = owner->get_stat(CS_SPEED);
      if (!(speed >= kMinSpeed)) speed = kMinSpeed;
      attack_cooldown = 3.0f / (10.0f * speed);
      attack(true);
      break;
    }
    case CP_ATTACKING: {
      if (owner->move_tag_state(TRIGGER_CRITICAL_END) == 1) {
        phase = CP_IDLE;
        if (owner->type == OBJ_BOSS) boss_on_attack_end(owner);
        break;
      }
      const int s7 = owner->move_tag_state(TRIGGER_IMPACT_START);
      if (s7 < 0) {
        phase = CP_IDLE;
        if (owner->type == OBJ_BOSS) boss_on_attack_end(owner);
      } else if (s7 == 1) {
        if (owner->is_hero() && Hooks.voice) Hooks.voice(owner, 1);
        if (owner->type == OBJ_BOSS) {
          boss_attack_hit(owner, t);
          if (armed >= 1 && boss_offense_hit(this)) {
            armed = 0;
            break;
          }
        }
        if (hits > 0) land_hit();
      }
      break;
    }
    case CP_STRUCK:
    case CP_DEFENDING:
      phase = CP_IDLE;
      if (owner->type == OBJ_BOSS) boss_on_attack_end(owner);
      break;
    case CP_BOSS:
      // The boss's own hit handling: its module strikes at the impact tag.
      if (owner->move_tag_state(TRIGGER_IMPACT_START) == 1) boss_attack_hit(owner, t);
      if (owner->move_tag_state(TRIGGER_CRITICAL_END) == 1 || owner->current_move_id != move_handle) {
        phase = CP_IDLE;
        boss_on_attack_end(owner);
      }
      break;
    default:
      if (owner->move_tag_state(TRIGGER_CRITICAL_END) == 1) phase = CP_IDLE;
      break;
  }
}

void combat_state::update_missile() {
  living_entity* t = get_target();
  switch (phase) {
    case CP_IDLE: attack(true); break;
    case CP_MISSILE:
      if (owner->move_tag_state(TRIGGER_IMPACT_START) == 1) {
        if (t && Hooks.spawn_missile && weapon_of(owner)) {
          const int spell = owner->character && owner->character->kind == 88 ? 25 : 55;
          Hooks.spawn_missile(owner, spell, owner->pos + vector(0, 1.2f, 0), t);
        }
        phase = CP_REACTING;
      }
      break;
    case CP_REACTING:
      if (owner->move_finished(move_handle)) phase = CP_IDLE;
      break;
    default: phase = CP_IDLE; break;
  }
}

void combat_state::update_backstab() {
  living_entity* t = get_target();
  if (phase == CP_IDLE) {
    const Move_info* m = move_by_variation_name(owner, MOVE_ATTACK, "backstab");
    if (!m || !t) return;
    owner->ai.flags |= AIF_BACKSTAB;
    move_handle = owner->play_move(m, 1.0f, true, true, 1);
    owner->ai.special_move = move_handle;
    phase = CP_ATTACKING;
    attack_type = CS_BACKSTAB;
    unaware = t->ai.state != AI_STATE_COMBAT;
    t->combat.hit_chance(this, true);
  } else if (phase == CP_ATTACKING) {
    if (owner->current_move_id != move_handle) {
      phase = CP_IDLE;
      return;
    }
    if (owner->move_tag_state(TRIGGER_CRITICAL_END) == 1) {
      phase = CP_IDLE;
      return;
    }
    const int s7 = owner->move_tag_state(TRIGGER_IMPACT_START);
    if (s7 < 0) phase = CP_IDLE;
    else if (s7 == 1) land_hit();
  }
}

// ---- landing a blow --------------------------------------------------------------------

int combat_state::land_hit() {
  living_entity* t = get_target();
  if (owner->ai.state == AI_STATE_COMBAT && owner->ai.sub_state == AI_SUB_MISSILE && t && Hooks.consider_target)
    Hooks.consider_target(t, owner);
  if (hits <= 0 || !t) return 0;
  if (t->move_blend > 0.5f) t->apply_status_effect(STATUS_SLOW, 5000, -1, 0.5f, owner->handle, false);
  if ((t->state & ES_SPELL_PARALYSED) && t->has_status_effect(STATUS_PARALYZE))
    t->cure_status_effect(STATUS_PARALYZE, true, true);
  bool no_reaction = false;
  if (in_exchange(owner)) {
    float reach = owner->character->attack_radius;
    if (t->is_moving() && !ai_is_in_state(&t->ai, AI_STATE_DISABLED, AI_SUB_STAGGER)) reach *= 2.25f;
    // Measured as the approach measures it (from the position held on the
    // target, else between the two bodies' edges), so a fighter that stops
    // where its approach ends can land its blow.
    const float d = ai_target_distance(&owner->ai, t);
    if (d > reach) return 0;
    if (t->ai.target == owner->handle && t->ai.state == AI_STATE_COMBAT && (t->ai.flags & AIF_MELEE) &&
        d < 1.2f * owner->character->attack_radius)
      no_reaction = true;
  }
  if (ai_is_in_state(&t->ai, AI_STATE_COMBAT, AI_SUB_BACKSTAB)) no_reaction = true;
  target_combat = &t->combat;
  process_hit(false);
  if (t->hp <= 0.0f) return 0;
  if (t->is_boss() || t->ai.state == AI_STATE_DISABLED || in_exchange(t) || no_reaction) return 1;
  const int location = owner->current_move ? owner->current_move->location : 0;
  t->combat.play_reaction_checked(location);
  combat_play_hit_sound(owner, t);
  return 1;
}

bool combat_state::can_hit(combat_state* tc) {
  if (!tc) return false;
  const int saved = target;
  target = tc->owner->handle;
  tc->hit_chance(this, true);
  target = saved;
  return hits > 0;
}

int combat_state::attack_now(combat_state* tc) {
  if (!tc) return 0;
  const int saved = target;
  target = tc->owner->handle;
  const int r = land_hit();
  target = saved;
  return r;
}

float combat_state::get_attack_level() const {
  const Item_info* w = weapon_of(owner);
  return owner->level * 3.0f + (w ? w->weapon.damage : owner->character->damage);
}

float combat_state::get_weapon_skill() const {
  const Item_info* w = weapon_of(owner);
  const float v = owner->get_stat(w ? w->weapon.skill : 0);
  return v > 0.0f ? (v > 1.0f ? 1.0f : v) : 0.0f;
}

// ---- replication -----------------------------------------------------------------------

void com_seq_write(const ComSeq& c, uint8_t* out) {
  auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; i++) *out++ = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(static_cast<uint32_t>(c.attacker));
  put32(static_cast<uint32_t>(c.defender));
  put32(c.variation);
  *out++ = c.defence_kind;
  *out++ = c.no_defence;
  put32(static_cast<uint32_t>(c.attack_type));
}

bool com_seq_read(const uint8_t* p, int size, ComSeq* out) {
  if (!p || size < COM_SEQ_SIZE) return false;
  auto get32 = [&p]() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(*p++) << (8 * i);
    return v;
  };
  ComSeq c;
  c.attacker = static_cast<int32_t>(get32());
  c.defender = static_cast<int32_t>(get32());
  c.variation = get32();
  c.defence_kind = *p++;
  c.no_defence = *p++;
  c.attack_type = static_cast<int32_t>(get32());
  if (c.variation > 5) return false;
  if (c.defence_kind != 255 && c.defence_kind != MOVE_PARRY && c.defence_kind != MOVE_DODGE) return false;
  if (c.no_defence > 1) return false;
  if (c.attack_type < 0 || (c.attack_type >= NUM_SKILLS && c.attack_type != CS_NONE)) return false;
  *out = c;
  return true;
}

void combat_state::send_attack(bool no_defence) {
  living_entity* t = get_target();
  if (!Hooks.send || !t) return;
  ComSeq c;
  c.attacker = owner->net_handle;
  c.defender = t->net_handle;
  c.variation = last_variation;
  c.defence_kind = !no_defence && t->combat.defence_move ? static_cast<uint8_t>(t->combat.defence_move->list) : 255;
  c.no_defence = no_defence ? 1 : 0;
  c.attack_type = attack_type;
  uint8_t buf[COM_SEQ_SIZE];
  com_seq_write(c, buf);
  Hooks.send(buf, COM_SEQ_SIZE);
}

void combat_state::replay_attack(bool no_defence, int variation, int defence_kind, int attack_skill) {
  living_entity* t = get_target();
  if (!t) return;
  if (attack_skill == CS_NONE) {
    const Move_info* m = charinfo_get_move(owner->character, MOVE_ATTACK, variation, true);
    if (m) {
      move_handle = owner->play_move(m, 1.0f, false, true, 0);
      phase = CP_ATTACKING;
      attack_type = CS_NONE;
    }
  } else {
    play_skill_move(attack_skill);
  }
  if (no_defence) return;
  t->combat.phase = CP_STRUCK;
  if (defence_kind == MOVE_PARRY || defence_kind == MOVE_DODGE) {
    t->combat.target_combat = this;
    if (defence_kind == MOVE_PARRY) t->combat.play_parry(this);
    else t->combat.play_dodge();
  }
  if (t->combat.phase == CP_STRUCK) hits = 1;
}

bool com_seq_received(const uint8_t* payload, int size, living_entity* (*by_net_id)(int id)) {
  ComSeq c;
  if (!com_seq_read(payload, size, &c) || !by_net_id) return false;
  living_entity* a = by_net_id(c.attacker);
  living_entity* d = by_net_id(c.defender);
  if (!a || !d || a == d) return false;
  a->combat.target = d->handle;
  a->combat.target_combat = &d->combat;
  a->combat.replay_attack(c.no_defence != 0, static_cast<int>(c.variation), c.defence_kind, c.attack_type);
  return true;
}
