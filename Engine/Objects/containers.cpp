#include "Engine/Objects/containers.h"

#include <cmath>

#include "Engine/Objects/items.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"

container_object Containers[MAX_CONTAINERS];

namespace {

void install_ops() {
  GroundContainerOps ops;
  ops.create = [](const vector& pos, int value) { return container_create(pos, static_cast<float>(value)); };
  ops.add_item = [](container_object* c, ground_item* g) { c->add_item(g); };
  ops.remove_item = [](container_object* c, ground_item* g) { c->remove_item(g); };
  ops.move_to = [](container_object* c, const vector& p) { c->pos = p; };
  ground_item_set_container_ops(ops);
}

}  // namespace

container_object* container_create(const vector& pos, float creation_value) {
  container_object* c = nullptr;
  for (container_object& candidate : Containers) {
    if (candidate.type == OBJ_FREE) {
      c = &candidate;
      break;
    }
  }
  if (!c) return nullptr;
  c->count = 0;
  c->look_item = item_lookup(frand_range(-1.0f, 1.0f) >= 0.0f ? "backpack" : "leather bag");
  c->setup(OBJ_CONTAINER);
  c->pos = c->last_pos = pos;
  const float angle = static_cast<float>(os_rand() % 360) * 0.017453f;
  c->orient = matrix(vector(std::cos(angle), 0, -std::sin(angle)), vector(0, 1, 0),
                     vector(std::sin(angle), 0, std::cos(angle)));
  c->last_orient = c->orient;
  c->radius = 1.0f;
  c->flags |= OF_ACTIVE;
  c->creation_value = creation_value;
  return c;
}

bool container_object::add_item(ground_item* g) {
  if (!g || count >= CONTAINER_ITEMS) return false;
  if (g->is_gold()) {
    if (count > 0 && items[0] && items[0]->is_gold()) {
      items[0]->quantity += g->quantity;
      g->container = nullptr;
      g->deinit();
      return true;
    }
    for (int i = count; i > 0; i--) items[i] = items[i - 1];
    items[0] = g;
  } else {
    items[count] = g;
  }
  g->container = this;
  count++;
  return true;
}

void container_object::remove_item(ground_item* g) {
  for (int i = 0; i < count; i++) {
    if (items[i] != g) continue;
    g->container = nullptr;
    for (int j = i; j < count - 1; j++) items[j] = items[j + 1];
    items[--count] = nullptr;
    return;
  }
}

ground_item* container_object::get_item(int index) const {
  return index >= 0 && index < count ? items[index] : nullptr;
}

void container_object::clear() {
  const int n = count >= 1 && count <= CONTAINER_ITEMS ? count : CONTAINER_ITEMS;
  for (int i = 0; i < n; i++) {
    if (items[i]) items[i]->container = nullptr;
    items[i] = nullptr;
  }
  count = 0;
}

void container_object::deinit() {
  console_printf("deinit for container with handle %d\n", handle);
  clear();
  game_object::deinit();
  type = OBJ_FREE;
}

void containers_reset() {
  for (container_object& c : Containers) {
    c.type = OBJ_FREE;
    c.count = 0;
    c.creation_value = 0.0f;
  }
  install_ops();
}

void containers_release() {
  for (container_object& c : Containers) {
    if (c.type != OBJ_FREE) c.deinit();
  }
}
