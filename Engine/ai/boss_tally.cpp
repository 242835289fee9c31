#include "Engine/ai/boss_tally.h"

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

namespace {

bool names_entity(int32_t handle) { return handle >= 0 && entity_from_handle(handle) != nullptr; }

}  // namespace

void boss_record_damage(BossTally& tally, float amount, int32_t attacker, bool flag) {
  const living_entity* a = entity_from_handle(attacker);
  if (!a || a->type != OBJ_PLAYER) return;
  const int at = boss_tally_find(attacker, tally);
  if (at >= 0) {
    BossTallyEntry& e = tally.entries[at];
    e.recent += amount;
    e.lingering += amount;
    e.total += amount;
    if (!flag) e.direct += amount;
    e.expiry = timer_game_clock + BOSS_TALLY_EXPIRY_MS;
    return;
  }
  bool placed = false;
  for (BossTallyEntry& e : tally.entries) {
    const bool free = e.handle < 0 || !names_entity(e.handle);
    if (!placed && free) {
      e.handle = attacker;
      e.recent = e.lingering = e.total = amount;
      // A reused entry starts afresh: the last attacker's direct total is
      // not this one's.
      e.direct = flag ? 0.0f : amount;
      e.expiry = timer_game_clock + BOSS_TALLY_EXPIRY_MS;
      placed = true;
    } else if (placed && e.handle >= 0 && !names_entity(e.handle)) {
      e.handle = -1;
    }
  }
}

void boss_decay_tally(BossTally& tally, float dt) {
  for (BossTallyEntry& e : tally.entries) {
    if (e.handle < 0) continue;
    if (!names_entity(e.handle)) {
      e.handle = -1;
      continue;
    }
    e.recent -= dt * e.recent * 0.1f;
    e.lingering -= dt * e.lingering * (1.0f / 60.0f);
  }
}

int boss_tally_find(int32_t handle, const BossTally& tally) {
  if (handle < 0) return -1;
  for (int i = 0; i < BOSS_TALLY_ENTRIES; i++)
    if (tally.entries[i].handle == handle) return i;
  return -1;
}

int32_t boss_choose_target(BossCandidate* c, int count, const BossTally& tally, int32_t current, bool exclude_current,
                           uint32_t mask) {
  if (count <= 0) return -1;
  if (mask == BOSS_CHOOSE_NEAREST) {
    int best = -1;
    for (int i = 0; i < count; i++)
      if (c[i].entity && c[i].distance < 1000.0f && (best < 0 || c[i].distance < c[best].distance)) best = i;
    return best < 0 ? -1 : c[best].entity->handle;
  }
  float sum = 0.0f;
  for (int i = 0; i < count; i++) {
    const int t = c[i].entity ? boss_tally_find(c[i].entity->handle, tally) : -1;
    if (t >= 0) sum += tally.entries[t].recent + tally.entries[t].lingering;
  }
  const float base = 2.0f - 0.1f * sum;
  float running = 0.0f;
  bool any = false;
  for (int i = 0; i < count; i++) {
    if (c[i].entity && (mask == 0 || (mask & c[i].mask))) {
      any = true;
      const int t = boss_tally_find(c[i].entity->handle, tally);
      float w = t >= 0 ? base - (3.0f * tally.entries[t].recent + tally.entries[t].lingering) : base;
      if (c[i].entity->handle == current) w = exclude_current ? 0.0f : w * 1.2f;
      running += w;
    }
    c[i].weight = running;
  }
  // A total of 0 (only the excluded current target was eligible) chooses nobody.
  if (!any || !(running > 0.0f)) return -1;
  const float r = frand();
  for (int i = 0; i < count; i++)
    if (c[i].entity && c[i].weight / running > r) return c[i].entity->handle;
  return -1;
}

int boss_weighted_index(const float* weights, int count) {
  if (!weights || count < 1) return -1;
  float total = 0.0f;
  for (int i = 0; i < count; i++) total += weights[i];
  if (!(total > 0.0f)) return -1;
  const float r = frand();
  float running = 0.0f;
  for (int i = 0; i < count; i++) {
    running += weights[i];
    if (running / total > r) return i;
  }
  return -1;
}

int boss_random_int(int base, int limit) { return base + static_cast<int>(frand() * static_cast<float>(limit - base)); }
