#pragma once
// Living-entity models over the engine's animated characters: each entity
// gets a character instance of its type's base character (an alternate
// type uses its parent's), with the type's move animations loaded into the
// base character by weapon class. A move whose animation file is missing
// keeps slot -1 and plays nothing, after a line of debug output.
#include "Engine/Objects/entity_model.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct Character_info;
struct LevelAnimContext;
struct MemArena;
struct Move_info;
class character_instance;

// Installs the maker: from now on new entities get character models, and a
// type's animations load by weapon class as its entities take weapons.
void entity_model_use_characters();
// The level whose rules decide which animations load (level start).
void entity_model_set_level(const LevelAnimContext& ctx);
// Draws an entity's model where it stands (inside a started 3D frame).
// False when the model is not a character model.
bool entity_model_draw(EntityModel* model, const vector& pos, const matrix& orient, int alpha);
// The skeleton an effect binds to: the character instance of a character
// model, null for any other model.
character_instance* entity_model_character(EntityModel* model);
// The stat-screen pose's loader, as installed: a move's animation into the
// type's base character from the 30,720-byte "statscreen" arena (its slot,
// -1 when the file is missing or does not fit), and the drop that empties
// the arena again.
int entity_model_load_statscreen(Character_info* type, Move_info* move);
void entity_model_unload_statscreen(Character_info* type, int slot);
const MemArena& entity_model_statscreen_arena();
