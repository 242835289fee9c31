#include "Orrimund/screens/screen_net.h"

#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"

namespace {
ScreenNetHooks Hooks;
}  // namespace

void screen_set_net_hooks(const ScreenNetHooks& h) { Hooks = h; }

void multi_send_equip(living_entity* member, int slot) {
  if (!game_is_networked() || !Hooks.send_equip || !member || slot < 0 || slot >= NUM_EQUIPMENT_SLOTS) return;
  const item_instance* it = member->equipment[slot];
  const int index = it && it->info ? static_cast<int>(it->info - Item_infos) : -1;
  Hooks.send_equip(member, slot, index);
}

void multi_send_container(int handle, int count, ground_item* const* items, const uint8_t* marks) {
  if (!game_is_networked() || !Hooks.send_container) return;
  int marked = 0;
  for (int i = 0; i < count; i++) marked += marks[i] ? 1 : 0;
  Hooks.send_container(handle, marked, count, items, marks);
}

void multi_send_container_close(int handle) {
  if (!game_is_networked() || !Hooks.send_container) return;
  Hooks.send_container(handle, 0, 0, nullptr, nullptr);
}

void multi_send_skills(living_entity* member) {
  if (!game_is_networked() || !Hooks.send_skills || !member) return;
  Hooks.send_skills(member);
}
