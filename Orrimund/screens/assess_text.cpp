#include "Orrimund/screens/assess_text.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

std::string assess_type_name(const char* type_name) {
  if (!type_name) return std::string();
  if (strcasecmp(type_name, "onif") == 0) return "Oni Female";
  std::string out;
  for (const char* p = type_name; *p && *p != '#' && !isdigit(static_cast<unsigned char>(*p)); p++) out += *p;
  return out;
}

std::string assess_text(const AssessFacts& f, bool multiplayer) {
  static const char* const Class_names[7] = {"fire", "ice", "energy", "magic", "slashing", "piercing", "blunt"};
  static const char* const Words[7] = {"weak", "vulnerable", "standard", "strong", "invulnerable", "strengthen",
                                       "friendly"};
  const std::string name = multiplayer ? assess_type_name(f.type_name) : std::string(f.name ? f.name : "");
  char buf[256];
  snprintf(buf, sizeof buf, "\n\nLevel: %d\nHit Points: %d/%d\nDamage: %d\nProtection: %d\nMagic Resist: %d",
           f.level, f.hit_points, f.max_hit_points, f.damage, f.protection, f.magic_resist);
  std::string text = name + buf;
  for (int c = 0; c < 7; c++) {
    if (c == 3 || f.classes[c] == 2) continue;
    const int v = f.classes[c];
    // A value outside the table's words is shown as what it is not: standard.
    text += std::string("\n") + Class_names[c] + ": " + (v >= 0 && v < 7 ? Words[v] : "standard");
  }
  return text;
}

int assess_line_count(const std::string& text) {
  int lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}
