#include "Engine/Objects/objects.h"

#include <strings.h>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/items.h"
#include "quarn/os/error.h"

SpeechSlot Speech_slots[NUM_SPEECH_SLOTS];
CooldownRecord Cooldowns[NUM_COOLDOWN_RECORDS];

namespace {

// One entry of the handle table, on either the free or the used ring.
struct object_handle {
  object_handle* next = nullptr;
  object_handle* prev = nullptr;
  game_object* object = nullptr;
};

object_handle Handles[MAX_OBJECTS];
object_handle Free_ring;  // sentinels
object_handle Used_ring;
bool Initialised = false;
int Object_count = 0;
int Next_generation = 1;
bool (*Host_query)() = nullptr;

// The sentinel of the object list: never in a pool.
game_object& list_head() {
  static game_object head;
  static bool linked = (head.next = head.prev = &head, true);
  (void)linked;
  return head;
}

ground_item Ground_items[MAX_GROUND_ITEMS];
GroundFloorProbe Floor_probe = nullptr;
GroundContainerOps Container_ops;
ObjectFrameSteps Frame_steps;

void ring_init(object_handle& ring) { ring.next = ring.prev = &ring; }

void ring_unlink(object_handle* e) {
  e->prev->next = e->next;
  e->next->prev = e->prev;
  e->next = e->prev = nullptr;
}

void ring_append(object_handle& ring, object_handle* e) {
  e->prev = ring.prev;
  e->next = &ring;
  ring.prev->next = e;
  ring.prev = e;
}

int32_t allocate_handle(game_object* o) {
  if (!Initialised) objects_init();
  object_handle* e = Free_ring.next;
  if (e == &Free_ring) critical_error_fmt("objects", 0, "No more free objects.  Please increase MAX_OBJECTS");
  ring_unlink(e);
  ring_append(Used_ring, e);
  e->object = o;
  const int32_t slot = static_cast<int32_t>(e - Handles);
  // The counter wraps after 2,147,482, not 2,147,483: with the larger value
  // slots 648 and above would make handles beyond INT32_MAX, negative and
  // unreachable. The largest handle is now 2,147,482,999.
  const int64_t handle = slot + 1000LL * Next_generation;
  Next_generation = Next_generation >= MAX_GENERATION - 1 ? 1 : Next_generation + 1;
  o->handle = static_cast<int32_t>(handle);
  o->net_handle = (Host_query && Host_query()) ? o->handle : -1;
  return o->handle;
}

}  // namespace

void objects_init() {
  game_object& head = list_head();
  head.next = head.prev = &head;
  ring_init(Free_ring);
  ring_init(Used_ring);
  for (object_handle& e : Handles) {
    e.object = nullptr;
    ring_append(Free_ring, &e);
  }
  Object_count = 0;
  Initialised = true;
  containers_reset();
}

void game_object::setup(int object_type) {
  type = object_type;
  handle = 0;
  flags = 0;
  placement = nullptr;
  offset = vector(0.0f, 0.0f, 0.0f);
  if (!Initialised) objects_init();
  game_object& head = list_head();
  prev = head.prev;
  next = &head;
  head.prev->next = this;
  head.prev = this;
  Object_count++;
  allocate_handle(this);
}

void game_object::deinit() {
  if (next && prev) {
    prev->next = next;
    next->prev = prev;
    next = prev = nullptr;
    Object_count--;
  }
  for (object_handle* e = Used_ring.next; e && e != &Used_ring; e = e->next) {
    if (e->object != this) continue;
    ring_unlink(e);
    ring_append(Free_ring, e);
    e->object = nullptr;
    break;
  }
}

game_object* objects_first() {
  game_object& head = list_head();
  return head.next == &head ? nullptr : head.next;
}

game_object* objects_next(game_object* o) {
  game_object& head = list_head();
  return !o || o->next == &head ? nullptr : o->next;
}

int objects_count() { return Object_count; }
int objects_next_generation() { return Next_generation; }
void objects_set_next_generation(int generation) {
  Next_generation = (generation >= 1 && generation < MAX_GENERATION) ? generation : 1;
}
void objects_set_host_query(bool (*query)()) { Host_query = query; }

game_object* obj_from_handle(int32_t handle) {
  if (handle == -1 || !Initialised) return nullptr;
  const int slot = handle % 1000;
  if (slot < 0) return nullptr;
  game_object* o = Handles[slot].object;
  if (!o || o->handle != handle) return nullptr;
  return o;
}

game_object* obj_living_entity_from_handle(int32_t handle) {
  game_object* o = obj_from_handle(handle);
  return obj_is_living_entity(o) ? o : nullptr;
}

void objects_delete_pending() {
  if (!Initialised) objects_init();
  game_object& head = list_head();
  for (game_object* o = head.next; o != &head;) {
    game_object* next = o->next;
    if (o->flags & OF_DELETE) o->deinit();
    o = next;
  }
}

void objects_reset_all() {
  if (!Initialised) objects_init();
  game_object& head = list_head();
  while (head.next != &head) {
    game_object* o = head.next;
    o->deinit();
    // A teardown that leaves the object linked would loop for ever.
    if (head.next == o) o->game_object::deinit();
  }
  item_pool_init();
}

void ground_item_set_floor_probe(GroundFloorProbe probe) { Floor_probe = probe; }
void ground_item_set_container_ops(const GroundContainerOps& ops) { Container_ops = ops; }

void ground_item::deinit() {
  if (container && Container_ops.remove_item) Container_ops.remove_item(container, this);
  container = nullptr;
  item_free(item);
  item = nullptr;
  quantity = 0;
  type = OBJ_FREE;
  game_object::deinit();
}

bool ground_item::is_gold() const {
  return item && item->info && item->info->name && strcasecmp(item->info->name, "gold") == 0;
}

ground_item* ground_item_drop(item_instance* item, const vector& pos, const matrix& orient, int quantity, int tag,
                              int sector) {
  ground_item* g = nullptr;
  for (ground_item& candidate : Ground_items) {
    if (candidate.type == OBJ_FREE) {
      g = &candidate;
      break;
    }
  }
  if (!g) return nullptr;
  g->setup(OBJ_GROUND_ITEM);
  g->item = item;
  g->tag = tag;
  g->quantity = quantity;
  g->container = nullptr;
  g->pos = pos;
  g->orient = orient;
  g->flags |= OF_ACTIVE;
  g->floor_mesh = -1;
  float height = 0.0f;
  int mesh = -1;
  if (Floor_probe) {
    bool hit = sector >= 0 && Floor_probe(pos, sector, &height, &mesh);
    if (!hit) hit = Floor_probe(pos, -1, &height, &mesh);
    if (hit) {
      g->pos.y = height;
      g->floor_mesh = mesh;
    }
  }
  return g;
}

container_object* ground_item_drop_in_bag(item_instance* item, const vector& pos, const matrix& orient,
                                          int quantity, int tag, int sector, ground_item** dropped) {
  container_object* bag = Container_ops.create ? Container_ops.create(pos, 0) : nullptr;
  ground_item* g = ground_item_drop(item, pos, orient, quantity, tag, sector);
  if (dropped) *dropped = g;
  // No free container: the items lie loose rather than vanish.
  if (!bag || !g) return bag;
  if (Container_ops.add_item) Container_ops.add_item(bag, g);
  g->container = bag;
  if (Container_ops.move_to) Container_ops.move_to(bag, vector(g->pos.x, g->pos.y + 0.2f, g->pos.z));
  return bag;
}

ground_item* ground_item_at(int index) {
  return (index >= 0 && index < MAX_GROUND_ITEMS) ? &Ground_items[index] : nullptr;
}

void objects_set_frame_steps(const ObjectFrameSteps& steps) { Frame_steps = steps; }

void objects_frame(float frametime, uint32_t now_ms) {
  objects_delete_pending();
  if (Frame_steps.ai_driver) Frame_steps.ai_driver(frametime);
  if (Frame_steps.live_footsteps) Frame_steps.live_footsteps(frametime);
  if (Frame_steps.dead_update) Frame_steps.dead_update(frametime);
  if (Frame_steps.animate_prop) {
    game_object& head = list_head();
    for (game_object* o = head.next; o != &head; o = o->next) {
      if (o->type == OBJ_ANIMATED_PROP) Frame_steps.animate_prop(o, frametime);
    }
  }
  if (Frame_steps.door_meshes) Frame_steps.door_meshes(frametime);
  for (SpeechSlot& s : Speech_slots) {
    if (s.entity == -1) continue;
    s.time_left -= frametime;
    if (s.time_left < 0.0f) {
      s.time_left = 0.0f;
      s.entity = -1;
    }
  }
  for (CooldownRecord& c : Cooldowns) {
    if (c.entity != -1 && now_ms >= c.end_time) c.entity = -1;
  }
}

void objects_level_start() {
  for (SpeechSlot& s : Speech_slots) s = SpeechSlot();
  for (CooldownRecord& c : Cooldowns) c = CooldownRecord();
}
