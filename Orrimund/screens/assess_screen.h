#pragma once
// The assess popup (20): a small panel describing one creature after a hero
// assessed it, its text built once at open and then only scrolled.
class living_entity;

void assess_screen_register();
// The facts of the text, read from the entity.
struct AssessFacts;
void assess_facts_of(const living_entity* e, AssessFacts* out, char* name, int name_size);
