#pragma once
// The few shapes every level script is written with.
#include <strings.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "levelscripts/Scripts/script_host.h"
#include "levelscripts/Scripts/story_scripts.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_ops.h"

inline ScriptHost& H() { return script_host(); }

inline bool same_name(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }

// A one-time event: sets the flag first (so leaving the level during what
// follows never repeats it) and answers whether it was still to do.
inline bool first_time(int level, const char* flag) {
  if (H().flag(level, flag)) return false;
  H().set_flag(level, flag, true);
  return true;
}

// A proximity remark: once per game, when the leader comes within reach of
// the navpoint. Null hero: the flag alone.
inline bool remark(int level, const char* flag, const char* navpoint, float distance, const char* hero,
                   const char* text, float seconds = 5.0f) {
  if (H().flag(level, flag) || !H().leader_near(navpoint, distance)) return false;
  H().set_flag(level, flag, true);
  if (hero) H().hero_say(hero, text, seconds);
  return true;
}

// A one-time intro cutscene (the level's intro flag set first).
inline bool intro(int level, const char* flag, const char* cutscene, ScriptContinuation then = nullptr) {
  if (!first_time(level, flag)) return false;
  H().cutscene(cutscene, then);
  return true;
}

// A ring reward: the item, its flag and the HUD line.
inline void ring_reward(int flag_level, const char* flag, const char* ring, const char* line) {
  H().set_flag(flag_level, flag, true);
  if (ring && H().item_count(ring) == 0) H().give_item(ring);
  H().hud_text(line);
}

// The blocked-exit line: a hero says why, the hook answers false.
inline bool blocked(const char* dest, const char* level, const char* hero, const char* text) {
  if (same_name(dest, level)) H().hero_say(hero, text, 5.0f);
  return false;
}

inline bool event_is(const ScriptEvent* e, const char* name) { return e && same_name(e->name, name); }

// A name with one number in it ("Iron Golem#%d").
inline std::string fmt(const char* f, int n) {
  char b[64];
  std::snprintf(b, sizeof b, f, n);
  return b;
}
inline bool variant(const char* v) { return same_name(H().script_variant(), v); }
inline bool all_dead(std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (!H().character_dead(n)) return false;
  return true;
}
