#pragma once
// The assess popup's text: a creature's name, level, points, damage,
// protection and magic resistance, then one line per damage class it does
// not take the standard way. Built once when the popup opens.
#include <string>

#define ASSESS_VISIBLE_LINES 9

struct AssessFacts {
  const char* name;      // the entity's display name (single-player)
  const char* type_name; // the character type's name (multiplayer)
  int level;
  int hit_points, max_hit_points;
  int damage;
  int protection;    // 100 x the combat rating, rounded
  int magic_resist;  // 100 x the magic resistance, rounded
  int classes[7];    // the type's value per damage class: fire, ice, energy, magic, slashing, piercing, blunt
};

// The name a multiplayer game shows: the type's name cut before its first
// '#' or digit, "onif" as "Oni Female".
std::string assess_type_name(const char* type_name);
std::string assess_text(const AssessFacts& f, bool multiplayer);
int assess_line_count(const std::string& text);
// The scroll bar and arrows show only when the text is longer than the
// window.
inline bool assess_needs_scroll(int lines) { return lines > ASSESS_VISIBLE_LINES; }
