#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Engine/Objects/entity_level.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_world.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/s3d/collide.h"
#include "Engine/s3d/s3d.h"

namespace {

// A level built without pathfinding sectors has one layer, 0, holding every
// mesh; otherwise a mesh belongs to the layers of its two sectors.
bool in_layer(const LevelMeshInstance& mi, int layer) {
  if (mi.sector[0] < 0 && mi.sector[1] < 0) return layer == 0;
  return layer >= 0 && (mi.sector[0] == layer || mi.sector[1] == layer);
}

bool floor_ray(const vector& top, float length, int candidates, int layer, int mesh, int poly, FloorHit* hit) {
  CollisionQuery q{};
  q.start = top;
  q.delta = vector(0.0f, -length, 0.0f);
  q.radius = 0.0f;
  CollisionResult r{};
  r.count = 0;
  bool reset = true;
  auto test = [&](int instance) {
    collide_mesh(instance, &q, &r, reset ? 1 : 0);
    reset = false;
  };
  switch (candidates) {
    case FLOOR_CURRENT_POLY: {
      if (mesh < 0 || mesh >= Level.instance_count || poly < 0) return false;
      const LevelMesh* m = Level.instances[mesh].mesh;
      if (!m || poly >= m->face_count) return false;
      q.options = CQ_ONE_FACE;
      q.face = &m->faces[poly];
      test(mesh);
      break;
    }
    case FLOOR_LAYER_MESHES:
      for (int i = 0; i < Level.instance_count; i++) {
        if (in_layer(Level.instances[i], layer)) test(i);
      }
      break;
    case FLOOR_FLAGGED_MESHES:
      for (int i = 0; i < Level.instance_count; i++) {
        if ((Level.instances[i].flags & MI_GROUND) && !in_layer(Level.instances[i], layer)) test(i);
      }
      break;
    default:
      collide_level(&q, &r);
      break;
  }
  if (r.count <= 0 || r.instance < 0 || r.instance >= Level.instance_count) return false;
  const LevelMeshInstance& mi = Level.instances[r.instance];
  hit->height = top.y - r.fraction * length;
  hit->mesh = r.instance;
  hit->poly = r.face && mi.mesh ? static_cast<int>(r.face - mi.mesh->faces) : -1;
  const matrix& o = mi.orient;
  const vector& n = r.normal;
  hit->normal = vector(o.right.x * n.x + o.up.x * n.y + o.forward.x * n.z,
                       o.right.y * n.x + o.up.y * n.y + o.forward.y * n.z,
                       o.right.z * n.x + o.up.z * n.y + o.forward.z * n.z);
  return true;
}

int mesh_layer(int mesh) {
  if (mesh < 0 || mesh >= Level.instance_count) return -1;
  const LevelMeshInstance& mi = Level.instances[mesh];
  if (mi.sector[0] >= 0) return mi.sector[0];
  if (mi.sector[1] >= 0) return mi.sector[1];
  // Levels built without pathfinding sectors put everything in layer 0.
  return 0;
}

const char* mesh_name(int mesh) {
  return mesh >= 0 && mesh < Level.instance_count && Level.instances[mesh].name ? Level.instances[mesh].name : "?";
}

bool party_start(int slot, vector* pos, float* heading, int* layer) {
  char want[16];
  std::snprintf(want, sizeof want, "$player%02d", slot + 1);
  for (int i = 0; i < Level.node_count; i++) {
    const LevelNode& n = Level.nodes[i];
    if (!n.name || std::strcmp(n.name, want) != 0) continue;
    *pos = n.pos;
    *heading = std::atan2(n.orient.forward.x, n.orient.forward.z);
    *layer = 0;
    return true;
  }
  return false;
}

int walk_class(int size_class) { return size_class < 0 ? 0 : size_class >= PFG_SIZE_CLASSES ? PFG_SIZE_CLASSES - 1 : size_class; }

// Moves stop at the level's walls, found in the pathfinding graph of the
// entity's size, and slide along them.
bool obstacle_crossing(const vector& from, const vector& to, int size_class, int, vector* crossing, vector* slide) {
  if (!Path_graph.loaded) return false;
  const int cls = walk_class(size_class);
  const int sector = path_sector_at(cls, from.x, from.z);
  vector out;
  if (sector < 0 || !path_slide_move(from, to, &out, cls, sector)) return false;
  *crossing = *slide = out;
  return true;
}

void push_out_of_obstacles(vector* p, int size_class, int) {
  if (!Path_graph.loaded) return;
  const int cls = walk_class(size_class);
  const int sector = path_sector_at(cls, p->x, p->z);
  if (sector >= 0) path_push_out_of_obstacles(*p, cls, sector);
}

}  // namespace

void entity_use_loaded_level() {
  EntityWorldHooks w = entity_world();
  w.floor_ray = floor_ray;
  w.mesh_layer = mesh_layer;
  w.mesh_name = mesh_name;
  w.surface_of = gamesound_surface_sound;
  w.light_at = collide_get_light;
  w.party_start = party_start;
  w.obstacle_crossing = obstacle_crossing;
  w.push_out_of_obstacles = push_out_of_obstacles;
  entity_set_world_hooks(w);
}
