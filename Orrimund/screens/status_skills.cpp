#include "Orrimund/screens/status_skills.h"

#include <algorithm>
#include <cmath>

#include "Engine/characterinfo/skills.h"

void status_skills_build(StatusSkills& s, const StatusSkillSource* skills, int skill_count, int member_level,
                         const int* chain_skills, int chain_count, bool multiplayer) {
  s = StatusSkills();
  for (int i = 0; i < skill_count && s.count < MAX_STATUS_SKILL_ROWS; i++) {
    const StatusSkillSource& k = skills[i];
    if (k.required_level > member_level || k.current < 0.0f) continue;
    if (multiplayer && (k.skill == SKILL_IDENTIFY || k.skill == SKILL_LOCK_PICKING)) continue;
    StatusSkillRow& r = s.rows[s.count++];
    r.kind = STATUS_ROW_RAISABLE;
    r.skill = static_cast<int16_t>(k.skill);
    r.base = static_cast<int>(std::lround(k.stored * 0.1f));
    r.shown = static_cast<int>(std::lround(k.current * 10.0f));
  }
  for (int i = 0; i < chain_count && s.count < MAX_STATUS_SKILL_ROWS; i++) {
    StatusSkillRow& r = s.rows[s.count++];
    r.kind = STATUS_ROW_CHAIN;
    r.skill = static_cast<int16_t>(chain_skills[i]);
  }
}

bool status_skill_raise(StatusSkills& s, int row, int* unspent, float level_factor) {
  if (row < 0 || row >= s.count || !unspent || *unspent < 1) return false;
  StatusSkillRow& r = s.rows[row];
  if (r.kind != STATUS_ROW_RAISABLE) return false;
  if ((r.base + r.pending) * 10 >= std::lround(level_factor * 10.0f)) return false;
  r.pending++;
  (*unspent)--;
  s.changes = true;
  return true;
}

bool status_skill_lower(StatusSkills& s, int row, int* unspent) {
  if (row < 0 || row >= s.count || !unspent) return false;
  StatusSkillRow& r = s.rows[row];
  if (r.pending <= 0) return false;
  r.pending--;
  (*unspent)++;
  s.changes = true;
  return true;
}

void status_skills_apply(StatusSkills& s, uint8_t* stored_by_skill, int stored_count) {
  for (int i = 0; i < s.count; i++) {
    StatusSkillRow& r = s.rows[i];
    if (r.kind != STATUS_ROW_RAISABLE || r.skill < 0 || r.skill >= stored_count) continue;
    stored_by_skill[r.skill] = static_cast<uint8_t>(std::min(255, stored_by_skill[r.skill] + r.pending * 10));
    r.base += r.pending;
    r.pending = 0;
  }
  s.changes = false;
}

void status_skills_return(StatusSkills& s, int* unspent) {
  for (int i = 0; i < s.count; i++) {
    if (unspent) *unspent += s.rows[i].pending;
    s.rows[i].pending = 0;
  }
  s.changes = false;
}

const char* const Status_chain_key_names[STATUS_CHAIN_KEYS] = {"CAPS", "SHFT", "CTRL", "ALT"};
const int Status_chain_key_slots[STATUS_CHAIN_KEYS] = {0, 1, 2, 3};

int status_chain_skills(const ChainMember& m, int* out, int max) {
  int n = 0;
  const int learned = chain_skills_learned_count(m);
  for (int i = 0; i < learned && n < max; i++) {
    const int skill = chain_skill_learned_nth(m, i);
    if (skill != SKILL_NONE) out[n++] = skill;
  }
  return n;
}

bool status_chain_bind(const StatusSkills& s, int row, int entry, const ChainMember& m) {
  if (row < 0 || row >= s.count || entry < 0 || entry >= STATUS_CHAIN_KEYS) return false;
  if (s.rows[row].kind != STATUS_ROW_CHAIN) return false;
  chain_config_assign(m, Status_chain_key_slots[entry], s.rows[row].skill);
  return true;
}

const char* status_chain_key_of(const ChainMember& m, int skill) {
  const int slot = chain_slot_of_skill(m, skill);
  for (int i = 0; i < STATUS_CHAIN_KEYS; i++)
    if (Status_chain_key_slots[i] == slot) return Status_chain_key_names[i];
  return "";
}

const char* const Status_behaviour_names[STATUS_BEHAVIOURS] = {"Nearest enemy",     "Assist",        "Concentrate",
                                                               "Support",           "Concentrate & cast",
                                                               "Support & cast"};

const char* status_behaviour_name(int behaviour) {
  return Status_behaviour_names[behaviour >= 0 && behaviour < STATUS_BEHAVIOURS ? behaviour : 0];
}
