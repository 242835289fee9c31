#include "Orrimund/world_objects_view.h"

#include "Engine/Objects/containers.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/objects.h"
#include "Engine/rendering/scene.h"
#include "quarn/ca/vim.h"
#include "quarn/gr/gr_mesh.h"

namespace {

// Models page into the level's slot the first time something shows them; a
// model that cannot be read is not asked for again.
bool Page_failed[MAX_ITEM_INFO];

// The model an object shows: a container its look item's, a loose item its
// own; null when there is none.
VimMesh* model_of(const game_object* o) {
  int index = -1;
  if (o->type == OBJ_CONTAINER) {
    index = static_cast<const container_object*>(o)->look_item;
  } else if (o->type == OBJ_GROUND_ITEM) {
    const item_instance* item = static_cast<const ground_item*>(o)->item;
    if (item && item->info) index = static_cast<int>(item->info - Item_infos);
  }
  if (index < 0 || index >= Num_item_infos || index >= MAX_ITEM_INFO) return nullptr;
  if (!Item_infos[index].model && !Page_failed[index] && !item_page_in(index, ITEM_PAGING_LEVEL_SLOT))
    Page_failed[index] = true;
  return static_cast<VimMesh*>(Item_infos[index].model);
}

void draw_object(int handle) {
  game_object* o = obj_from_handle(handle);
  VimMesh* mesh = o ? model_of(o) : nullptr;
  if (!mesh) return;
  gr_mesh_set_character(nullptr, nullptr);
  gr_mesh_set_current(mesh);
  MeshDrawRecord rec;
  gr_mesh_render(o->pos, o->orient, rec);
  gr_mesh_set_current(nullptr);
}

bool add(const game_object* o, int standing_mesh, SceneObject* out, int* n, int capacity) {
  if (*n >= capacity || !(o->flags & OF_ACTIVE)) return false;
  const VimMesh* mesh = model_of(o);
  if (!mesh) return false;
  vector centre;
  mesh->centre.unrotated(centre, o->orient);
  const uint8_t kind = o->type == OBJ_CONTAINER ? SCENE_OBJECT : SCENE_ITEM;
  out[(*n)++] = SceneObject{o->handle, kind, o->pos + centre, mesh->radius, standing_mesh, draw_object};
  return true;
}

}  // namespace

int scene_world_objects(SceneObject* out, int capacity) {
  int n = 0;
  for (int i = 0; i < MAX_GROUND_ITEMS; i++) {
    const ground_item* g = ground_item_at(i);
    // An item in a container shows as the container.
    if (g->type != OBJ_GROUND_ITEM || g->container) continue;
    add(g, g->floor_mesh, out, &n, capacity);
  }
  for (const container_object& c : Containers)
    if (c.type == OBJ_CONTAINER) add(&c, -1, out, &n, capacity);
  return n;
}
