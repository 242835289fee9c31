#include "Engine/Objects/item_paging.h"

#include <cstdio>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/saved_names.h"
#include "quarn/ca/vim.h"
#include "quarn/os/error.h"
#include "quarn/os/memory.h"

namespace {

struct PagingSlot {
  int item = -1;
  int second = -1;
  MemArena* arena = nullptr;
  bool owns = false;
};

alignas(16) uint8_t General_memory[17][ITEM_PAGING_GENERAL_ARENA_SIZE];
alignas(16) uint8_t Level_memory[ITEM_PAGING_LEVEL_ARENA_SIZE];
alignas(16) uint8_t Popup_memory[ITEM_PAGING_POPUP_ARENA_SIZE];
MemArena Arenas[NUM_ITEM_PAGING_SLOTS];
PagingSlot Slots[NUM_ITEM_PAGING_SLOTS];
void* load_vim(const char* name) { return vim_load(name, 0); }
int find_vim_tag(void* mesh, const char* tag) { return vim_find_tag(static_cast<const VimMesh*>(mesh), tag); }
void vim_tag_transform(void* mesh, int tag, vector* pos, matrix* orient) {
  vim_get_tag_transform(static_cast<const VimMesh*>(mesh), tag, pos, orient);
}
ItemMeshLoader Loader{load_vim, find_vim_tag, vim_tag_transform};

// The arenas are set up once, before anything pages in.
struct ArenaSetup {
  ArenaSetup() {
    for (int i = 0; i < 17; i++) Arenas[i].init(General_memory[i], ITEM_PAGING_GENERAL_ARENA_SIZE, "IP general");
    Arenas[ITEM_PAGING_LEVEL_SLOT].init(Level_memory, ITEM_PAGING_LEVEL_ARENA_SIZE, "IP level");
    Arenas[ITEM_PAGING_POPUP_SLOT].init(Popup_memory, ITEM_PAGING_POPUP_ARENA_SIZE, "IP info popup");
    for (int i = 0; i < NUM_ITEM_PAGING_SLOTS; i++) Slots[i].arena = &Arenas[i];
  }
} Arena_setup;

void empty_arena(MemArena* arena) { arena->used = 0; }

bool valid_item(int item) { return item >= 0 && item < Num_item_infos; }

// Loads the item's mesh into the arena; the heap is current again afterwards.
bool load_mesh(int item, MemArena* arena) {
  Item_info& info = Item_infos[item];
  MemArena* previous = mem_get_arena();
  mem_set_arena(arena);
  void* mesh = (Loader.load && info.model_name) ? Loader.load(info.model_name) : nullptr;
  if (mesh && info.type == ITEM_WEAPON) {
    info.weapon.drop_tags[0] = Loader.tag_index ? Loader.tag_index(mesh, "$drop-ground01") : -1;
    info.weapon.drop_tags[1] = Loader.tag_index ? Loader.tag_index(mesh, "$drop-ground02") : -1;
  }
  mem_set_arena(previous);
  info.model = mesh;
  return mesh != nullptr;
}

}  // namespace

int item_model_point(const Item_info& info, const char* name, vector* pos, matrix* orient) {
  if (!info.model) return -1;
  const int tag = Loader.tag_index && name ? Loader.tag_index(info.model, name) : -1;
  if (tag < 0) return 0;
  *pos = vector(0, 0, 0);
  *orient = identity_matrix;
  if (Loader.tag_transform) Loader.tag_transform(info.model, tag, pos, orient);
  return 1;
}

ItemMeshLoader item_paging_set_loader(ItemMeshLoader loader) {
  ItemMeshLoader previous = Loader;
  Loader = loader;
  return previous;
}

void item_paging_reset() {
  for (int i = 0; i < Num_item_infos; i++) Item_infos[i].model = nullptr;
  for (PagingSlot& s : Slots) {
    s.item = -1;
    s.second = -1;
    s.owns = false;
    empty_arena(s.arena);
  }
}

bool item_page_in(int item, int slot) {
  if (slot == ITEM_PAGING_LEVEL_SLOT) {
    if (!valid_item(item)) return false;
    if (!Item_infos[item].model) load_mesh(item, Slots[slot].arena);
    return Item_infos[item].model != nullptr;
  }
  if (slot < 0 || slot >= NUM_ITEM_PAGING_SLOTS || !valid_item(item)) return false;
  PagingSlot& s = Slots[slot];
  if (s.item == item) return true;
  if (s.item >= 0) item_page_out(slot);
  if (Item_infos[item].model) {
    // Loaded through another slot: this one only records the item.
    s.item = item;
    s.owns = false;
    return true;
  }
  empty_arena(s.arena);
  if (!load_mesh(item, s.arena)) {
    std::printf("FAILED TO PAGE VIF MESH FOR ITEM PAGE!\n");
    std::printf("MESH PAGE FAILED!\n");
    empty_arena(s.arena);
    return false;
  }
  s.item = item;
  s.owns = true;
  return true;
}

void item_page_out(int slot) {
  if (slot < 0 || slot >= NUM_ITEM_PAGING_SLOTS || slot == ITEM_PAGING_LEVEL_SLOT) return;
  PagingSlot& s = Slots[slot];
  if (s.item >= 0 && s.owns) {
    std::printf("FULL PAGEOUT!\n");
    int heir = -1;
    for (int i = 0; i < NUM_ITEM_PAGING_SLOTS; i++) {
      if (i != slot && i != ITEM_PAGING_LEVEL_SLOT && Slots[i].item == s.item) {
        heir = i;
        break;
      }
    }
    if (heir < 0) {
      Item_infos[s.item].model = nullptr;
      empty_arena(s.arena);
    } else {
      // The mesh lives in this slot's arena: the slots swap arenas, so the
      // heir keeps the very memory the mesh is in. The pop-up slot hands over
      // the same way, so its mesh is never left behind freed.
      MemArena* arena = Slots[heir].arena;
      Slots[heir].arena = s.arena;
      Slots[heir].owns = true;
      s.arena = arena;
      empty_arena(s.arena);
    }
  }
  s.item = -1;
  s.second = -1;
  s.owns = false;
}

bool item_is_paged_in(int item) { return valid_item(item) && Item_infos[item].model != nullptr; }

int item_paging_slot_item(int slot) {
  return (slot >= 0 && slot < NUM_ITEM_PAGING_SLOTS) ? Slots[slot].item : -1;
}

bool item_paging_slot_owns(int slot) {
  return slot >= 0 && slot < NUM_ITEM_PAGING_SLOTS && Slots[slot].owns;
}

void item_paging_slot_for_player(int kind, bool player_character, int party_index, int* first, int* second) {
  *first = *second = -1;
  if (game_is_networked()) {
    if (!player_character) return;
    if (party_index >= 4 || party_index < 0) CRITICAL_ERROR("Unable to find paging slot for player");
    *first = party_index * 2;
    *second = party_index * 2 + 1;
    return;
  }
  if (kind >= 0 && kind < 4) {
    *first = kind * 2;
    *second = kind * 2 + 1;
  }
}
