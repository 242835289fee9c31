#pragma once
// Containers: the bags and backpacks loot falls into, and those level
// scripts place. Each holds up to 16 ground items that point back to it;
// tearing a container down leaves its items in the world, loose.
#include <cstdint>

#include "Engine/Objects/objects.h"

#define MAX_CONTAINERS 40
#define CONTAINER_ITEMS 16

class container_object : public game_object {
 public:
  void deinit() override;
  // False when the container is full (the caller keeps its ground item).
  // Gold merges into a first gold item, and the new ground item is torn
  // down: callers must not use it afterwards.
  bool add_item(ground_item* item);
  void remove_item(ground_item* item);
  ground_item* get_item(int index) const;
  void clear();

  ground_item* items[CONTAINER_ITEMS] = {};
  int32_t count = 0;
  int32_t look_item = -1;
  float creation_value = 0.0f;
};

extern container_object Containers[MAX_CONTAINERS];

// Null when all 40 are in use.
container_object* container_create(const vector& pos, float creation_value);
// Frees every container record without teardown (pool reset); also hands
// the ground items the container operations they use.
void containers_reset();
void containers_release();
