#pragma once
// Item paging: item meshes are loaded into one of 19 fixed slots when they
// are needed and dropped when the slot is wanted for another item. Each slot
// has its own arena, so dropping a mesh is a reset of its arena. An item's
// mesh pointer in its Item_info is the test of "loaded".
//
// Slots 0-7 belong to the heroes (two each), 8-16 are general, 17 holds the
// level's items until the level ends, 18 the item of the information pop-up.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct Item_info;

#define NUM_ITEM_PAGING_SLOTS 19
#define ITEM_PAGING_LEVEL_SLOT 17
#define ITEM_PAGING_POPUP_SLOT 18
#define ITEM_PAGING_SUMMON_SLOT 8
#define ITEM_PAGING_GENERAL_ARENA_SIZE 32768
#define ITEM_PAGING_LEVEL_ARENA_SIZE 229376
#define ITEM_PAGING_POPUP_ARENA_SIZE 98304

// Loads a mesh by name into the current memory arena; null on failure.
// tag_index finds a named tag of a loaded mesh (-1 when absent).
struct ItemMeshLoader {
  void* (*load)(const char* name) = nullptr;
  int (*tag_index)(void* mesh, const char* tag) = nullptr;
  // A tag's position and orientation in the model.
  void (*tag_transform)(void* mesh, int tag, vector* pos, matrix* orient) = nullptr;
};
// Replaces the mesh loader (tests use a fake one); returns the previous.
ItemMeshLoader item_paging_set_loader(ItemMeshLoader loader);

// A named point of an item's model in the model's frame: 1 found, 0 the
// loaded model lacks it, -1 no model is loaded.
int item_model_point(const Item_info& info, const char* name, vector* pos, matrix* orient);

void item_paging_reset();
bool item_page_in(int item, int slot);
void item_page_out(int slot);
bool item_is_paged_in(int item);
// The item a slot holds (-1 when empty) and whether it owns the mesh.
int item_paging_slot_item(int slot);
bool item_paging_slot_owns(int slot);

// The two paging slots of a player character: in a networked game by its
// place in the party list (a fifth player is fatal), else by its hero kind;
// -1 and -1 for anyone else.
void item_paging_slot_for_player(int kind, bool player_character, int party_index, int* first, int* second);
