#include "Orrimund/screens/inventory_rules.h"

#include <algorithm>
#include <cmath>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/characterinfo/spells.h"
#include "Orrimund/screens/screen_net.h"
#include "Orrimund/screens/skill_use.h"

namespace {
constexpr int WINDOW_SLOTS[INV_NUM_WINDOWS] = {EQ_TORSO, EQ_LEGS,  EQ_FEET,   EQ_RING1, EQ_RING2,
                                               EQ_NECK,  EQ_WEAPON, EQ_SHIELD, EQ_HANDS, EQ_TORSO};

bool listed(int i, bool identify) {
  const item_instance* it = Party_inventory.entries[i].item;
  return !identify || (it && !item_is_identified(it));
}

int skill_of(const ItemUser& u, int skill) {
  return inv_skill_level(static_cast<const living_entity*>(u.entity), skill);
}

ItemUser user_of(const living_entity* e) {
  ItemUser u;
  u.kind = e->character ? e->character->kind : -1;
  u.object_type = e->type;
  u.state = e->state;
  u.weapon_classes = e->character ? e->character->allowed_weapon_classes : 0xFFFFFFFFu;
  u.skill_level = skill_of;
  u.entity = e;
  return u;
}

bool holds_slot(const living_entity* e, int eq, int item_slot) {
  const item_instance* it = e->equipment[eq];
  return it && it->info && it->info->slot == item_slot;
}

// Puts displaced items back into the bag, one each.
void give_back(item_instance* a, item_instance* b) {
  for (item_instance* it : {a, b})
    if (it) party_inventory_add(it, 1, true);
}
}  // namespace

int inv_window_slot(int window) { return window >= 0 && window < INV_NUM_WINDOWS ? WINDOW_SLOTS[window] : -1; }

int inv_list_count(bool identify) {
  int n = 0;
  for (int i = 0; i < Party_inventory.count; i++) n += listed(i, identify);
  return n;
}

int inv_list_entry(int k, bool identify) {
  if (k < 0) return -1;
  for (int i = 0; i < Party_inventory.count; i++) {
    if (!listed(i, identify)) continue;
    if (k-- == 0) return i;
  }
  return -1;
}

int inv_entry_of(const item_instance* item) {
  if (!item) return -1;
  for (int i = 0; i < Party_inventory.count; i++)
    if (Party_inventory.entries[i].item == item) return i;
  return -1;
}

int inv_use_target(const item_instance* item) {
  const ChargeEffect* fx = item && item->info ? item->info->use_effect : nullptr;
  if (!fx || fx->self_only || fx->spell < 0 || fx->spell >= MAX_SPELLS) return INV_USE_NOW;
  const uint32_t flags = Spells[fx->spell].flags;
  if (flags & SPELL_TARGET_CHARACTER) return INV_USE_ON_CHARACTER;
  if (flags & SPELL_TARGET_LOCATION) return INV_USE_AT_PLACE;
  return INV_USE_NOW;
}

int inv_list_find(const item_instance* item, bool identify) {
  const int at = inv_entry_of(item);
  if (at < 0 || !listed(at, identify)) return -1;
  int k = 0;
  for (int i = 0; i < at; i++) k += listed(i, identify);
  return k;
}

int inv_skill_level(const living_entity* e, int skill) {
  if (!e || !e->has_stat(skill)) return 0;
  const float v = e->get_stat(skill);
  // Statistics hold a tenth of a level (a stored byte of 10 is level 1).
  return v > 0.0f ? static_cast<int>(std::lround(v * 10.0f)) : 0;
}

bool inv_may_equip(const living_entity* e, const item_instance* item) {
  if (!e || !item || !item->info) return false;
  if (!item_can_use(user_of(e), item->info)) return false;
  return !(item->info->slot == SLOT_SHIELD && holds_slot(e, EQ_WEAPON, SLOT_TWO_HANDED));
}

int inv_drop_windows(const living_entity* e, const Item_info* info, int out[2]) {
  if (!e || !info) return 0;
  const bool heavy = holds_slot(e, EQ_TORSO, SLOT_HEAVY);
  switch (info->slot) {
    case SLOT_WEAPON: case SLOT_TWO_HANDED: out[0] = INV_WIN_WEAPON; return 1;
    case SLOT_NECK: out[0] = INV_WIN_NECK; return 1;
    case SLOT_FINGER: out[0] = INV_WIN_RING1, out[1] = INV_WIN_RING2; return 2;
    case SLOT_HANDS: out[0] = INV_WIN_HANDS; return 1;
    case SLOT_FEET: out[0] = INV_WIN_FEET; return 1;
    case SLOT_SHIELD: out[0] = INV_WIN_SHIELD; return 1;
    case SLOT_TORSO: case SLOT_HEAVY: out[0] = heavy ? INV_WIN_HEAVY : INV_WIN_TORSO; return 1;
    case SLOT_LEGS: out[0] = heavy ? INV_WIN_HEAVY : INV_WIN_LEGS; return 1;
    default: return 0;
  }
}

bool inv_equip_from_bag(living_entity* e, item_instance* item, int slot) {
  const int at = inv_entry_of(item);
  if (!e || at < 0 || slot < 0 || slot >= NUM_EQUIPMENT_SLOTS) return false;
  if (e->equipment[slot] && e->equipment[slot]->info == item->info) return false;
  InventoryEntry& entry = Party_inventory.entries[at];
  item_instance* wear = item;
  if (entry.count >= 2) {
    wear = item_create(static_cast<int>(item->info - Item_infos));
    if (!wear) return false;
    wear->charges = item->charges;
  }
  item_instance *out1 = nullptr, *out2 = nullptr;
  entity_equip_item(&out1, &out2, e, slot, wear);
  if (e->equipment[slot] != wear) {
    // Refused by the equip rules: nothing may be lost.
    if (wear != item) item_free(wear);
    give_back(out1, out2);
    return false;
  }
  // The entry goes (or shrinks) before the displaced items come back: they
  // re-sort the bag and would move it.
  if (wear == item) party_inventory_remove(at, false, false);
  else entry.count--;
  give_back(out1, out2);
  multi_send_equip(e, slot);
  return true;
}

bool inv_unequip(living_entity* e, int slot) {
  if (!e || slot < 0 || slot >= NUM_EQUIPMENT_SLOTS || slot == EQ_WEAPON || !e->equipment[slot]) return false;
  item_instance* it = entity_unequip_slot(e, slot, true);
  if (!it) return false;
  party_inventory_add(it, 1, true);
  multi_send_equip(e, slot);
  return true;
}

bool inv_swap_rings(living_entity* e) {
  if (!e || (!e->equipment[EQ_RING1] && !e->equipment[EQ_RING2])) return false;
  item_instance* first = entity_unequip_slot(e, EQ_RING1, true);
  item_instance* second = entity_unequip_slot(e, EQ_RING2, true);
  item_instance *o1, *o2;
  if (second) entity_equip_item(&o1, &o2, e, EQ_RING1, second);
  if (first) entity_equip_item(&o1, &o2, e, EQ_RING2, first);
  multi_send_equip(e, EQ_RING1);
  multi_send_equip(e, EQ_RING2);
  return true;
}

bool inv_destroy(const item_instance* item) {
  const int at = inv_entry_of(item);
  if (at < 0 || !item_can_destroy(item)) return false;
  InventoryEntry& entry = Party_inventory.entries[at];
  if (entry.count < 2) party_inventory_remove(at, true, false);
  else entry.count--;
  return true;
}

int inv_entry_category(int i) {
  if (i < 0 || i >= Party_inventory.count || !Party_inventory.entries[i].item) return 4;
  const int index = static_cast<int>(Party_inventory.entries[i].item->info - Item_infos);
  const int kind = party_item_kind(index);
  return kind == PIK_WEAPON ? 0 : kind == PIK_ARMOUR ? 1 : kind == PIK_USABLE ? 2 : kind == PIK_WEARABLE ? 3 : 4;
}

int inv_category_first(int category, bool identify) {
  const int n = inv_list_count(identify);
  for (int k = 0; k < n; k++)
    if (inv_entry_category(inv_list_entry(k, identify)) == category) return k;
  return -1;
}

int inv_clamp_top(int top, int count, int visible) { return std::clamp(top, 0, std::max(0, count - visible)); }
int inv_page_up(int top, int visible) { return std::max(0, top - visible); }
int inv_page_down(int top, int count, int visible) {
  return std::max(top, std::min(top + visible, std::max(0, count - visible)));
}

int inv_identify(item_instance* item, living_entity* const* members, int member_count,
                 const InvIdentifyCooldown& cooldown) {
  if (!item || !item->info) return -1;
  living_entity* best = nullptr;
  float best_skill = 0.0f;
  for (int i = 0; i < member_count; i++) {
    living_entity* m = members[i];
    if (!m || (m->state & (ES_DEAD | ES_AI_DISABLED)) || !m->has_stat(20)) continue;
    if (cooldown.cooling && cooldown.cooling(m)) continue;
    const float s = m->get_stat(20);
    if (s > best_skill) best = m, best_skill = s;
  }
  if (!best) return -1;
  if (cooldown.appraise) {
    if (!cooldown.appraise(item, best)) return -1;
  } else {
    if (cooldown.start) cooldown.start(best);
    if (appraise_identifies(static_cast<float>(std::max(0, item->info->value)), best_skill))
      item->info->flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
  }
  return item_is_identified(item) ? 1 : 0;
}
