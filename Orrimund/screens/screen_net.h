#pragma once
// What the item screens tell the other players of a networked game. The
// network layer installs the hooks; with none installed, or in a
// single-player game, nothing is sent.
#include <cstdint>

class living_entity;
class ground_item;

struct ScreenNetHooks {
  // The member's equipment slot now holds the item of this definition index
  // (-1 when the slot was emptied).
  void (*send_equip)(living_entity* member, int slot, int item_index) = nullptr;
  // A container's take (its items in order and their marks) or its close
  // (no items, no marks).
  void (*send_container)(int handle, int marked, int count, ground_item* const* items, const uint8_t* marks) = nullptr;
  // The member's stored skills changed.
  void (*send_skills)(living_entity* member) = nullptr;
};

void screen_set_net_hooks(const ScreenNetHooks& h);

void multi_send_equip(living_entity* member, int slot);
void multi_send_container(int handle, int count, ground_item* const* items, const uint8_t* marks);
void multi_send_container_close(int handle);
void multi_send_skills(living_entity* member);
