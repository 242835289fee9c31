#pragma once
// Groups of entities that fight together (PartyController): ten records of
// at most six members. Once a second or two each group gathers the hostile
// entities its members can perceive and gives every member an attack or a
// spell order by its behaviour class, so that a pack spreads over or gangs
// up on its enemies instead of each member choosing alone.
#include <cstdint>

class living_entity;

constexpr int MAX_PARTY_GROUPS = 10;
constexpr int MAX_GROUP_MEMBERS = 6;
constexpr int MAX_GROUP_TARGETS = 10;

enum PartyGroupFlags : uint32_t {
  PG_PLAYERS = 0x1, PG_FAST_REPLAN = 0x4, PG_MADE_READY = 0x8, PG_LOCAL = 0x10
};

struct party_group {
  int32_t member_count = 0;
  int32_t members[MAX_GROUP_MEMBERS] = {-1, -1, -1, -1, -1, -1};
  int32_t target_count = 0;
  int32_t targets[MAX_GROUP_TARGETS] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t leader = -1;
  uint32_t flags = 0;
  int32_t plan_timer = -1;
};
extern party_group PartyController[MAX_PARTY_GROUPS];
extern bool Party_controller_check;

void party_table_reset();
void party_table_resume();
// The new group, or -1 when all ten are used.
int party_create(living_entity* e);
void party_join(int group, living_entity* e);
void party_leave(living_entity* e);
// Once per AI frame: every group whose plan is due gathers and plans.
void party_update();
// The gathering and the plan of one group, as the update runs them.
void party_gather(int group);
void party_plan(int group);
// Creatures placed together fight together: in the order given, each
// creature joins the pack of the first earlier pack head of its team
// standing within the radius whose pack has room, or else heads a pack of
// its own; every pack of two or more becomes a group led by its head (as
// far as the ten records go). A creature alone, one already in a group,
// heroes and people are left as they are.
void party_group_packs(living_entity* const* entities, int count, float radius);
// The leader of the entity's group, null without one.
living_entity* party_group_leader(const living_entity* e);

// What the plan needs of the game: the party's combat readiness, the
// controlled hero, line of sight. Unset: never ready, none, always seen.
struct PartyControllerHooks {
  bool (*party_combat_ready)() = nullptr;
  void (*set_party_combat_ready)(bool on) = nullptr;
  const living_entity* (*controlled)() = nullptr;
  bool (*can_see)(const living_entity* from, const living_entity* to) = nullptr;
  bool (*on_screen)(const living_entity* e) = nullptr;
  bool (*player_controlled)(const living_entity* e) = nullptr;
};
void party_controller_set_hooks(const PartyControllerHooks& hooks);
