#include "Engine/characterinfo/charmodels.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

const char* const Level_pool_names[NUM_LEVEL_POOLS] = {"Ruvizo Anims", "Zazuru Anims", "Rivud Anims",
                                                       "Rivadara Anims", "Summon"};

namespace {

bool same(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }
bool begins(const char* name, const char* prefix) { return name && strncasecmp(name, prefix, std::strlen(prefix)) == 0; }

bool any_of(int v, std::initializer_list<int> values) {
  for (int x : values) {
    if (x == v) return true;
  }
  return false;
}

// The moves a reduced-animation level (and the temple interior without the
// temple flag) does without.
bool reduced_skips(const Move_info* m) {
  if (any_of(m->list, {0, 1, 2, 3, 4, 6, 7, 9, 10, 11, 12, 13})) return true;
  return m->list == MOVE_STATE && any_of(m->variation, {111, 149, 160, 39, 40, 161, 162});
}

bool masad(const LevelAnimContext& ctx) { return same(ctx.level_name, "masad") && !same(ctx.variant_name, "masad_v2"); }
bool templeint(const LevelAnimContext& ctx) { return same(ctx.level_name, "templeint"); }
bool ordinary(const LevelAnimContext& ctx, bool temple) { return !ctx.reduced && !(templeint(ctx) && !temple); }

Move_info* find_by_location(Character_info* ci, int list, int location) {
  for (Move_info* m = ci->moves[list]; m; m = m->next) {
    if (m->location == location) return m;
  }
  return nullptr;
}

void take(Move_info* m, const Move_info* donor) {
  m->anim_slot = donor->anim_slot;
  m->sound = donor->sound;
}

}  // namespace

void charinfo_pool_sizes(const LevelAnimContext& ctx, int32_t out[NUM_LEVEL_POOLS]) {
  static const int32_t Networked[] = {517120, 433152, 568320, 661504, 1024000};
  static const int32_t Reduced[] = {102400, 102400, 102400, 153600, 1024000};
  static const int32_t Temple[] = {325632, 102400, 358400, 153600, 1024000};
  static const int32_t Other[] = {325632, 289792, 358400, 460800, 1024000};
  static const int32_t Masad[] = {325632, 300, 300, 300, 1024000};
  const int32_t* row = Other;
  if (ctx.networked) row = Networked;
  else if (ctx.reduced) row = Reduced;
  else if (templeint(ctx)) row = Temple;
  else if (masad(ctx)) row = Masad;
  for (int i = 0; i < NUM_LEVEL_POOLS; i++) out[i] = row[i];
}

bool charinfo_level_anim_filter(const LevelAnimContext& ctx, const Character_info* type, Move_info* m, bool temple) {
  // 1. Sharing fills these.
  if ((m->list == MOVE_FLINCH || m->list == MOVE_PARRY) && m->location == 1) return true;
  if (m->list == MOVE_FLINCH && m->location == 2) return true;
  if (m->list == MOVE_PARRY && m->location == 3) return true;
  if (m->list == MOVE_FLINCH && (m->variation == 129 || m->variation == 130)) return true;
  if (m->list == MOVE_NONCOMBAT_FLINCH) return true;
  // 2.
  if (ctx.networked && type && charinfo_is_hero(type->kind)) {
    if (m->list == MOVE_STATE && any_of(m->variation, {146, 148, 156, 157})) return true;
    if (m->list == MOVE_TRANSITION && any_of(m->variation, {35, 36, 37, 38})) return true;
    return false;
  }
  // 3.
  if (ctx.reduced && reduced_skips(m)) return true;
  // 4.
  if (masad(ctx)) {
    m->anim_slot = 1;
    struct Rule {
      const char* prefix;
      bool state_only;
    } rules[] = {{"serp_stage1", true}, {"serp", false},        {"ghrd_stage1", true}, {"ghrd", false},
                 {"tigr_horse_", true}, {"tigr", false},        {"phnx_stage1", true}, {"phnx", false}};
    for (const Rule& r : rules) {
      if (begins(m->animation, r.prefix)) return r.state_only ? m->list != MOVE_STATE : true;
    }
  }
  // 5.
  if (templeint(ctx) && !temple && reduced_skips(m)) return true;
  // 6.
  if (!same(ctx.level_name, "Shenwu") && !same(ctx.level_name, "JadeTemple")) return false;
  m->anim_slot = 1;
  for (const char* p : {"serp_stage1", "serp_stage2", "ghrd_stage1", "tigr_horse_", "tigr_stage1", "tigr_stage2",
                        "phnx_stage1", "phnx_stage2"}) {
    if (begins(m->animation, p)) return true;
  }
  return false;
}

void charinfo_share_anims(const LevelAnimContext& ctx, Character_info* ci, bool temple) {
  if (!ci) return;
  const uint32_t mask = ci->current_class_mask;
  if (ordinary(ctx, temple)) {
    const Move_info* flinch = find_by_location(ci, MOVE_FLINCH, 3);
    const Move_info* parry = find_by_location(ci, MOVE_PARRY, 2);
    if (flinch) {
      for (Move_info* m = ci->moves[MOVE_FLINCH]; m; m = m->next) {
        const bool borrows = m->location == 1 || m->location == 2 || m->variation == 129 || m->variation == 130;
        if (borrows && (m->class_mask & mask) && m != flinch) take(m, flinch);
      }
      for (Move_info* m = ci->moves[MOVE_NONCOMBAT_FLINCH]; m; m = m->next) take(m, flinch);
    }
    if (parry) {
      for (Move_info* m = ci->moves[MOVE_PARRY]; m; m = m->next) {
        if ((m->location == 1 || m->location == 3) && (m->class_mask & mask)) take(m, parry);
      }
    }
    return;
  }
  const Move_info* donor = nullptr;
  for (const Move_info* m = ci->moves[MOVE_MOVEMENT]; m && !donor; m = m->next) {
    if (m->variation == 1) donor = m;
  }
  if (!donor) return;
  for (int list : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13}) {
    for (Move_info* m = ci->moves[list]; m; m = m->next) take(m, donor);
  }
}

void charinfo_reset_anims(Character_info* ci) {
  if (!ci) return;
  Character_info* owner = ci->parent ? ci->parent : ci;
  for (Move_info* list : owner->moves) {
    for (Move_info* m = list; m; m = m->next) {
      m->anim_slot = -1;
      m->sound.index = -1;
    }
  }
  owner->current_class_mask = 0;
  ci->current_class_mask = 0;
}

int charinfo_set_weapon_class(const LevelAnimContext& ctx, Character_info* ci, int weapon_class,
                              CharinfoLoadMove load) {
  if (!ci || weapon_class < 0 || weapon_class >= NUM_WEAPON_CLASSES) return 0;
  const uint32_t bit = 1u << weapon_class;
  if (ci->current_class_mask & bit) return 0;
  charinfo_reset_anims(ci);
  const bool hero = charinfo_is_hero(ci->kind) && !ctx.networked;
  if (hero && masad(ctx) && ci->kind != 0) {
    std::printf("Trying to load animations for a non ruvizo character in masad!\n");
    return 0;
  }
  const uint32_t mask = bit | 1u;
  // The temple flag: Ruvizo and Rivud load the temple interior in full.
  const bool temple = ci->kind == 0 || ci->kind == 2;
  int loaded = 0;
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (Move_info* m = ci->moves[list]; m; m = m->next) {
      if (hero) {
        if (!(m->class_mask & mask)) continue;
        if (m->variation == VARIATION_STATSCREEN_LIGHT || m->variation == VARIATION_STATSCREEN_HEAVY) continue;
      }
      if (charinfo_level_anim_filter(ctx, ci, m, temple)) continue;
      m->anim_slot = load ? load(ci, m) : -1;
      loaded += m->anim_slot >= 0;
    }
  }
  ci->current_class_mask = hero ? mask : 0xFFFFFFFFu;
  charinfo_share_anims(ctx, ci, temple);
  return loaded;
}

Move_info* charinfo_statscreen_move(Character_info* ci, bool heavy) {
  if (!ci) return nullptr;
  // An alternate type poses with its parent's moves.
  Character_info* owner = ci->parent ? ci->parent : ci;
  const int variation = heavy ? VARIATION_STATSCREEN_HEAVY : VARIATION_STATSCREEN_LIGHT;
  for (Move_info* m = owner->moves[MOVE_STATE]; m; m = m->next) {
    if (m->variation == variation) return m;
  }
  return nullptr;
}

int entity_stance_for_class(int weapon_class) {
  static const int Stances[NUM_WEAPON_CLASSES] = {10, 2, 4, 3, 5, 6, 7, 8, 9};
  return weapon_class >= 0 && weapon_class < NUM_WEAPON_CLASSES ? Stances[weapon_class] : 10;
}
