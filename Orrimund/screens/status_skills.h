#pragma once
// The status screen's skill rows and the points spent on them. Points are
// pending until the player leaves the screen and accepts: applied, they
// raise the member's stored skill bytes; declined, they go back unspent.
#include <cstdint>

struct ChainMember;

#define MAX_STATUS_SKILL_ROWS 35
#define SKILL_IDENTIFY 20
#define SKILL_LOCK_PICKING 21

enum { STATUS_ROW_RAISABLE = 0, STATUS_ROW_CHAIN = 1 };

struct StatusSkillRow {
  uint8_t kind = STATUS_ROW_RAISABLE;
  int16_t skill = -1;
  int base = 0;   // the stored skill byte x 0.1, rounded
  int shown = 0;  // the current skill statistic x 10, rounded
  int pending = 0;
};

// One skill of the member's type, as the rows are built from it.
struct StatusSkillSource {
  int skill;
  int required_level;
  uint8_t stored;   // the member's stored skill byte
  float current;    // the member's current skill statistic
};

struct StatusSkills {
  StatusSkillRow rows[MAX_STATUS_SKILL_ROWS];
  int count = 0;
  bool changes = false;
};

// Raisable rows for the type's skills the member's level reaches (and whose
// statistic is not below 0; identify and lock picking are left out in a
// multiplayer game), then one chain row per chain skill.
void status_skills_build(StatusSkills& s, const StatusSkillSource* skills, int skill_count, int member_level,
                         const int* chain_skills, int chain_count, bool multiplayer);
// Raising needs an unspent point and stays below the cap of the member's
// level (the experience table's level factor); lowering needs a pending one.
bool status_skill_raise(StatusSkills& s, int row, int* unspent, float level_factor);
bool status_skill_lower(StatusSkills& s, int row, int* unspent);
// The stored bytes grow by pending x 10 (clamped to a byte), by skill id.
void status_skills_apply(StatusSkills& s, uint8_t* stored_by_skill, int stored_count);
// Pending points back to the member's unspent points.
void status_skills_return(StatusSkills& s, int* unspent);

// ---- the chain-key menu ------------------------------------------------------
// Its entries in order, and the chain slot each binds (the keys that pick a
// chain slot in a fight: Caps Lock 0, Shift 1, Ctrl 2, Alt 3).
constexpr int STATUS_CHAIN_KEYS = 4;
extern const char* const Status_chain_key_names[STATUS_CHAIN_KEYS];
extern const int Status_chain_key_slots[STATUS_CHAIN_KEYS];
// The rows of the member's chain skills, in the order the member learned
// them (a skill the member has none of is left out).
int status_chain_skills(const ChainMember& m, int* out, int max);
// Binds a chain row's skill to the chosen key's slot (taking it off any
// other key); false for a raisable row or no such entry.
bool status_chain_bind(const StatusSkills& s, int row, int entry, const ChainMember& m);
// The key a chain row's skill is bound to ("CAPS" ... "ALT"), "" for none.
const char* status_chain_key_of(const ChainMember& m, int skill);

// ---- the behaviour menu ------------------------------------------------------
// The six behaviour classes a member's AI plans by, in class order.
constexpr int STATUS_BEHAVIOURS = 6;
extern const char* const Status_behaviour_names[STATUS_BEHAVIOURS];
// The name of a stored behaviour value; a member that was never given one
// plans as a nearest-enemy fighter and shows that.
const char* status_behaviour_name(int behaviour);
