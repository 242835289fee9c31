#pragma once
// What an entity decides on its think step: who it fights (the team table
// and what it can perceive), whom it follows (heroes the controlled hero,
// followers their group leader, in formation), how it turns on one who hits
// it, and how heroes on one target spread round it.
#include "Engine/ai/ai_component.h"

class living_entity;

// The candidate record of one target search; a smaller score is better.
struct AiCandidates {
  living_entity* seeker = nullptr;
  int attacker_limit = 1 << 30;  // a candidate already fought by this many is passed over
  living_entity* best = nullptr;
  float score = 0.0f;
  float level = 0.0f;
};
// Scores one candidate and keeps it in the record when it is seen and
// better than the best so far.
void ai_score_candidate(AiCandidates* c, living_entity* candidate, bool ignore_boss);

// The team table: how eagerly a member of one team attacks one of another
// (0: never on its own).
int ai_team_eagerness(int own_team, int target_team);

// The think routine the driver's think step runs before the queue.
void ai_think_routine(ai_component* ai);
// A creature's own choice of target; mode 2 is the think routine's.
void ai_seek_target(ai_component* ai, int mode);
// An entity hit by another turns on it unless its target is much nearer.
void ai_consider_target(ai_component* ai, int attacker);
// Where a member stands round its target, in attack-slot units [0, 5).
float ai_bearing(const living_entity* member, const living_entity* target);
// The heroes on one target spread round it (every 2000 ms at most).
void ai_hero_think();
// Action types 2 and 8: approach the target, keeping formation when it is
// the group leader. 0 started, 1 not yet, -1 refused.
int ai_approach_target(ai_component* ai, int target);
// A follower plans its way to its place behind the leader (TRAVELING 3);
// -1 when no path was found.
int ai_follow_leader(living_entity* e, living_entity* leader);

// The console's hook for "is a cutscene script running" and for the game's
// line-of-sight test, both unset in tests (no cutscene, everything seen).
struct AiThinkHooks {
  bool (*cutscene_script_running)() = nullptr;
  bool (*can_see)(const living_entity* from, const living_entity* to) = nullptr;
};
void ai_set_think_hooks(const AiThinkHooks& hooks);

// A new level: the shared timers start afresh.
void ai_think_reset();

// Installs the think routine and the approach order with the AI driver.
void ai_think_install();
