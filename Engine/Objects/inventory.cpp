#include "Engine/Objects/inventory.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"

PartyInventory Party_inventory;

// Hero texture helpers, kept with the entity appearance code.
const char* hero_default_texture(int kind, int layer, bool alt_arm);

namespace {

InventoryHooks Hooks;

const char* const Servant_outfit[NUM_EQUIPMENT_SLOTS] = {
    nullptr, nullptr, nullptr, "Servant's Gloves", "Servant's Boots", nullptr, nullptr, "Servant's Blouse",
    "Servant's Leggings", nullptr};

int definition_index(const item_instance* item) {
  return item && item->info ? static_cast<int>(item->info - Item_infos) : -1;
}

int starting_charges(const Item_info* info) { return info && info->use_effect ? info->use_effect->charges : 0; }

// Merges into an existing stack of the same definition; false when none.
bool merge(item_instance* item, int count) {
  const int at = party_inventory_find(item->info);
  if (at < 0) return false;
  InventoryEntry& e = Party_inventory.entries[at];
  if (item_is_consumed(item->info)) {
    e.count += static_cast<uint32_t>(count);
  } else {
    const int cap = starting_charges(item->info);
    e.item->charges = std::min(e.item->charges + item->charges, cap);
  }
  item_free(item);
  return true;
}

bool append(item_instance* item, int count) {
  if (Party_inventory.count >= MAX_PARTY_INVENTORY) {
    item_free(item);
    return false;
  }
  Party_inventory.entries[Party_inventory.count++] = InventoryEntry{static_cast<uint32_t>(count), item};
  return true;
}

bool hero_model(const living_entity* e) { return e->instance && e->is_hero() && charinfo_is_hero(e->character->kind); }

void apply_texture(living_entity* e, int layer, const char* name) {
  e->apply_hero_texture(layer, name ? name : hero_default_texture(e->character->kind, layer, (e->state & ES_ALT_ARM) != 0));
}

// Armour textures of one item on its layers; parts are body, cape or one
// hand, head, leg.
void apply_item_textures(living_entity* e, const Item_info* info, bool heavy_now) {
  const int kind = e->character->kind;
  const int slot = info->slot;
  int group = kind;
  if (heavy_now && (slot == SLOT_TORSO || slot == SLOT_LEGS || slot == SLOT_HEAVY)) group += 4;
  const char* const* t = info->armor.textures[group];
  switch (slot) {
    case SLOT_HANDS:
      apply_texture(e, 5, (kind == 0 && (e->state & ES_ALT_ARM)) ? t[1] : t[0]);
      break;
    case SLOT_FEET:
      apply_texture(e, 4, t[0]);
      break;
    case SLOT_TORSO:
      apply_texture(e, 1, t[0]);
      apply_texture(e, 0, t[2]);
      apply_texture(e, 2, t[1]);
      break;
    case SLOT_LEGS:
      apply_texture(e, 3, t[0]);
      break;
    case SLOT_HEAVY:
      apply_texture(e, 3, t[3]);
      apply_texture(e, 1, t[0]);
      apply_texture(e, 0, t[2]);
      apply_texture(e, 2, t[1]);
      break;
    default:
      break;
  }
}

ItemUser user_of(const living_entity* e) {
  ItemUser u;
  u.kind = e->character ? e->character->kind : -1;
  u.object_type = e->type;
  u.state = e->state;
  u.weapon_classes = e->character ? e->character->allowed_weapon_classes : 0xFFFFFFFFu;
  u.entity = e;
  return u;
}

}  // namespace

void inventory_set_hooks(const InventoryHooks& hooks) { Hooks = hooks; }

int party_item_kind(int index) {
  if (index < 0 || index >= Num_item_infos) return PIK_BAD;
  const Item_info& info = Item_infos[index];
  if (info.type == ITEM_WEAPON) return PIK_WEAPON;
  if (info.type == ITEM_ARMOR) return PIK_ARMOUR;
  if (info.use_effect) return PIK_USABLE;
  if (info.slot >= 0) return PIK_WEARABLE;
  return PIK_OTHER;
}

void party_inventory_init() {
  Party_inventory.count = 0;
  Party_inventory.gold = NEW_GAME_GOLD;
}

void party_inventory_forget() { Party_inventory.count = 0; }

void party_inventory_clear() {
  for (int i = 0; i < Party_inventory.count; i++) {
    if (Party_inventory.entries[i].item) item_free(Party_inventory.entries[i].item);
    Party_inventory.entries[i] = InventoryEntry{};
  }
  Party_inventory.count = 0;
}

void party_inventory_add(item_instance* item, int count, bool resort) {
  if (!item || count < 1) return;
  if (merge(item, count)) return;
  if (append(item, count) && resort) party_inventory_sort(Party_inventory.entries, Party_inventory.count);
}

void party_inventory_add_by_index(int index, int count, int charges, bool resort) {
  if (index < 0 || index >= Num_item_infos || count < 1) return;
  const Item_info* info = &Item_infos[index];
  const int start = starting_charges(info);
  if (info->use_effect && start >= 2) count = 1;
  int c = info->use_effect ? (charges < 0 ? start : std::min(charges, start)) : 0;
  const int at = party_inventory_find(info);
  if (at >= 0) {
    InventoryEntry& e = Party_inventory.entries[at];
    if (item_is_consumed(info)) e.count += static_cast<uint32_t>(count);
    else e.item->charges = std::min(e.item->charges + c, start);
    return;
  }
  if (Party_inventory.count >= MAX_PARTY_INVENTORY) return;
  item_instance* item = item_create(index);
  if (!item) return;
  item->charges = c;
  if (append(item, count) && resort) party_inventory_sort(Party_inventory.entries, Party_inventory.count);
}

void party_inventory_add_by_name(const char* name, int count, int charges, bool resort) {
  const int index = item_lookup(name);
  if (index >= 0) party_inventory_add_by_index(index, count, charges, resort);
}

void party_inventory_pickup(ground_item* object, bool resort) {
  if (!object || object->quantity < 1) return;
  if (object->tag >= 0 && Hooks.forget_level_item) Hooks.forget_level_item(object);
  bool appended = false;
  if (object->item) {
    if (object->is_gold()) {
      Party_inventory.gold += static_cast<uint32_t>(object->quantity);
      item_free(object->item);
    } else if (!merge(object->item, object->quantity)) {
      appended = append(object->item, object->quantity);
    }
  }
  object->item = nullptr;
  object->deinit();
  if (appended && resort) party_inventory_sort(Party_inventory.entries, Party_inventory.count);
}

void party_inventory_remove(int entry, bool free_item, bool resort) {
  if (entry < 0 || entry >= Party_inventory.count) return;
  if (free_item && Party_inventory.entries[entry].item) item_free(Party_inventory.entries[entry].item);
  for (int i = entry; i + 1 < Party_inventory.count; i++) Party_inventory.entries[i] = Party_inventory.entries[i + 1];
  Party_inventory.entries[--Party_inventory.count] = InventoryEntry{};
  if (resort) party_inventory_sort(Party_inventory.entries, Party_inventory.count);
}

int party_inventory_find(const Item_info* info) {
  if (!info) return -1;
  for (int i = 0; i < Party_inventory.count; i++) {
    if (Party_inventory.entries[i].item && Party_inventory.entries[i].item->info == info) return i;
  }
  return -1;
}

int party_inventory_find_by_index(int index) {
  if (index < 0 || index >= Num_item_infos) return -1;
  return party_inventory_find(&Item_infos[index]);
}

bool party_inventory_use_item(living_entity* user, int entry, living_entity* target, const vector* target_pos,
                              int extra) {
  if (!user || entry < 0 || entry >= Party_inventory.count) return false;
  InventoryEntry& e = Party_inventory.entries[entry];
  item_instance* item = e.item;
  if (!item || !item->info || !item->info->use_effect || item->charges < 1) return false;
  if (!item_instance_hero_may_use(user_of(user), item)) return false;
  const ChargeEffect* use = item->info->use_effect;
  if (Hooks.cast) Hooks.cast(user, use->spell, target, target_pos, item, extra);
  if (use->disposable > 0.0f && use->disposable < 1.0f) {
    if (frand() < use->disposable) party_inventory_remove(entry, true, true);
    else item->charges--;
  } else if (use->disposable < 1.0f) {
    item->charges--;
  } else if (item_is_consumed(item->info)) {
    if (--e.count == 0) party_inventory_remove(entry, true, false);
  } else if (--item->charges <= 0) {
    party_inventory_remove(entry, true, false);
  }
  return true;
}

// The game compared with a function that never answered "equal", which a
// standard sort may not be given; this order is strict and keeps equal
// indices as they were.
void party_inventory_sort(InventoryEntry* entries, int count) {
  if (!entries || count < 2) return;
  std::stable_sort(entries, entries + count, [](const InventoryEntry& a, const InventoryEntry& b) {
    const int ia = definition_index(a.item), ib = definition_index(b.item);
    const int ka = party_item_kind(ia), kb = party_item_kind(ib);
    if (ka != kb) return ka < kb;
    return ia < ib;
  });
}

void party_inventory_sort_pairs(IndexValuePair* pairs, int count) {
  if (!pairs || count < 2) return;
  std::stable_sort(pairs, pairs + count, [](const IndexValuePair& a, const IndexValuePair& b) {
    const int ka = party_item_kind(a.index), kb = party_item_kind(b.index);
    if (ka != kb) return ka < kb;
    return a.index < b.index;
  });
}

// ---- equipment ----------------------------------------------------------------

void equipment_clear(item_instance** block) {
  for (int i = 0; i < NUM_EQUIPMENT_SLOTS; i++) block[i] = nullptr;
}

void equipment_free_all(item_instance** block) {
  for (int i = 0; i < NUM_EQUIPMENT_SLOTS; i++) {
    if (block[i]) item_free(block[i]);
    block[i] = nullptr;
  }
}

bool entity_wears_heavy_armour(const living_entity* e) {
  return e->equipment[EQ_TORSO] && e->equipment[EQ_TORSO]->info && e->equipment[EQ_TORSO]->info->slot == SLOT_HEAVY;
}

void entity_equip_item(item_instance** out1, item_instance** out2, living_entity* e, int slot, item_instance* item) {
  if (out1) *out1 = nullptr;
  if (out2) *out2 = nullptr;
  if (!e || !item || !item->info || slot < 0 || slot >= NUM_EQUIPMENT_SLOTS) return;
  if (e->type == OBJ_PLAYER && !item_is_identified(item)) return;
  const Item_info* info = item->info;
  const bool model = hero_model(e);
  const bool heavy = model && entity_wears_heavy_armour(e);
  const int item_slot = info->slot;
  const bool skin_switch =
      model && (((item_slot == SLOT_TORSO || item_slot == SLOT_LEGS) && heavy) || (item_slot == SLOT_HEAVY && !heavy));
  if (item_slot < 0 || item_slot >= NUM_ITEM_SLOTS) return;

  item_instance* removed[2] = {nullptr, nullptr};
  int n = 0;
  auto take = [&](int s) {
    item_instance* r = entity_unequip_slot(e, s, false);
    if (r && n < 2) removed[n++] = r;
    else if (r) item_free(r);
  };
  auto holds = [&](int s, int wanted) {
    return e->equipment[s] && e->equipment[s]->info && e->equipment[s]->info->slot == wanted;
  };
  switch (item_slot) {
    case SLOT_NECK: take(EQ_NECK); break;
    case SLOT_FINGER:
    case SLOT_WEAPON: take(slot); break;
    case SLOT_HANDS: take(EQ_HANDS); break;
    case SLOT_FEET: take(EQ_FEET); break;
    case SLOT_SHIELD:
      take(EQ_SHIELD);
      if (holds(EQ_WEAPON, SLOT_TWO_HANDED)) take(EQ_WEAPON);
      break;
    case SLOT_TORSO: take(EQ_TORSO); break;
    case SLOT_LEGS:
      take(EQ_LEGS);
      if (holds(EQ_TORSO, SLOT_HEAVY)) take(EQ_TORSO);
      break;
    case SLOT_HEAVY:
      take(EQ_TORSO);
      take(EQ_LEGS);
      break;
    case SLOT_TWO_HANDED:
      take(EQ_WEAPON);
      take(EQ_SHIELD);
      break;
  }
  // The slot the caller named must be empty now, or its item would be lost.
  if (e->equipment[slot]) take(slot);
  e->equipment[slot] = item;
  if (out1) *out1 = removed[0];
  if (out2) *out2 = removed[1];
  if (!out1 && removed[0]) item_free(removed[0]);
  if (!out2 && removed[1]) item_free(removed[1]);

  if (model) {
    if (skin_switch) {
      const int kind = e->character->kind;
      e->set_skin(kind == 3 ? 0 : (heavy ? 0 : 1));
    } else if (info->type == ITEM_ARMOR && item_slot >= SLOT_HANDS && item_slot <= SLOT_HEAVY) {
      apply_item_textures(e, info, entity_wears_heavy_armour(e));
    }
  }
  if (info->type == ITEM_WEAPON && entity_game().set_weapon_class) {
    entity_game().set_weapon_class(e->character, info->weapon.weapon_class);
  }
  const int script_state = Hooks.level_script_state ? Hooks.level_script_state() : 0;
  if (script_state != -1 && script_state != 4) {
    for (int s = 0; s < NUM_ITEM_STATUS_SLOTS; s++) {
      if (info->status_levels[s] == 255) continue;
      const int lvl = info->status_levels[s] == 0 ? e->level : info->status_levels[s];
      e->apply_item_status_effect(s, item, spell_status_strength(s, lvl));
    }
  }
  item->spare = -1;
  if (info->attached_effect && e->type != OBJ_BOSS) {
    const EntityEffectHooks& fx = entity_effects();
    if (fx.item_effect) item->spare = fx.item_effect(e, info);
    else if (fx.attach) item->spare = fx.attach(e, info->attached_effect, -1);
  }
}

item_instance* entity_unequip_slot(living_entity* e, int slot, bool restore_look) {
  if (!e || slot < 0 || slot >= NUM_EQUIPMENT_SLOTS) return nullptr;
  item_instance* item = e->equipment[slot];
  e->equipment[slot] = nullptr;
  if (!item || !item->info) return item;
  const Item_info* info = item->info;
  if (restore_look && hero_model(e) && info->type == ITEM_ARMOR) {
    const int kind = e->character->kind;
    const bool alt = (e->state & ES_ALT_ARM) != 0;
    switch (info->slot) {
      case SLOT_HANDS: e->apply_hero_texture(5, hero_default_texture(kind, 5, alt)); break;
      case SLOT_FEET: e->apply_hero_texture(4, hero_default_texture(kind, 4, alt)); break;
      case SLOT_TORSO:
        for (int l : {1, 0, 2}) e->apply_hero_texture(l, hero_default_texture(kind, l, alt));
        break;
      case SLOT_LEGS: e->apply_hero_texture(3, hero_default_texture(kind, 3, alt)); break;
      case SLOT_HEAVY: e->set_skin(0); break;
      default: break;
    }
  }
  for (const ItemStatMod* m : info->stat_mods) {
    if (!m) continue;
    if (m->stat == 0 && e->hp > static_cast<float>(e->get_max_points(0))) e->hp = static_cast<float>(e->get_max_points(0));
    if (m->stat == 1 && e->ap > e->get_max_points(1)) e->ap = static_cast<int16_t>(e->get_max_points(1));
  }
  if (item->spare != -1) {
    if (entity_effects().kill) entity_effects().kill(item->spare);
    item->spare = -1;
  }
  return item;
}

bool entity_use_equipped_item(living_entity* e, int slot, living_entity* target, const vector* pos, int extra) {
  if (!e || slot < 0 || slot >= NUM_EQUIPMENT_SLOTS) return false;
  item_instance* item = e->equipment[slot];
  if (!item || !item->info || !item->info->use_effect || item->charges < 1) return false;
  const ChargeEffect* use = item->info->use_effect;
  if (Hooks.cast) Hooks.cast(e, use->spell, target, pos, item, extra);
  auto drop = [&] { item_free(entity_unequip_slot(e, slot, true)); };
  if (use->disposable >= 1.0f) {
    if (--item->charges <= 0) drop();
  } else if (use->disposable > 0.0f) {
    if (frand() < use->disposable) drop();
    else item->charges--;
  } else {
    item->charges--;
  }
  return true;
}

int entity_find_equipped(const living_entity* e, const Item_info* info) {
  if (!e || !info) return -1;
  for (int s = 0; s < NUM_EQUIPMENT_SLOTS; s++) {
    if (e->equipment[s] && e->equipment[s]->info == info) return s;
  }
  return -1;
}

bool entity_has_equipped(const living_entity* e, const Item_info* info) { return entity_find_equipped(e, info) >= 0; }

bool entity_wears_servant_outfit(const living_entity* e) {
  for (int s = 0; s < NUM_EQUIPMENT_SLOTS; s++) {
    if (!Servant_outfit[s]) continue;
    const item_instance* it = e->equipment[s];
    if (!it || !it->info || !it->info->name || strcasecmp(it->info->name, Servant_outfit[s]) != 0) return false;
  }
  return true;
}

namespace {
ConsoleCommand cc_add_gold("add_gold", "Adds gold to party inventory", [] {
  console_get_arg(ARG_INT);
  if (!Console_run) return;
  // A negative amount takes gold away, never below an empty purse.
  const int64_t gold = static_cast<int64_t>(Party_inventory.gold) + Console_arg.int_value;
  Party_inventory.gold = static_cast<uint32_t>(gold < 0 ? 0 : gold > 0xFFFFFFFFLL ? 0xFFFFFFFFLL : gold);
  console_printf("Added %d gold to party.", Console_arg.int_value);
});
}  // namespace
