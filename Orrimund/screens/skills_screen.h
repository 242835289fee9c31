#pragma once
// The skills (screen 6) and spells (screen 5) roll-outs of the controlled
// hero: six category tabs, the hero's entries of the chosen category with
// the hovered one's description, arrows through the party, a flip to the
// other roll-out and a close button. Releasing the button on an entry uses
// the skill or casts the spell (skill_use.h).
class living_entity;

void skills_screen_register();

// For tests: the entries of a category for a character (skills: skill ids
// in table order; spells: spell ids in table order); the count.
int skills_category_entries(bool spells, int category, living_entity* e, int* out, int capacity);
// The category the screen opens on: the kept one when it still has entries,
// else the first with entries, else -1.
int skills_open_category(bool spells, int kept, living_entity* e);
