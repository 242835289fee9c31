// Developer orders and queries of the fight, for developers and tests
// driving a running game from the console: the party's attack on the
// nearest creature, where the creatures stand and how they fare, the bags
// on the ground and emptying the nearest into the party's inventory, and
// the inventory itself.
#include <cmath>
#include <cstdio>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_component.h"
#include "Orrimund/player/party.h"
#include "quarn/os/console.h"

namespace {

constexpr int ATTACK_ORDER_PRIORITY = 999999;

float flat_distance(const vector& a, const vector& b) {
  const float dx = a.x - b.x, dz = a.z - b.z;
  return std::sqrt(dx * dx + dz * dz);
}

living_entity* nearest_creature(const living_entity* from) {
  living_entity* best = nullptr;
  float best_d = 0.0f;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if ((e->type != OBJ_CREATURE && e->type != OBJ_BOSS) || (e->state & ES_DEAD)) continue;
    const float d = flat_distance(e->pos, from->pos);
    if (!best || d < best_d) best = e, best_d = d;
  }
  return best;
}

container_object* nearest_bag(const vector& from, float* distance) {
  container_object* best = nullptr;
  for (container_object& c : Containers) {
    if (!(c.flags & OF_ACTIVE) || c.type != OBJ_CONTAINER) continue;
    const float d = flat_distance(c.pos, from);
    if (!best || d < *distance) best = &c, *distance = d;
  }
  return best;
}

}  // namespace

// Every member of the party is ordered to attack the creature nearest the
// controlled hero, as a click on it orders the hero.
static ConsoleCommand cc_party_attack("party_attack", "Orders the party to attack the nearest creature", [] {
  if (!Console_run) return;
  if (!Selected_entity) {
    console_printf("No controlled hero\n");
    return;
  }
  living_entity* target = nearest_creature(Selected_entity);
  if (!target) {
    console_printf("No creature to attack\n");
    return;
  }
  int n = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = member_entity(p);
    if (!e || (e->state & ES_DEAD)) continue;
    ai_queue_attack(&e->ai, target->handle, ATTACK_ORDER_PRIORITY);
    ai_queue_execute(&e->ai);
    n++;
  }
  console_printf("Party of %d attacks %s at %.1f\n", n, target->get_name(),
                 flat_distance(target->pos, Selected_entity->pos));
});

static ConsoleCommand cc_creatures("creatures", "Prints where each hero and creature stands, its hit points and its AI", [] {
  if (!Console_run) return;
  int n = 0;
  for (living_entity* list : {entity_live_list(), entity_dead_list()}) {
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
      const bool hero = e->type == OBJ_PLAYER || e->type == OBJ_DEAD_PLAYER;
      console_printf("%s %s at %.2f %.2f %.2f hp %.0f xp %d ai %d/%d target %d%s text \"%s\" %.1f\n",
                     hero ? "Hero" : "Creature", e->get_name(), e->pos.x, e->pos.y, e->pos.z, e->hp,
                     static_cast<int>(e->experience), e->ai.state, e->ai.sub_state, e->ai.target,
                     (e->state & ES_DEAD) ? " dead" : "", e->float_text, e->float_time);
      n += hero ? 0 : 1;
    }
  }
  console_printf("%d creatures\n", n);
});

static ConsoleCommand cc_bags("bags", "Prints the bags on the ground and what they hold", [] {
  if (!Console_run) return;
  int n = 0;
  for (container_object& c : Containers) {
    if (!(c.flags & OF_ACTIVE) || c.type != OBJ_CONTAINER) continue;
    console_printf("Bag at %.2f %.2f %.2f holds %d\n", c.pos.x, c.pos.y, c.pos.z, c.count);
    n++;
  }
  console_printf("%d bags\n", n);
});

// The controlled hero takes everything from the nearest bag within reach.
static ConsoleCommand cc_take_bag("take_bag", "Takes all from the nearest bag into the party inventory", [] {
  if (!Console_run) return;
  if (!Selected_entity) {
    console_printf("No controlled hero\n");
    return;
  }
  float d = 0.0f;
  container_object* bag = nearest_bag(Selected_entity->pos, &d);
  if (!bag || d > 6.0f) {
    console_printf("No bag within reach\n");
    return;
  }
  int taken = 0;
  while (bag->count > 0) {
    ground_item* g = bag->get_item(0);
    if (!g) break;
    bag->remove_item(g);
    party_inventory_pickup(g, true);
    taken++;
  }
  console_printf("Took %d from the bag\n", taken);
});

static ConsoleCommand cc_party_items("party_items", "Prints the party inventory", [] {
  if (!Console_run) return;
  int n = 0;
  for (int i = 0; i < Party_inventory.count; i++) {
    const InventoryEntry& it = Party_inventory.entries[i];
    if (!it.item || !it.item->info) continue;
    console_printf("Item %s x%d\n", it.item->info->name, it.count);
    n++;
  }
  console_printf("Inventory %d items, %u gold\n", n, Party_inventory.gold);
});
