#pragma once
// The common boss layer's bookkeeping of who hurts a boss and whom it
// turns on: the attacker tally (five entries of decaying and total sums of
// the HP changes each hero caused), the weighted choice of a target among
// candidates, and the weighted index and random integer the boss modules
// draw their choices with (from the game's seeded random source).
#include <cstdint>

class living_entity;

constexpr int BOSS_TALLY_ENTRIES = 5;
constexpr int32_t BOSS_TALLY_EXPIRY_MS = 20000;
// The choice mask that asks for the nearest candidate.
constexpr uint32_t BOSS_CHOOSE_NEAREST = 0x80000000u;

struct BossTallyEntry {
  int32_t handle = -1;
  float recent = 0.0f;     // decays by 10% of itself a second
  float lingering = 0.0f;  // decays by 1/60 of itself a second
  float direct = 0.0f;     // changes recorded without the flag, never decaying
  float total = 0.0f;      // every change, never decaying
  int32_t expiry = 0;      // game clock, ms
};

struct BossTally {
  BossTallyEntry entries[BOSS_TALLY_ENTRIES];
  void clear() { *this = BossTally{}; }
};

struct BossCandidate {
  living_entity* entity = nullptr;
  float distance = 0.0f;  // ground-plane, edge to edge
  float weight = 0.0f;    // running sum, filled by boss_choose_target
  uint32_t mask = 0;      // offense kinds that suit the target
};

// An HP change (negative for damage) a hero caused the boss. Only player
// characters enter the tally; a sixth live attacker is not recorded.
void boss_record_damage(BossTally& tally, float amount, int32_t attacker, bool flag);
// Decays recent and lingering over dt seconds; frees the entries of
// attackers that no longer exist.
void boss_decay_tally(BossTally& tally, float dt);
int boss_tally_find(int32_t handle, const BossTally& tally);
// A handle from the candidates, weighted toward those that hurt the boss
// most lately, or the nearest (below 1000.0) with BOSS_CHOOSE_NEAREST; -1
// when none can be chosen.
int32_t boss_choose_target(BossCandidate* candidates, int count, const BossTally& tally, int32_t current,
                           bool exclude_current, uint32_t mask);
// The first index whose share of the running sum exceeds a uniform draw;
// -1 for no weights or a total that is not positive.
int boss_weighted_index(const float* weights, int count);
// base + trunc(r x (limit - base)), r uniform in [0, 1).
int boss_random_int(int base, int limit);
