#pragma once
// Using a skill, lock picking among them, and casting a spell from the
// spells screen: the rules the skills and spells screens and the HUD's hot
// buttons share. A skill that needs something picked in the world arms the
// cursor (creature, ground point or lock); the world input's click then
// completes it through the hooks this module fills at start-up.
class living_entity;
class game_object;
struct item_instance;
struct vector;

constexpr int SKILL_ASSESS = 19;
constexpr int SKILL_APPRAISE = 20;
constexpr int SKILL_PICK_LOCK = 21;
constexpr int SKILL_SNEAK = 22;
constexpr int SKILL_HIDE = 23;
constexpr int SKILL_ID_SUMMON = 27;
constexpr int SKILL_BANISH = 52;
// A picker gets this much grace over the lock's difficulty.
constexpr float LOCK_PICK_GRACE = 0.05f;

// The pure rules, for the screens and tests.
// A lock of that difficulty yields to a pick-lock level (level + 0.05 >= it).
bool lock_pick_succeeds(float level, float difficulty);
// Appraising identifies an item of that value: sqrt(value) x 0.0014084507
// below the appraise level.
bool appraise_identifies(float value, float level);
// Only these spells are cast from the spells screen.
bool spell_castable_from_screen(int spell);
// The school (skill) of a spell's class; -1 for classes without one.
int spell_school_skill(int spell);
// Skills never used from the screen: passive ones (the plain skills
// without an action of their own).
bool skill_is_passive(int skill);

// A hero's summon stands in the party while it lives.
bool party_summon_lives();
// The party's living summon, or null.
living_entity* party_summon();
// The skills that choose how the member's next blow is struck: double
// attack, push, kick, trip and the three aimed attacks.
bool skill_is_attack_style(int skill);
// Sends a living summoned creature back (any other creature is refused);
// true when it went.
bool skill_banish(living_entity* target);

// The screen test: whether the entry may be chosen now.
bool skill_usable(int skill, living_entity* user);
// The per-use test: points, membership, cooldown and the user's level.
bool skill_ready(int skill, living_entity* user);
// Uses or arms a skill (user null: the controlled hero); true when it did.
bool skill_use(int skill, game_object* target, living_entity* user = nullptr);
// Appraising an item the inventory hands over: the skill's tests, its cost
// and cooldown, then the item becomes identified when appraise_identifies
// says so. True when the attempt was made (the item may stay unknown).
bool skill_appraise(item_instance* item, living_entity* user = nullptr);
// The armed cursor picked a creature.
bool skill_use_on_entity(int skill, living_entity* target, int priority, living_entity* user = nullptr);
// Lock picking on the locked container or door the player clicked (mesh
// -1 for a container); true when the lock yielded.
bool skill_pick_lock(game_object* container, int mesh, living_entity* user = nullptr);

// The spells screen's test and cast (caster null: the controlled hero).
bool spell_can_cast_from_screen(int spell, living_entity* caster);
bool spell_cast_from_screen(int spell, living_entity* caster = nullptr);

// Start-up: the world input's lock, creature and container hooks.
void skill_use_install();
